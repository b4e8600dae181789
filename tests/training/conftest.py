"""Synthetic training data in kelp-datagen's format, with a rule a small
network can learn: the score is the number of the side to throw's stones
within 1 m of the tee minus the other side's. Run with the system Python:
    /usr/bin/python3 -m pytest tests/training
"""
import json
import os
import subprocess
import sys

import numpy as np
import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCRIPT = os.path.join(ROOT, "scripts", "train-value")
sys.path.insert(0, os.path.join(ROOT, "scripts"))


def side(rng, count):
    """8 slots of (present, x, y, r), nearest first, and the count within 1 m."""
    r = np.sqrt(rng.uniform(0, 1, count)) * 2.0
    a = rng.uniform(0, 2 * np.pi, count)
    slots = np.zeros((8, 4), np.float32)
    for k, i in enumerate(np.argsort(r)):
        slots[k] = (1, r[i] * np.cos(a[i]), r[i] * np.sin(a[i]), r[i])
    return slots.reshape(-1), int((r < 1.0).sum())


def make_data(folder, ends, seed=0):
    rng = np.random.default_rng(seed)
    n = 16 * ends
    x = np.zeros((n, 81), np.float32)
    score = np.zeros(n, np.int8)
    throws = np.tile(np.arange(16, dtype=np.uint8), ends)
    hammer = (throws % 2).astype(np.uint8)
    for i in range(n):
        own, near_own = side(rng, rng.integers(0, 4))
        opp, near_opp = side(rng, rng.integers(0, 4))
        x[i, :32], x[i, 32:64] = own, opp
        x[i, 64 + throws[i]] = 1
        x[i, 80] = hammer[i]
        score[i] = near_own - near_opp
    os.makedirs(folder, exist_ok=True)
    for name, a in (("features", x), ("score", score), ("throws", throws), ("hammer", hammer)):
        np.save(os.path.join(folder, f"{name}.npy"), a)
    with open(os.path.join(folder, "meta.json"), "w") as f:
        json.dump({"made_by": "tests/training", "ends": ends, "seed": seed, "N": n}, f)
    return folder


def train(*args, cwd=None):
    return subprocess.run([sys.executable, SCRIPT, *map(str, args)], capture_output=True,
                          text=True, cwd=cwd, timeout=600)


@pytest.fixture(scope="session")
def synthetic(tmp_path_factory):
    return make_data(str(tmp_path_factory.mktemp("data") / "gen"), ends=40)
