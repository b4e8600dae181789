"""The model file: the reader gives back what the writer wrote, and refuses
every malformed file with its reason (as kelp-strong does)."""
import struct

import numpy as np
import pytest

import kelpval

rng = np.random.default_rng(0)
LAYERS = [(rng.normal(0, .5, (o, i)).astype("f4"), rng.normal(0, .5, o).astype("f4"))
          for i, o in ((81, 5), (5, 5), (5, 17))]
X = rng.normal(0, 1, (4, 81)).astype("f4")
GOOD = kelpval.encode(LAYERS, X, kelpval.probabilities(LAYERS, X))
W0, CHECKS = 20, len(GOOD) - 4 - 4 * 4 * 98  # layer 0's first weight, the check count


def test_round_trip():
    assert len(GOOD) == 12 + 4 * (2 + 81 * 5 + 5 + 2 + 5 * 5 + 5 + 2 + 5 * 17 + 17) + 4 + 16 * 98
    layers, xs, ps = kelpval.decode(GOOD)
    for (w, b), (gw, gb) in zip(LAYERS, layers):
        assert np.array_equal(w, gw) and np.array_equal(b, gb)
    assert np.array_equal(xs, X) and np.allclose(ps.sum(axis=1), 1, atol=1e-6)
    # One layer of zero weights gives the softmax of its biases: the reader
    # takes these hand-computed probabilities as the check cases.
    one = [(np.zeros((17, 81)), np.log(np.arange(1.0, 18)))]
    kelpval.decode(kelpval.encode(one, X, np.tile(np.arange(1, 18) / 153, (4, 1))))

def patched(offset, fmt, value):
    b = bytearray(GOOD)
    struct.pack_into(fmt, b, offset, value)
    return bytes(b)


@pytest.mark.parametrize("blob, reason", [
    (b"KELPVAL2" + GOOD[8:], "wrong magic"), (GOOD[:5], "truncated"),
    (GOOD[:W0 + 100], "truncated"), (GOOD[:-1], "truncated"), (GOOD + b"\0", "1 bytes after"),
    (patched(8, "<I", 0), "0 layers"), (patched(8, "<I", 9), "9 layers"),
    (patched(16, "<I", 80), "takes 80 inputs"), (patched(12, "<I", 2000), "sizes are 1 to 1024"),
    (patched(W0 + 40, "<f", np.nan), "not finite"), (patched(CHECKS, "<I", 65), "at most 64"),
    (patched(CHECKS, "<I", 3), "bytes after"), (patched(len(GOOD) - 4, "<f", np.inf), "not finite"),
    (patched(W0 + 4 * 81 * 5, "<f", 7.0), "do not reproduce"),  # a bias
    (patched(len(GOOD) - 4, "<f", 0.25), "do not reproduce"),  # a stored probability
], ids=lambda v: v if isinstance(v, str) else None)
def test_malformed_files_are_refused(blob, reason):
    with pytest.raises(kelpval.FormatError, match=reason):
        kelpval.decode(blob)

