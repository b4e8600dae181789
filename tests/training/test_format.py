"""The model file: what the writer writes the reader gives back, and every
malformed file is refused with its reason (kelp-strong refuses the same)."""
import struct

import numpy as np
import pytest

import kelpval


def small_model(seed=0, hidden=5):
    rng = np.random.default_rng(seed)
    sizes = [81, hidden, hidden, 17]
    layers = [(rng.normal(0, 0.5, (o, i)), rng.normal(0, 0.5, o)) for i, o in zip(sizes, sizes[1:])]
    x = rng.normal(0, 1, (4, 81))
    f32 = [(w.astype(np.float32), b.astype(np.float32)) for w, b in layers]
    return layers, x, kelpval.probabilities(f32, x.astype(np.float32))


def test_round_trip_and_check_cases():
    layers, x, p = small_model()
    blob = kelpval.encode(layers, x, p)
    assert len(blob) == 8 + 4 + 3 * 8 + 4 * (81 * 5 + 5 + 5 * 5 + 5 + 5 * 17 + 17) + 4 + 4 * 4 * 98
    got, gx, gp = kelpval.decode(blob)
    for (w, b), (gw, gb) in zip(layers, got):
        np.testing.assert_array_equal(gw, w.astype(np.float32))
        np.testing.assert_array_equal(gb, b.astype(np.float32))
    np.testing.assert_array_equal(gx, x.astype(np.float32))
    np.testing.assert_allclose(kelpval.probabilities(got, gx), gp, atol=1e-6)
    assert np.allclose(gp.sum(axis=1), 1, atol=1e-6)
    # A hand-made one-layer model: softmax of the biases whatever the input.
    b = np.log(np.arange(1, 18, dtype=np.float64))
    one = [(np.zeros((17, 81)), b)]
    np.testing.assert_allclose(kelpval.probabilities(one, np.ones((1, 81)))[0],
                               np.arange(1, 18) / 153.0)
    assert kelpval.decode(kelpval.encode(one, [], []))[1].shape == (0, 81)


def patched(blob, offset, fmt, value):
    b = bytearray(blob)
    struct.pack_into(fmt, b, offset, value)
    return bytes(b)


GOOD = kelpval.encode(*small_model())
L1 = 12 + 8  # layer 0's first weight
CHECKS = len(GOOD) - 4 - 4 * 4 * 98  # the check count


@pytest.mark.parametrize("blob, reason", [
    (b"KELPVAL2" + GOOD[8:], "wrong magic"),
    (GOOD[:5], "truncated"),
    (GOOD[:L1 + 100], "truncated"),
    (GOOD[:-1], "truncated"),
    (GOOD + b"\0", "1 bytes after"),
    (patched(GOOD, 8, "<I", 0), "0 layers"),
    (patched(GOOD, 8, "<I", 9), "9 layers"),
    (patched(GOOD, 16, "<I", 80), "takes 80 inputs"),
    (patched(GOOD, 12, "<I", 2000), "sizes are 1 to 1024"),
    (patched(GOOD, L1 + 40, "<f", float("nan")), "not finite"),
    (patched(GOOD, CHECKS, "<I", 65), "at most 64"),
    (patched(GOOD, CHECKS, "<I", 3), "bytes after"),
    (patched(GOOD, len(GOOD) - 4, "<f", float("inf")), "not finite"),
    (patched(GOOD, L1 + 4 * 81 * 5, "<f", 7.0), "do not reproduce"),
    (patched(GOOD, len(GOOD) - 4, "<f", 0.25), "do not reproduce"),
], ids=lambda v: v if isinstance(v, str) else None)
def test_malformed_files_are_refused(blob, reason):
    with pytest.raises(kelpval.FormatError, match=reason):
        kelpval.decode(blob)


def test_writer_refuses_what_no_reader_would_take():
    layers, x, p = small_model()
    for bad, reason in (([(np.zeros((17, 80)), np.zeros(17))], "takes 80 inputs"),
                        ([(np.zeros((16, 81)), np.zeros(16))], "16 outputs"),
                        ([(np.full((17, 81), np.inf), np.zeros(17))], "not finite")):
        with pytest.raises(kelpval.FormatError, match=reason):
            kelpval.encode(bad, [], [])
    with pytest.raises(kelpval.FormatError, match="at most 64"):
        kelpval.encode(layers, np.zeros((65, 81)), np.zeros((65, 17)))
