"""Every bad argument is a ValueError or a TypeError with a message, never an
abort of the interpreter (which would end this test run)."""
import numpy as np
import pytest

import kelp
from conftest import board_frame

GOOD = np.zeros((16, 2))
DRAW = (-0.99, -29.56, 0)


def with_stone(k, xy):
    s = GOOD.copy()
    s[k] = xy
    return s


@pytest.mark.parametrize("call, error, match", [
    (lambda: kelp.Board(np.zeros((15, 2))), ValueError, "shape"),
    (lambda: kelp.Board(np.zeros((16, 3))), ValueError, "shape"),
    (lambda: kelp.Board(np.zeros(32)), ValueError, "shape"),
    (lambda: kelp.Board([["a", "b"]] * 16), TypeError, "array"),
    (lambda: kelp.Board(with_stone(3, (np.nan, 4.0))), ValueError, "finite"),
    (lambda: kelp.Board(with_stone(0, (1e5, 4.88))), ValueError, "far off the sheet"),
    (lambda: kelp.Board(with_stone(0, (2.0, -300.0))), ValueError, "far off the sheet"),
    (lambda: kelp.Board(with_stone(0, (1e30, 1e30))), ValueError, "far off the sheet"),
    (lambda: kelp.Board(GOOD, 17), ValueError, "shot number 17"),
    (lambda: kelp.Board(GOOD, -1), ValueError, "shot number"),
    (lambda: kelp.Board(GOOD, 1.5), TypeError, ""),
    (lambda: kelp.Board(GOOD, 0, end=10), ValueError, "end 10"),
    (lambda: kelp.Board(GOOD, 0, ends=17), ValueError, "ends"),
    (lambda: kelp.Board(GOOD, frame="record"), ValueError, "frame"),
    # Two stones in play at shot 1, and one at shot 0.
    (lambda: kelp.Board(with_stone(2, (2.4, 4.0)) + with_stone(0, (2.0, 4.0)), 1), ValueError,
     "too many stones"),
    (lambda: kelp.Board(with_stone(0, (2.0, 4.0)), 0), ValueError, "too many stones"),
    (lambda: board_frame({0: (0.0, 0.0), 2: (0.05, 0.0)}, 4), ValueError, "on top of each other"),
])
def test_bad_boards(call, error, match):
    with pytest.raises(error, match=match):
        call()


@pytest.mark.parametrize("shot, kw, error, match", [
    ((0.0, -29.0, 2), {}, ValueError, "spin 2"),
    ((0.0, -29.0, 0.5), {}, ValueError, "spin"),
    ((0.0, -29.0, -1), {}, ValueError, "spin"),
    ((np.nan, -29.0, 0), {}, ValueError, "finite"),
    ((0.0, -1e6, 0), {}, ValueError, "faster"),
    ((0.0, -29.0), {}, ValueError, "3 values"),
    ("fast", {}, TypeError, "sequence"),
    (("a", -29.0, 0), {}, TypeError, "numbers"),
    (DRAW, {"seed": -1}, ValueError, "seed"),
    (DRAW, {"seed": 2**32}, ValueError, "seed"),
    (DRAW, {"seed": "x"}, TypeError, "seed"),
    (DRAW, {"model": "slow"}, ValueError, "model"),
    (DRAW, {"model": "exact", "step": 0.0}, ValueError, "step"),
    (DRAW, {"model": "exact", "step": np.nan}, ValueError, "step"),
    (DRAW, {"step": 0.01}, ValueError, "exact"),
    (DRAW, {"sigma": -0.1}, ValueError, "sigma"),
    (DRAW, {"sigma": np.nan}, ValueError, "sigma"),
    (DRAW, {"error": False, "sigma": 0.2}, ValueError, "sigma"),
    (DRAW, {"frame": "up"}, ValueError, "frame"),
])
def test_bad_throws(shot, kw, error, match):
    with pytest.raises(error, match=match):
        kelp.throw(kelp.Board(), shot, **kw)


def test_bad_batches():
    b = kelp.Board()
    shots = np.tile(DRAW, (4, 1))
    for bad, error in [
        (lambda: kelp.throw_batch(b, np.zeros((4, 2))), ValueError),
        (lambda: kelp.throw_batch(b, np.array([DRAW, (0.0, -29.0, 2)])), ValueError),
        (lambda: kelp.throw_batch(b, np.array([DRAW, (np.nan, -29.0, 0)])), ValueError),
        (lambda: kelp.throw_batch([b, b], shots), ValueError),
        (lambda: kelp.throw_batch([b, "b", b, b], shots), TypeError),
        (lambda: kelp.throw_batch(b, shots, threads=-1), ValueError),
        (lambda: kelp.throw_batch(board_frame({}, 16), shots), ValueError),
        (lambda: kelp.throw_batch(3, shots), TypeError),
    ]:
        with pytest.raises(error):
            bad()
    assert kelp.throw_batch(b, np.zeros((0, 3)))["stones"].shape == (0, 16, 2)


def test_bad_engines_and_records(tmp_path):
    with pytest.raises(ValueError, match="search"):
        kelp.Engine("best")
    with pytest.raises(ValueError, match="think_ms"):
        kelp.Engine("strong", think_ms=-5)
    with pytest.raises(ValueError, match="over"):
        kelp.Engine("greedy").think(board_frame({}, 16))
    with pytest.raises(ValueError, match="over"):
        kelp.candidates(board_frame({}, 16))
    with pytest.raises(ValueError, match="cannot open"):
        kelp.read_record(str(tmp_path / "missing.jsonl"))
    bad = tmp_path / "bad.jsonl"
    bad.write_text('{"end": 0, "shot": 0}\nnot json\n')
    with pytest.raises(ValueError, match="bad.jsonl:1"):
        kelp.read_record(str(bad))
    with pytest.raises(TypeError):
        kelp.write_record(str(tmp_path / "w.jsonl"), [1, 2])
    with pytest.raises(ValueError, match="engine"):
        kelp.write_record(str(tmp_path / "w.jsonl"), [{"end": 0, "shot": 0, "color": 0,
                                                        "engine": "C", "after": kelp.Board()}])


def test_random_arguments_never_abort():
    # Any finite stones on the sheet and any shot up to full speed, in every
    # direction, on boards the constructor accepts.
    rng = np.random.default_rng(3)
    thrown = 0
    for _ in range(300):
        shot = int(rng.integers(0, 16))
        xy = np.column_stack([rng.uniform(-0.2, 4.95, 16), rng.uniform(-1.0, 45.0, 16)])
        xy[rng.random(16) < 0.5] = 0.0
        try:
            board = kelp.Board(xy, shot)
        except ValueError:
            continue
        shots = np.column_stack([rng.uniform(-10, 10, 8), rng.uniform(-34, 34, 8),
                                 rng.integers(0, 2, 8)])
        kelp.throw_batch(board, shots, seed=int(rng.integers(0, 2**32)))
        kelp.throw(board, tuple(shots[0]), model="exact", step=0.01, seed=1)
        thrown += 1
    assert thrown > 50
