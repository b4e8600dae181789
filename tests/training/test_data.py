"""Reading the data: ends are told apart and held out whole; bad folders and
options end with one line and status 2, never a traceback."""
import os
import re
import runpy
import shutil

import numpy as np
import pytest

from conftest import SCRIPT, make_data, train

tv = runpy.run_path(SCRIPT)


def test_ends_are_held_out_whole(tmp_path):
    a, b = make_data(str(tmp_path / "a"), 5), make_data(str(tmp_path / "b"), 3)
    for name in ("features", "score", "throws", "hammer"):  # b starts at throw 4
        np.save(f"{b}/{name}.npy", np.load(f"{b}/{name}.npy")[4:])
    data, metas = tv["load"]([a, b])
    assert [m["ends"] for m in metas] == [5, 3]
    assert list(np.bincount(data["end"])) == [16] * 5 + [12, 16, 16]
    for seed in range(4):
        train_idx, held_idx, k = tv["split"](data["end"], 0.3, seed)
        assert k == 2 and len(train_idx) + len(held_idx) == 124
        assert not set(data["end"][train_idx]) & set(data["end"][held_idx])


def spoil(name, value):
    return lambda d: np.save(f"{d}/{name}.npy", value)


@pytest.mark.parametrize("change, args, message", [
    (shutil.rmtree, (), "no such directory"),
    (lambda d: os.remove(f"{d}/throws.npy"), (), "throws.npy: missing"),
    (lambda d: open(f"{d}/hammer.npy", "wb").write(b"not numpy"), (), "not a readable"),
    (spoil("score", np.zeros(48, np.int64)), (), "dtype <i8, expected |i1"),
    (spoil("features", np.zeros((48, 81), ">f4")), (), "dtype >f4"),
    (spoil("features", np.zeros((48, 80), "f4")), (), r"shape \(48, 80\)"),
    (spoil("hammer", np.zeros(47, np.uint8)), (), "47 rows"),
    (spoil("score", np.full(48, 9, np.int8)), (), "row 0 holds 9"),
    (spoil("score", np.full(48, -128, np.int8)), (), "holds -128"),
    (spoil("throws", np.full(48, 16, np.uint8)), (), "row 0 holds 16"),
    (spoil("hammer", np.arange(48, dtype=np.uint8) % 2 ^ (np.arange(48) == 20)), (),
     "row 20's features disagree"),
    (lambda d: shutil.rmtree(d) or make_data(d, 1), (), "16 positions; training needs"),
    (None, ("--epochs", 0), "--epochs"), (None, ("--hidden", 2000), "--hidden"),
], ids=lambda v: v if isinstance(v, str) else None)
def test_bad_input_is_refused(tmp_path, change, args, message):
    folder = make_data(str(tmp_path / "d"), 3)
    if change:
        change(folder)
    r = train("--data", folder, "--out", tmp_path / "m.kvm", *args)
    assert r.returncode == 2 and "Traceback" not in r.stderr and re.search(message, r.stderr)
    assert not (tmp_path / "m.kvm").exists()
