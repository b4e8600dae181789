"""A tiny training run end to end: it learns the synthetic rule, writes its
three outputs, and the same seed gives the same model file, byte for byte."""
import json
import os

import numpy as np
import pytest

import kelpval
from conftest import train

pytest.importorskip("torch", reason="torch is missing: scripts/setup installs python3-torch")

OPTIONS = ("--epochs", 15, "--lr", 3e-3, "--batch", 64, "--holdout", 0.25)


@pytest.fixture(scope="module")
def run(synthetic, tmp_path_factory):
    out = tmp_path_factory.mktemp("run")
    r = train("--data", synthetic, "--out", out / "m.kvm", *OPTIONS)
    assert r.returncode == 0, r.stderr
    return out, r


def test_learns_the_rule_and_writes_every_output(run, synthetic):
    out, r = run
    report = json.loads((out / "m.json").read_text())
    assert (out / "m.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    # Whole ends are held out: 10 of 40, 16 positions each.
    data = report["data"]
    assert (data["positions"], data["ends"], data["heldout_ends"]) == (640, 40, 10)
    assert data["heldout_positions"] == 160 and data["meta"][0]["made_by"] == "tests/training"
    curve = report["curve"]
    assert [c["epoch"] for c in curve] == list(range(16))
    assert report["heldout_loss"] == curve[-1]["heldout_loss"]
    assert report["heldout_loss"] < report["baseline_loss"] - 0.2
    assert curve[-1]["train_loss"] < curve[0]["train_loss"]
    table = report["calibration"]
    assert sum(row["n"] for row in table) == 160
    assert all(a["hi"] <= b["lo"] for a, b in zip(table, table[1:]))
    # The lowest and highest predictions see the lowest and highest scores.
    assert table[0]["observed"] < 0 < table[-1]["observed"]
    # The file reads back; the check cases are held-out positions whose
    # stored probabilities numpy reproduces from the stored weights.
    layers, xs, ps = kelpval.read(out / "m.kvm")
    assert [w.shape for w, _ in layers] == [(64, 81), (64, 64), (17, 64)]
    assert len(xs) == 16 and report["model"]["bytes"] == os.path.getsize(out / "m.kvm")
    np.testing.assert_allclose(kelpval.probabilities(layers, xs), ps, atol=1e-6)
    features = np.load(os.path.join(synthetic, "features.npy"))
    assert all((features == x).all(axis=1).any() for x in xs)
    assert "held-out loss" in r.stdout and "epoch 15/15" in r.stdout


def test_same_seed_same_file(run, synthetic, tmp_path):
    out, _ = run
    again = train("--data", synthetic, "--out", tmp_path / "a.kvm", *OPTIONS)
    other = train("--data", synthetic, "--out", tmp_path / "b.kvm", *OPTIONS, "--seed", 2)
    assert again.returncode == 0 and other.returncode == 0, again.stderr + other.stderr
    assert (tmp_path / "a.kvm").read_bytes() == (out / "m.kvm").read_bytes()
    assert (tmp_path / "b.kvm").read_bytes() != (out / "m.kvm").read_bytes()
