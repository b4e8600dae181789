"""Kelp for Python: the curling simulator (fast and exact), boards in both
frames, candidate shots, kelp-strong's engines, referee records, and a
Gymnasium-style environment.

The server's frame is that of the POSITION and BESTSHOT messages: the tee at
(2.375, 4.88), stones travel toward smaller y, a stone at (0, 0) is not in
play. The board frame has the tee at the origin and stones travel toward +y.
Colour 0 (BLACK) throws the first stone of an end, in the even slots.
"""

from ._kelp import (  # noqa: F401  (the public names)
    Board,
    Decision,
    Engine,
    candidates,
    read_record,
    throw,
    throw_batch,
    write_record,
)
from .env import CurlingEnv  # noqa: F401

__all__ = [
    "Board",
    "CurlingEnv",
    "Decision",
    "Engine",
    "candidates",
    "read_record",
    "throw",
    "throw_batch",
    "write_record",
]
