#!/usr/bin/env python3
"""A stand-in engine for the referee's tests. It reads one message per read,
as the real engine does, can record each read (one JSON string per line),
and answers GO by a script, one entry per GO (the last one repeats):
  ok          a tee draw, after a diagnostic line (and a malformed reply
              on standard error)
  draw:X:Y    a draw to board point (X, Y), spin 0
  garbage     "BESTSHOT" followed by words that are no numbers
  late:S      the tee draw, S seconds late
  hang        stops reading and answering (sleeps for good)
  exit        exits at once
  twice       the tee draw, and 50 ms later another reply to the same GO
              (each with a line end)
  tail        "BESTSHOT vx vy 0" in one write, 5 ms later a line "1 ..."
  flood:T:MB  MB megabytes of the token T, then the tee draw
  forkexit    forks a child that keeps the pipes and ignores SIGTERM, exits
  hostile     in turn, replies meant to break a page: markup, script, a
              script element's end, bytes that are not UTF-8 and the line
              separators JavaScript once read as line ends
With --exit-every K --counter FILE it counts its starts in FILE and exits at
once, before reading anything, on every K-th start: an engine that dies in
some games of a series. --pids FILE appends its pid (and a forked child's)
to FILE; --ignore-term ignores SIGTERM; --position-flood MB prints MB
megabytes of junk after every POSITION.
With --think S it waits S seconds before every reply to GO: an engine that
thinks for a fixed time.
"""
import argparse
import json
import math
import os
import signal
import sys
import time

THROW_Y = -36.399999499320984
HOSTILE = [
    b"BESTSHOT </script><script>alert(1)</script>",
    b"BESTSHOT <img src=x onerror=alert(2)>",
    b"BESTSHOT \xff\xfe not utf-8 \xe2\x80\xa8 \xe2\x80\xa9 & <!-- -->",
]


def shot_for_target(x, y, spin):
    if spin == 0:
        px, py = x - 1.22 + 0.0335 * y, y - 0.0335 * x
    else:
        px, py = x + 1.22 - 0.0335 * y, y + 0.0335 * x
    dx, dy = px, py - THROW_Y
    k = math.sqrt(24.0184326171875) / math.sqrt(math.hypot(dx, dy))
    return k * dx, k * dy


def best(x, y, spin=0):
    vx, vy = shot_for_target(x, y, spin)
    return "BESTSHOT %f %f %d" % (vx, -vy, spin)  # vy in the record frame


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--record")
    ap.add_argument("--script", default="ok")
    ap.add_argument("--no-ready", action="store_true")
    ap.add_argument("--exit-every", type=int, default=0)
    ap.add_argument("--counter")
    ap.add_argument("--think", type=float, default=0.0)
    ap.add_argument("--pids")
    ap.add_argument("--ignore-term", action="store_true")
    ap.add_argument("--position-flood", type=float, default=0)
    args = ap.parse_args()
    if args.ignore_term:
        signal.signal(signal.SIGTERM, signal.SIG_IGN)

    def note_pid():
        if args.pids:
            with open(args.pids, "a") as f:
                f.write("%d\n" % os.getpid())

    note_pid()
    if args.exit_every > 0:
        with open(args.counter, "a+") as counter:
            counter.seek(0)
            starts = len(counter.read()) + 1
            counter.write("x")
        if starts % args.exit_every == 0:
            return
    script = args.script.split(",")
    record = open(args.record, "a") if args.record else None
    gos = 0
    while True:
        data = os.read(0, 1024)
        if not data:
            return
        if record:
            record.write(json.dumps(data.decode("latin-1")) + "\n")
            record.flush()
        words = data.decode("latin-1").split(" ")
        if words[0] == "ISREADY" and not args.no_ready:
            os.write(1, b"Count : Size : header text ")
            os.write(1, b"READYOK")
        elif words[0] == "GO":
            step = script[min(gos, len(script) - 1)]
            gos += 1
            time.sleep(args.think)
            kind, _, arg = step.partition(":")
            if kind == "exit":
                return
            if kind == "hang":
                while True:
                    time.sleep(60)
            if kind == "forkexit":
                if os.fork() == 0:
                    signal.signal(signal.SIGTERM, signal.SIG_IGN)
                    note_pid()
                    while True:
                        time.sleep(60)
                time.sleep(0.2)  # the child has noted its pid
                os._exit(0)
            os.write(1, b",0,0,%d,diagnostic line\n" % gos)
            if kind == "ok":
                # Standard error is for the log: read as a reply, this is
                # malformed.
                os.write(2, b"BESTSHOT 0 0 7 (standard error)\n")
                os.write(1, best(0.0, 0.0).encode())
            elif kind == "draw":
                x, y = (float(v) for v in arg.split(":"))
                os.write(1, best(x, y).encode())
            elif kind == "garbage":
                os.write(1, b"BESTSHOT left right 0")
            elif kind == "hostile":
                os.write(1, HOSTILE[(gos - 1) % len(HOSTILE)] + b"\n")
            elif kind == "late":
                time.sleep(float(arg))
                os.write(1, best(0.0, 0.0).encode())
            elif kind == "twice":
                os.write(1, best(0.0, 0.0).encode() + b"\n")
                time.sleep(0.05)
                os.write(1, best(1.6, -5.0).encode() + b"\n")
            elif kind == "tail":
                os.write(1, best(0.0, 0.0).encode())
                time.sleep(0.005)
                os.write(1, b"1,0,0,tail diagnostic\n")
            elif kind == "flood":
                token, _, mb = arg.rpartition(":")
                chunk = token.encode() * (65536 // len(token))
                for _ in range(int(float(mb) * 1048576 / len(chunk))):
                    os.write(1, chunk)
                os.write(1, best(0.0, 0.0).encode())
        elif words[0] == "POSITION" and args.position_flood:
            chunk = b"x" * 65535 + b"\n"
            for _ in range(int(args.position_flood * 16)):
                os.write(1, chunk)


if __name__ == "__main__":
    sys.exit(main())
