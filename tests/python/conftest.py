"""Finds the built module: KELP_BINARY_DIR (set by ctest) or build/ beside
the sources; its python/ folder holds the kelp package. Run with the system
Python, which Debian's numpy and pytest serve:
    /usr/bin/python3 -m pytest tests/python
"""
import os
import select
import subprocess
import sys

import numpy as np
import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BINARY_DIR = os.environ.get("KELP_BINARY_DIR", os.path.join(ROOT, "build"))
sys.path.insert(0, os.path.join(BINARY_DIR, "python"))

import kelp  # noqa: E402

# Board frame; slot k is shot k, so BLACK stones sit in the even slots.
OUT = tuple(kelp.Board().board_stones[0])


def board_frame(stones, shot, **kw):
    """A board from {slot: (x, y)} in the board frame."""
    xy = np.tile(OUT, (16, 1))
    for k, p in stones.items():
        xy[k] = p
    return kelp.Board(xy, shot, frame="board", **kw)


@pytest.fixture
def mid_end():
    """Seven stones, BLACK to throw: guards and stones in the house."""
    return board_frame({0: (0.0, -3.0), 2: (0.4, 0.2), 4: (-0.9, 1.0), 6: (-1.2, -1.4),
                        1: (0.5, -2.5), 3: (-0.2, -0.1), 5: (1.1, 0.8)}, 7)


@pytest.fixture(scope="session")
def binary_dir():
    return BINARY_DIR


class Program:
    """A built engine over its pipes, as a match server talks to it: every
    message ends with a zero byte, GO is answered by a BESTSHOT line."""

    def __init__(self, path, *args, cwd=None):
        self.p = subprocess.Popen([path, *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, cwd=cwd, bufsize=0)
        self.pending = b""

    def send(self, *messages):
        self.p.stdin.write(b"".join(m.encode() + b"\0" for m in messages))
        self.p.stdin.flush()

    def reply(self, prefix, timeout=120.0):
        """The reply that starts with prefix: one short, so atomic, write,
        whole in the read that brings its first bytes."""
        fd = self.p.stdout.fileno()
        buf = self.pending
        while prefix.encode() not in buf:
            ready, _, _ = select.select([fd], [], [], timeout)
            chunk = os.read(fd, 65536) if ready else b""
            if not chunk:
                raise AssertionError(f"no {prefix} from the engine: {buf[-200:]!r}")
            buf += chunk
        line, _, self.pending = buf[buf.index(prefix.encode()):].partition(b"\n")
        return line.decode(errors="replace").strip()

    def best_shot(self, board):
        """The reply to GO on the board, as the server would send it."""
        stones = " ".join(f"{float(v):.9g}" for v in board.stones.reshape(-1))
        self.send(f"SETSTATE {board.shot} {board.end} {board.ends} 0", f"POSITION {stones}", "GO")
        return self.reply("BESTSHOT")

    def close(self):
        self.p.stdin.close()
        self.p.wait(timeout=30)
