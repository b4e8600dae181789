"""The value model's file format "KELPVAL1" (little-endian), which
scripts/train-value writes and kelp-strong reads:

    8 bytes   magic "KELPVAL1"
    uint32    L, dense layers (1..8)
    L times:  uint32 out, uint32 in, out*in float32 weights (row-major, as
              torch.nn.Linear.weight), out float32 biases
    uint32    K, check cases (0..64)
    K times:  81 float32 inputs, 17 float32 probabilities

ReLU follows every layer but the last, whose 17 logits give, by softmax, the
probabilities of end scores -8..+8 for the side to throw. The check cases
let a reader prove that it computes what the trainer computed.

Numpy only, so that the tests can read a model without torch.
"""

import struct

import numpy as np

MAGIC = b"KELPVAL1"
FEATURES = 81
CLASSES = 17
MAX_LAYERS = 8
MAX_WIDTH = 1024
MAX_CHECKS = 64
CHECK_TOLERANCE = 1e-5  # absolute, per probability


class FormatError(ValueError):
    """A model that is not a well-formed KELPVAL1 file, with the reason."""


def _check_shapes(layers):
    if not 1 <= len(layers) <= MAX_LAYERS:
        raise FormatError(f"{len(layers)} layers; a model has 1 to {MAX_LAYERS}")
    width = FEATURES
    for i, (w, b) in enumerate(layers):
        out, inp = w.shape
        if inp != width:
            raise FormatError(f"layer {i} takes {inp} inputs, the layer before gives {width}")
        if not (1 <= out <= MAX_WIDTH and 1 <= inp <= MAX_WIDTH):
            raise FormatError(f"layer {i} is {out}x{inp}; sizes are 1 to {MAX_WIDTH}")
        if b.shape != (out,):
            raise FormatError(f"layer {i} has {b.size} biases for {out} outputs")
        if not (np.isfinite(w).all() and np.isfinite(b).all()):
            raise FormatError(f"layer {i} holds a value that is not finite")
        width = out
    if width != CLASSES:
        raise FormatError(f"the last layer gives {width} outputs, not {CLASSES}")


def probabilities(layers, x):
    """The model's probabilities for inputs x (n, 81), computed in float64
    from the stored float32 weights."""
    h = np.asarray(x, dtype=np.float64)
    for i, (w, b) in enumerate(layers):
        h = h @ w.astype(np.float64).T + b.astype(np.float64)
        if i + 1 < len(layers):
            h = np.maximum(h, 0.0)
    h -= h.max(axis=1, keepdims=True)
    e = np.exp(h)
    return e / e.sum(axis=1, keepdims=True)


def encode(layers, check_inputs, check_probs):
    """The file's bytes. layers: [(weight (out, in), bias (out,))]; check
    cases: inputs (K, 81) and the probabilities (K, 17) the trainer gave."""
    layers = [(np.asarray(w, dtype="<f4"), np.asarray(b, dtype="<f4")) for w, b in layers]
    _check_shapes(layers)
    xs = np.asarray(check_inputs, dtype="<f4").reshape(-1, FEATURES)
    ps = np.asarray(check_probs, dtype="<f4").reshape(-1, CLASSES)
    if len(xs) != len(ps) or len(xs) > MAX_CHECKS:
        raise FormatError(f"{len(xs)} check inputs, {len(ps)} outputs; at most {MAX_CHECKS} cases")
    if not (np.isfinite(xs).all() and np.isfinite(ps).all()):
        raise FormatError("a check case holds a value that is not finite")
    parts = [MAGIC, struct.pack("<I", len(layers))]
    for w, b in layers:
        parts += [struct.pack("<II", *w.shape), np.ascontiguousarray(w).tobytes(), b.tobytes()]
    parts.append(struct.pack("<I", len(xs)))
    for x, p in zip(xs, ps):
        parts += [x.tobytes(), p.tobytes()]
    return b"".join(parts)


def decode(data):
    """(layers, check inputs, check probabilities) from a file's bytes;
    FormatError on anything but a well-formed file whose check cases this
    reader reproduces."""
    pos = 0

    def take(n, what):
        nonlocal pos
        if pos + n > len(data):
            raise FormatError(f"truncated: {what} needs {n} bytes at offset {pos}, "
                              f"the file has {len(data)}")
        pos += n
        return data[pos - n:pos]

    def floats(n, what):
        return np.frombuffer(take(4 * n, what), dtype="<f4")

    if take(len(MAGIC), "the magic") != MAGIC:
        raise FormatError("not a KELPVAL1 model (wrong magic)")
    (count,) = struct.unpack("<I", take(4, "the layer count"))
    if not 1 <= count <= MAX_LAYERS:
        raise FormatError(f"{count} layers; a model has 1 to {MAX_LAYERS}")
    layers, width = [], FEATURES
    for i in range(count):
        out, inp = struct.unpack("<II", take(8, f"layer {i}'s sizes"))
        if not (1 <= out <= MAX_WIDTH and 1 <= inp <= MAX_WIDTH):
            raise FormatError(f"layer {i} is {out}x{inp}; sizes are 1 to {MAX_WIDTH}")
        if inp != width:
            raise FormatError(f"layer {i} takes {inp} inputs, the layer before gives {width}")
        width = out
        w = floats(out * inp, f"layer {i}'s weights").reshape(out, inp)
        layers.append((w, floats(out, f"layer {i}'s biases")))
    _check_shapes(layers)
    (k,) = struct.unpack("<I", take(4, "the check count"))
    if k > MAX_CHECKS:
        raise FormatError(f"{k} check cases; at most {MAX_CHECKS}")
    cases = floats(k * (FEATURES + CLASSES), "the check cases").reshape(k, FEATURES + CLASSES)
    if pos != len(data):
        raise FormatError(f"{len(data) - pos} bytes after the check cases")
    xs, ps = cases[:, :FEATURES], cases[:, FEATURES:]
    if not (np.isfinite(xs).all() and np.isfinite(ps).all()):
        raise FormatError("a check case holds a value that is not finite")
    if k:
        worst = float(np.abs(probabilities(layers, xs) - ps).max())
        if worst > CHECK_TOLERANCE:
            raise FormatError(f"the check cases do not reproduce: off by {worst:.3g}")
    return layers, xs, ps


def write(path, layers, check_inputs, check_probs):
    data = encode(layers, check_inputs, check_probs)
    with open(path, "wb") as f:
        f.write(data)
    return data


def read(path):
    with open(path, "rb") as f:
        return decode(f.read())
