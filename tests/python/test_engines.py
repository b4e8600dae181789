"""Engines: Engine(...).think answers exactly what kelp-strong answers GO
with on the same position, the same options and the same seed."""
import os

import pytest

import kelp
from conftest import Program, board_frame

CASES = [
    ("greedy", {"threads": 1}, ["--search", "greedy", "--threads", "1"]),
    ("strong", {"samples": 300, "seed": 7, "threads": 2},
     ["--samples", "300", "--seed", "7", "--threads", "2"]),
    ("strong", {"samples": 301, "seed": 8, "threads": 1},
     ["--samples", "301", "--seed", "8", "--threads", "1"]),
    ("faithful", {"iterations": 40, "seed": 7},
     ["--search", "faithful", "--iterations", "40", "--seed", "7"]),
]


@pytest.mark.parametrize("search, options, args", CASES)
def test_engine_answers_as_the_program(binary_dir, tmp_path, mid_end, search, options, args):
    early = board_frame({0: (0.3, -3.2), 1: (-0.4, 0.6)}, 2, end=7, ends=8)
    program = Program(os.path.join(binary_dir, "kelp-strong"), *args, cwd=tmp_path)
    try:
        program.send("ISREADY")
        assert program.reply("READYOK").startswith("READYOK")
        engine = kelp.Engine(search, **options)
        for board in (mid_end, early, mid_end):
            decision = engine.think(board)
            assert decision.bestshot == program.best_shot(board)
            vx, vy, spin = decision.shot
            assert decision.bestshot == f"BESTSHOT {vx:f} {vy:f} {spin}"
            assert decision.label in kelp.candidates(board)["label"]
            assert decision.candidates == len(kelp.candidates(board)["label"])
    finally:
        program.close()


def test_budgets_and_their_searches():
    assert kelp.Engine("strong", samples=50, seed=1).think(kelp.Board(None, 3)).count == 50
    with pytest.raises(ValueError, match="strong search"):
        kelp.Engine("faithful", samples=10)
    with pytest.raises(ValueError, match="faithful search"):
        kelp.Engine("strong", iterations=10)
    with pytest.raises(ValueError, match="samples"):
        kelp.Engine("strong", samples=0)
    with pytest.raises(TypeError):
        kelp.Engine("strong", samples=1.5)
