"""Boards: the two frames, stones given back, the score as it lies."""
import numpy as np
import pytest

import kelp
from conftest import OUT, board_frame


def test_frames_agree_and_stones_come_back():
    # The tee is (2.375, 4.88) in the server's frame and the origin on the
    # board; y runs the other way. A stone at (0, 0) is not in play.
    server = np.zeros((16, 2), np.float32)
    server[0] = (2.375, 4.88)
    server[1] = (2.875, 3.88)  # 0.5 right, 1 m behind the tee
    b = kelp.Board(server, 2, end=3, ends=8)
    np.testing.assert_array_equal(b.stones, server)
    assert b.stones.dtype == np.float32
    np.testing.assert_allclose(b.board_stones[:2], [(0.0, 0.0), (0.5, 1.0)], atol=1e-6)
    assert list(b.in_play) == [True, True] + [False] * 14
    assert (b.shot, b.end, b.ends, b.to_throw) == (2, 3, 8, 0)
    same = kelp.Board(b.board_stones, 2, end=3, ends=8, frame="board")
    np.testing.assert_array_equal(same.stones, server)
    # Server positions are single precision, as POSITION carries them.
    again = kelp.Board(server.astype(np.float64) + 1e-12, 2)
    np.testing.assert_array_equal(again.stones, server)


def test_score_as_it_lies():
    assert kelp.Board().score() == 0
    # BLACK (slot 0, 2) nearest: two BLACK stones nearer than WHITE's best.
    b = board_frame({0: (0.1, 0.0), 2: (0.0, -0.5), 1: (0.9, 0.0)}, 3)
    assert b.score() == 2
    # WHITE nearest, one stone counts; outside the house counts nothing.
    w = board_frame({0: (0.0, -0.6), 1: (0.0, 0.3), 3: (0.0, -2.5)}, 4)
    assert w.score() == -1
    assert board_frame({0: (0.0, -3.0)}, 1).score() == 0


def test_a_finished_end_is_a_board():
    stones = {k: (-1.5 + 0.2 * k, -1.0 if k % 2 else 1.0) for k in range(16)}
    b = board_frame(stones, 16)
    assert b.over and b.in_play.all()
    with pytest.raises(ValueError, match="over"):
        kelp.throw(b, (0.0, -29.0, 0))


def test_out_of_play_stones_are_not_stones():
    # Beyond the back line, and through the side: not in play.
    b = board_frame({0: (0.0, 2.2), 2: (2.3, -1.0), 4: (0.0, 0.0)}, 5)
    assert list(b.in_play[:5]) == [False, False, False, False, True]
    np.testing.assert_array_equal(b.stones[0], (0.0, 0.0))
    assert tuple(b.board_stones[1]) == OUT
