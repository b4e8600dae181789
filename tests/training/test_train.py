"""A tiny training run: it learns the synthetic rule, writes its three
outputs, and the same seed gives the same model file, byte for byte."""
import json

import numpy as np
import pytest

import kelpval
from conftest import make_data, train

pytest.importorskip("torch", reason="torch is missing: scripts/setup installs python3-torch")
OPTIONS = ("--epochs", 15, "--lr", 3e-3, "--batch", 64, "--holdout", 0.25)


def test_training_run(tmp_path):
    synthetic = make_data(str(tmp_path / "gen"), 40)
    r = train("--data", synthetic, "--out", tmp_path / "m.kvm", *OPTIONS)
    assert r.returncode == 0, r.stderr
    report = json.loads((tmp_path / "m.json").read_text())
    assert (tmp_path / "m.png").read_bytes()[:4] == b"\x89PNG"
    d = report["data"]
    assert [d[k] for k in ("positions", "ends", "heldout_ends", "heldout_positions")] == [
        640, 40, 10, 160]
    assert [c["epoch"] for c in report["curve"]] == list(range(16))
    assert report["heldout_loss"] < report["baseline_loss"] - 0.2
    table = report["calibration"]
    assert sum(row["n"] for row in table) == 160
    assert table[0]["observed"] < 0 < table[-1]["observed"]
    # The check cases are held-out inputs; numpy reproduces their stored
    # probabilities from the stored weights.
    layers, xs, ps = kelpval.read(tmp_path / "m.kvm")
    assert [w.shape for w, _ in layers] == [(64, 81), (64, 64), (17, 64)] and len(xs) == 16
    np.testing.assert_allclose(kelpval.probabilities(layers, xs), ps, atol=1e-6)
    features = np.load(f"{synthetic}/features.npy")
    assert all((features == x).all(axis=1).any() for x in xs)

    again = train("--data", synthetic, "--out", tmp_path / "a.kvm", *OPTIONS)
    other = train("--data", synthetic, "--out", tmp_path / "b.kvm", *OPTIONS, "--seed", 2)
    assert again.returncode == 0 and other.returncode == 0
    assert (tmp_path / "a.kvm").read_bytes() == (tmp_path / "m.kvm").read_bytes()
    assert (tmp_path / "b.kvm").read_bytes() != (tmp_path / "m.kvm").read_bytes()
