"""Reading the data: ends are told apart and held out whole; bad folders and
options end with one clear line and status 2, never a traceback (these
checks run before torch loads)."""
import importlib.machinery
import importlib.util
import os
import re
import shutil

import numpy as np
import pytest

from conftest import SCRIPT, make_data, train

loader = importlib.machinery.SourceFileLoader("train_value", SCRIPT)
tv = importlib.util.module_from_spec(importlib.util.spec_from_loader("train_value", loader))
loader.exec_module(tv)


def test_ends_are_held_out_whole(tmp_path):
    a = make_data(str(tmp_path / "a"), ends=5, seed=1)
    b = make_data(str(tmp_path / "b"), ends=3, seed=2)
    # b's first end is cut to throws 4..15: still an end of its own, as
    # the folder boundary starts one although the throw count rises.
    for name in ("features", "score", "throws", "hammer"):
        path = os.path.join(b, f"{name}.npy")
        np.save(path, np.load(path)[4:])
    data, metas = tv.load([a, b])
    assert [m["ends"] for m in metas] == [5, 3]
    assert np.array_equal(np.bincount(data["end"]), [16] * 5 + [12, 16, 16])
    np.testing.assert_array_equal(data["score"][:80], np.load(os.path.join(a, "score.npy")))
    for seed in range(5):
        train_idx, held_idx, k = tv.split(data["end"], 0.3, seed)
        assert k == 2 and len(train_idx) + len(held_idx) == len(data["end"])
        assert not set(data["end"][train_idx]) & set(data["end"][held_idx])
    assert not np.array_equal(tv.split(data["end"], 0.3, 0)[1], tv.split(data["end"], 0.3, 1)[1])


def spoil(folder, name, value):
    np.save(os.path.join(folder, f"{name}.npy"), value)


def feature_row_off(folder):
    x = np.load(os.path.join(folder, "features.npy"))
    x[20, 80] = 1 - x[20, 80]
    spoil(folder, "features", x)


@pytest.mark.parametrize("change, message", [
    (lambda d: shutil.rmtree(d), "no such directory"),
    (lambda d: os.remove(os.path.join(d, "throws.npy")), "throws.npy: missing"),
    (lambda d: open(os.path.join(d, "hammer.npy"), "wb").write(b"not numpy"), "not a readable"),
    (lambda d: spoil(d, "score", np.zeros(48, np.int64)), "dtype <i8, expected |i1"),
    (lambda d: spoil(d, "features", np.zeros((48, 80), np.float32)), r"shape \(48, 80\)"),
    (lambda d: spoil(d, "features", np.zeros((48, 81), ">f4")), "dtype >f4"),
    (lambda d: spoil(d, "hammer", np.zeros(47, np.uint8)), "47 rows"),
    (lambda d: spoil(d, "score", np.full(48, 9, np.int8)), "score.npy: row 0 holds 9"),
    (lambda d: spoil(d, "score", np.full(48, -128, np.int8)), "holds -128"),
    (lambda d: spoil(d, "throws", np.full(48, 16, np.uint8)), "throws.npy: row 0 holds 16"),
    (feature_row_off, "row 20's features disagree"),
    (lambda d: shutil.rmtree(d) or make_data(d, ends=1), "16 positions; training needs at le"),
], ids=lambda v: v if isinstance(v, str) else None)
def test_bad_data_is_refused(tmp_path, change, message):
    folder = make_data(str(tmp_path / "d"), ends=3)
    change(folder)
    r = train("--data", folder, "--out", tmp_path / "m.kvm")
    assert r.returncode == 2 and "Traceback" not in r.stderr, r.stderr
    assert r.stderr.startswith("train-value: ") and re.search(message, r.stderr)
    assert not (tmp_path / "m.kvm").exists()


def test_bad_options_are_refused(tmp_path):
    folder = make_data(str(tmp_path / "d"), ends=3)
    for bad, message in ((("--epochs", 0), "--epochs"), (("--hidden", 2000), "--hidden"),
                         (("--lr", -1), "--lr"), (("--checks", 65), "--checks"),
                         (("--holdout", 1), "--holdout")):
        r = train("--data", folder, "--out", tmp_path / "m.kvm", *map(str, bad))
        assert r.returncode == 2 and message in r.stderr and "Traceback" not in r.stderr
