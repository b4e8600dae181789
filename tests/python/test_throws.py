"""Throws: single and batch identical throw by throw, the fast path against
the exact model, and what a throw reports."""
import numpy as np
import pytest

import kelp
from conftest import board_frame

DRAW = (-0.9907, -29.56, 0)  # server frame: about a draw to the tee


def shots_for(board, n, rng):
    c = kelp.candidates(board)["shot"]
    return c[rng.integers(0, len(c), n)]


@pytest.mark.parametrize("options", [
    {}, {"error": False}, {"sigma": 0.4}, {"model": "exact", "step": 0.01},
])
def test_batch_equals_single_throw_by_throw(mid_end, options):
    rng = np.random.default_rng(7)
    n = 6 if options.get("model") == "exact" else 64
    boards = [kelp.Board(), mid_end] * (n // 2)
    shots = np.concatenate([shots_for(b, 1, rng) for b in boards])
    res = kelp.throw_batch(boards, shots, seed=99, threads=2, **options)
    assert res["stones"].shape == (n, 16, 2)
    assert res["contact"].any() or options.get("model") == "exact"
    for i in range(n):
        after, info = kelp.throw(boards[i], tuple(shots[i]), seed=99, index=i, **options)
        np.testing.assert_array_equal(res["stones"][i], after.stones)
        assert res["score"][i] == after.score() == info["score"]
        for key in ("outcome", "contact", "foul", "removed"):
            assert res[key][i] == info[key], key
        assert tuple(res["thrown"][i]) == info["thrown"]
        rest = res["rest"][i]
        assert (info["rest"] is None) == bool(np.isnan(rest).all())
        if info["rest"] is not None:
            np.testing.assert_array_equal(rest, np.float32(info["rest"]))
    # The same seed on one thread or on many gives the same throws.
    one = kelp.throw_batch(boards, shots, seed=99, threads=1, **options)
    np.testing.assert_array_equal(one["stones"], res["stones"])


def test_seed_and_error():
    b = kelp.Board()
    a1, i1 = kelp.throw(b, DRAW, seed=5)
    a2, i2 = kelp.throw(b, DRAW, seed=5)
    _, i3 = kelp.throw(b, DRAW, seed=6)
    assert i1 == i2 and i1["thrown"] != i3["thrown"]
    _, exact = kelp.throw(b, DRAW, error=False)
    assert exact["thrown"] == DRAW and exact["error"] == (0.0, 0.0)
    _, none = kelp.throw(b, DRAW, sigma=0.0, seed=5)
    assert np.allclose(none["error"], 0.0, atol=1e-6)
    # The engine's scatter is 0.145 m per axis at the tee.
    res = kelp.throw_batch(b, np.tile(DRAW, (4000, 1)), seed=1)
    rest = res["rest"][res["outcome"] == 1]
    assert 0.10 < rest[:, 0].std() < 0.20 and 0.10 < rest[:, 1].std() < 0.20
    wide = kelp.throw_batch(b, np.tile(DRAW, (4000, 1)), seed=1, sigma=0.3)
    assert wide["rest"][wide["outcome"] == 1][:, 0].std() > 0.25


def test_fast_agrees_with_exact_and_reports_the_throw(mid_end):
    # A draw on an empty sheet, a draw past the guards and a take-out of
    # the WHITE stone lying shot, without error: the fast path's stones
    # within a few centimetres of the exact model's at a fine step.
    c = kelp.candidates(mid_end)
    take = [i for i, lab in enumerate(c["label"]) if lab.startswith("STRONG")][0]
    cases = [(kelp.Board(), DRAW), (mid_end, tuple(c["shot"][0])),
             (mid_end, tuple(c["shot"][take]))]
    for board, shot in cases:
        fast, fi = kelp.throw(board, shot, error=False)
        exact, ei = kelp.throw(board, shot, error=False, model="exact", step=0.001)
        assert fi["removed"] == ei["removed"] and fi["foul"] == ei["foul"]
        assert np.array_equal(fast.in_play, exact.in_play)
        f = np.sort(fast.board_stones[fast.in_play].view("f8,f8"), axis=0).view("f8")
        e = np.sort(exact.board_stones[exact.in_play].view("f8,f8"), axis=0).view("f8")
        assert np.abs(f - e).max() < 0.05
        if board is not mid_end:  # the draw rests untouched: its rest, no contact
            assert (fi["outcome"], fi["contact"], fi["removed"]) == (1, False, 0)
            np.testing.assert_allclose(fi["rest"], fast.stones[0], atol=1e-6)
    # The take-out at full speed: contact, the struck stone out of play.
    assert fi["contact"] and fi["outcome"] == 2 and fi["removed"] >= 1
    # Through the back of the house at full speed: nothing changes, one
    # stone gone.
    empty = kelp.Board(None, 4)
    after, info = kelp.throw(empty, (0.0, -33.0, 0), error=False)
    assert (info["outcome"], info["contact"], info["removed"], info["rest"]) == (0, False, 1, None)
    assert not after.in_play.any() and after.shot == 5


def test_free_guard_zone_foul():
    # Shot 1: BLACK's guard is protected; WHITE knocking it out of play is a
    # foul, so it comes back and the thrown stone is removed. Fast shots
    # across the guard's line: some hit it.
    guard = board_frame({0: (0.0, -3.0)}, 1)
    shots = np.array([(vx, -31.0, 0) for vx in np.linspace(-2.0, 1.0, 61)])
    for model in ("fast", "exact"):
        res = kelp.throw_batch(guard, shots, error=False, model=model)
        fouls = res["foul"]
        assert fouls.any() and (res["contact"][fouls]).all()
        assert (res["outcome"][fouls] == 0).all() and (res["removed"][fouls] == 1).all()
        np.testing.assert_array_equal(res["stones"][fouls], np.broadcast_to(
            guard.stones, (fouls.sum(), 16, 2)))
        # Later in the end the guard is fair game: the same shots foul nothing.
        late = board_frame({0: (0.0, -3.0)}, 5)
        assert not kelp.throw_batch(late, shots, error=False, model=model)["foul"].any()
