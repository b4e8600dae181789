"""Synthetic data in kelp-datagen's format with a rule a small network can
learn: the score is the side to throw's stones within 1 m of the tee minus
the other side's. Run: /usr/bin/python3 -m pytest tests/training"""
import json
import os
import subprocess
import sys

import numpy as np

SCRIPT = os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "train-value")
sys.path.insert(0, os.path.dirname(SCRIPT))


def make_data(folder, ends, seed=0):
    rng = np.random.default_rng(seed)
    n = 16 * ends
    x, score = np.zeros((n, 81), np.float32), np.zeros(n, np.int8)
    throws = np.tile(np.arange(16, dtype=np.uint8), ends)
    for i in range(n):
        for side in (0, 1):  # up to 3 stones each, nearest first
            r = np.sort(np.sqrt(rng.uniform(0, 1, rng.integers(0, 4))) * 2.0)
            a = rng.uniform(0, 2 * np.pi, len(r))
            slots = np.stack([np.ones_like(r), r * np.cos(a), r * np.sin(a), r], axis=1)
            x[i, 32 * side:32 * side + 4 * len(r)] = slots.reshape(-1)
            score[i] += (1 - 2 * side) * (r < 1.0).sum()
        x[i, 64 + throws[i]] = 1
        x[i, 80] = throws[i] % 2
    os.makedirs(folder, exist_ok=True)
    for name, a in (("features", x), ("score", score), ("throws", throws), ("hammer", throws % 2)):
        np.save(os.path.join(folder, f"{name}.npy"), a)
    with open(os.path.join(folder, "meta.json"), "w") as f:
        json.dump({"made_by": "tests/training", "ends": ends}, f)
    return folder


def train(*args):
    return subprocess.run([sys.executable, SCRIPT, *map(str, args)], capture_output=True,
                          text=True, timeout=600)

