#!/usr/bin/python3
"""Throws per second: the C++ fast path (bench_physics_shot's BM_FastShot,
one core) beside kelp.throw_batch from Python on every core, on the same
three positions: an empty sheet, a draw past the guards in the middle of an
end, and a take-out there. Run from the repository with the build tree:

    PYTHONPATH=build/python /usr/bin/python3 bench/python_throws.py [build]
"""

import json
import os
import subprocess
import sys
import time

import numpy as np

import kelp

BUILD = sys.argv[1] if len(sys.argv) > 1 else "build"
BATCH = 50_000
BATCHES = 20

# bench_physics_shot's positions (tests/support/boards.h, midEnd7): board
# frame, shot 7, BLACK in the even slots.
MID_END = [(0.0, -3.0), (0.5, -2.5), (0.4, 0.2), (-0.2, -0.1), (-0.9, 1.0), (1.1, 0.8),
           (-1.2, -1.4)]


# bench_physics_shot's shots (board frame): shotForTarget(0, 0, 0),
# shotForTarget(-0.5, 0.4, 1) and agreement::aimThrough(-0.2, -0.1, 5.0, 0),
# printed by the C++ code once; the contact shares below show the same shots.
EMPTY_SHOT = (-0.99073974404734677, 29.559774870138426, 0)
DRAW_SHOT = (0.5709273883164907, 29.720582691495338, 1)
TAKEOUT_SHOT = (-0.91826061488215982, 31.485602237689612, 0)


def positions():
    xy = np.tile(kelp.Board().board_stones[0], (16, 1))
    for k, p in enumerate(MID_END):
        xy[k] = p
    mid = kelp.Board(xy, 7, frame="board")
    return [("empty", kelp.Board(), EMPTY_SHOT), ("midend", mid, DRAW_SHOT),
            ("contact", mid, TAKEOUT_SHOT)]


def cpp_rates():
    """Per position: throws per CPU second and per wall second on one core,
    and the share of throws with contact."""
    exe = os.path.join(BUILD, "bench", "bench_physics_shot")
    out = subprocess.run([exe, "--benchmark_filter=BM_FastShot", "--benchmark_format=json",
                          "--benchmark_repetitions=3", "--benchmark_report_aggregates_only=true"],
                         check=True, capture_output=True, text=True).stdout
    rates = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") == "median":
            name = b["run_name"].split("/")[1]
            assert b["time_unit"] == "ns"
            rates[name] = (1e9 / b["cpu_time"], 1e9 / b["real_time"], b["contact_share"])
    return rates


def python_rate(board, shot, threads):
    """Throws per CPU second (all threads), per wall second, contact share."""
    shots = np.tile(np.asarray(shot, dtype=np.float64), (BATCH, 1))
    kelp.throw_batch(board, shots, seed=1, frame="board")  # warm up
    cpu, wall, contact = time.process_time(), time.perf_counter(), 0.0
    for r in range(BATCHES):
        res = kelp.throw_batch(board, shots, seed=20240601 + r, frame="board", threads=threads)
        contact += float(res["contact"].mean())
    cpu, wall = time.process_time() - cpu, time.perf_counter() - wall
    n = BATCH * BATCHES
    return n / cpu, n / wall, contact / BATCHES


def main():
    cores = os.cpu_count()
    cpp = cpp_rates()
    load = os.getloadavg()[0]
    print(f"cores {cores}, load average {load:.1f}; Python: {BATCHES} batches of {BATCH} throws")
    print(f"{'position':9} {'C++ /cpu-s':>11} {'C++ /s':>10} {'Py1 /cpu-s':>10} {'share':>6} "
          f"{'Py /cpu-s':>10} {'Py /s':>10} {'target /s':>10} {'contact C++/Py':>15}")
    for name, board, shot in positions():
        p1, _, _ = python_rate(board, shot, 1)
        pc, pw, pcon = python_rate(board, shot, 0)
        cc, cw, ccon = cpp[name]
        target = 0.8 * cc * cores
        print(f"{name:9} {cc:11.0f} {cw:10.0f} {p1:10.0f} {p1 / cc:6.0%} {pc:10.0f} {pw:10.0f} "
              f"{target:10.0f} {ccon:7.2f}/{pcon:.2f}")
    print("Py1: one thread; share: its throws per CPU second over C++'s (100 %: no overhead);")
    print("Py: every core; target: 80 % of C++ per core times the cores, for Py /s when idle.")


if __name__ == "__main__":
    main()
