"""Records: a referee's record.jsonl read into boards and throws, the throws
replayed on the exact model, and written back and read again unchanged."""
import os
import subprocess

import numpy as np
import pytest

import kelp


@pytest.fixture(scope="module")
def record(binary_dir, tmp_path_factory):
    out = tmp_path_factory.mktemp("match")
    engine = f"{binary_dir}/kelp-strong --samples 40 --seed 1 --threads 1"
    subprocess.run([os.path.join(binary_dir, "kelp-referee"), engine, engine, "--ends", "2",
                    "--seed", "11", "--no-pictures", "--out", str(out / "m")],
                   check=True, capture_output=True, timeout=300)
    return str(out / "m" / "record.jsonl")


def test_read_a_referee_record(record):
    throws = kelp.read_record(record)
    assert [(t["end"], t["shot"]) for t in throws] == [(e, s) for e in range(2) for s in range(16)]
    for prev, t in zip(throws, throws[1:]):
        if t["shot"] > 0:
            np.testing.assert_array_equal(t["before"].stones, prev["after"].stones)
    for t in throws:
        assert t["status"] == "ok" and t["engine"] in ("A", "B")
        assert t["after"].shot == t["shot"] + 1 and t["before"].shot == t["shot"]
        # The referee's throw is the exact model at 1 ms with the error added.
        after, info = kelp.throw(t["before"], t["thrown"], error=False, model="exact",
                                 step=0.001)
        assert info["foul"] == t["foul"]
        assert np.array_equal(after.in_play.sum(), t["after"].in_play.sum())
        lies = t["after"].score()
        if t["shot"] == 15:
            s = t["end_score"]
            assert s["points"] == abs(lies)
            assert (s["engine"] is None) == (lies == 0)
        else:
            assert t["end_score"] is None


def test_write_and_read_back(record, tmp_path):
    throws = kelp.read_record(record)
    path = str(tmp_path / "copy.jsonl")
    kelp.write_record(path, throws)
    again = kelp.read_record(path)
    assert len(again) == len(throws)
    for a, b in zip(throws, again):
        for key in ("end", "shot", "engine", "color", "status", "reply", "thrown", "error",
                    "foul", "end_score"):
            assert a[key] == b[key], key
        np.testing.assert_array_equal(a["after"].board_stones, b["after"].board_stones)
    # Nothing is left half written under the record's name or beside it.
    assert sorted(os.listdir(tmp_path)) == ["copy.jsonl"]
