"""Shared helpers for the deep-learning tests: bit-level comparisons and the
C library functions as Python exposes them."""
import math
import struct

import numpy as np


def exp(v):
    """The C library's exp (math.exp raises where C returns +inf)."""
    try:
        return math.exp(v)
    except OverflowError:
        return math.inf


def log(v):
    """The C library's log on the values the formulas pass (> 0 or NaN)."""
    return math.log(v)


def bits(v):
    return struct.unpack("<q", struct.pack("<d", v))[0]


def ulp_distance(a, b):
    """Steps between two doubles (0 for two NaNs); signed zeros differ by 1."""
    if math.isnan(a) or math.isnan(b):
        return 0 if math.isnan(a) and math.isnan(b) else math.inf
    ia, ib = bits(a), bits(b)
    # Map the sign-magnitude encoding onto a monotone integer line.
    ia = ia if ia >= 0 else -(ia & 0x7FFFFFFFFFFFFFFF) - 1
    ib = ib if ib >= 0 else -(ib & 0x7FFFFFFFFFFFFFFF) - 1
    return abs(ia - ib)


def assert_same(got, want, ulps=0):
    """Element by element equal to `ulps` steps (0: identical bits, NaN
    matching NaN)."""
    got = np.asarray(got, dtype=np.float64).ravel()
    want = np.asarray(want, dtype=np.float64).ravel()
    assert got.shape == want.shape
    for i, (g, w) in enumerate(zip(got.tolist(), want.tolist())):
        d = ulp_distance(g, w)
        assert d <= ulps, f"element {i}: got {g!r}, want {w!r} ({d} steps)"


def within_steps(f, steps):
    """f and the functions up to `steps` doubles below and above it: the
    values a vectorised replacement of a C library function may return."""
    return [f] + [lambda v, k=k: math.nextafter(f(v), math.copysign(math.inf, k), steps=abs(k))
                  for s in range(1, steps + 1) for k in (-s, s)]


def within_one_step(f):
    return within_steps(f, 1)


def assert_one_of(got, candidates):
    """Element i has the bits of one of candidates[i] (NaN matching NaN)."""
    got = np.asarray(got, dtype=np.float64).ravel().tolist()
    assert len(got) == len(candidates)
    for i, (g, options) in enumerate(zip(got, candidates)):
        assert any(ulp_distance(g, w) == 0 for w in options), f"element {i}: got {g!r}, want one of {options!r}"


def lane_sum(terms, lanes=32):
    """A leaf of a parallel sum: term i goes to lane i % lanes, each lane
    summed from -0.0 in index order; the lanes combined by halving (lane l +
    lane l + 16, then l + 8, 4, 2, 1)."""
    acc = [-0.0] * lanes
    for i, t in enumerate(terms):
        acc[i % lanes] = acc[i % lanes] + t
    half = lanes // 2
    while half:
        acc = [acc[l] + acc[l + half] for l in range(half)]
        half //= 2
    return acc[0]


def fixed_tree_sum(terms, grain=4096):
    """A parallel sum's grouping: halves at the midpoint down to leaves of at
    most grain terms, each summed in lanes, combined left + right."""
    def tree(b, e):
        if e - b <= grain:
            return lane_sum(terms[b:e])
        mid = b + (e - b) // 2
        left = tree(b, mid)
        return left + tree(mid, e)
    return tree(0, len(terms))


SPECIAL = [0.0, -0.0, 1.0, -1.0, 0.5, -0.5, 2.0, -2.0, 1e-310, -1e-310, 5e-324, 1e-8, -1e-8, 3.7, -3.7, 20.0,
           -20.0, 37.0, -37.0, 700.0, -700.0, 709.8, 710.0, -745.0, -746.0, 1000.0, -1000.0, 1.7976931348623157e308,
           -1.7976931348623157e308, math.inf, -math.inf, math.nan]


def sample(n=300, seed=1):
    """The special values followed by random values over many magnitudes."""
    rng = np.random.default_rng(seed)
    draws = rng.standard_normal(n) * np.exp2(rng.integers(-30, 10, n))
    return np.concatenate([np.array(SPECIAL), draws])


def views(base):
    """Differently laid out views of equal length: contiguous copy, every
    other element, reversed, and a negative step of 3."""
    n = len(base)
    wide = np.full(3 * n, 123.0)
    wide[::2][:n] = base
    rev = np.full(n, 0.0)
    rev[::-1] = base
    tripled = np.full(3 * n, -7.0)
    tripled[::-3][:n] = base
    return {"contiguous": base.copy(), "every_other": wide[::2][:n], "reversed": rev[::-1],
            "step_minus_3": tripled[::-3][:n]}


# The module's own exp and tanh written out step by step in Python floats, in
# the kernels' order of operations (no fused multiply-add): their bits for
# any input but NaN.
def _u(v):
    return struct.unpack("<Q", struct.pack("<d", v))[0]


def _d(u):
    return struct.unpack("<d", struct.pack("<Q", u % 2**64))[0]


SHIFT, INV_LN2, LN2_HI, LN2_LO = map(float.fromhex, ["0x1.8p52", "0x1.71547652b82fep+0", "0x1.62e42fef80000p-1",
                                                     "0x1.1cf79abc9e3b4p-36"])
TANH_P = list(map(float.fromhex, ["0x1.555555555553ep-2", "-0x1.6c16c16bebdc9p-6", "0x1.1566aaf27577fp-9",
                                  "-0x1.bbd41caae60e1p-13", "0x1.6376be3248a6dp-16"]))


def own_exp(x):
    x = min(max(x, -746.0), 710.0)
    shifted = x * INV_LN2 + SHIFT
    kd = shifted - SHIFT
    h = x - kd * LN2_HI
    c = kd * LN2_LO
    r = h - c
    r_lo = (h - r) - c
    r2 = r * r
    r4 = r2 * r2
    a = [1.0 / 2 + r * (1.0 / 6), 1.0 / 24 + r * (1.0 / 120), 1.0 / 720 + r * (1.0 / 5040),
         1.0 / 40320 + r * (1.0 / 362880), 1.0 / 3628800 + r * (1.0 / 39916800),
         1.0 / 479001600 + r * (1.0 / 6227020800)]
    series = ((a[0] + r2 * a[1]) + r4 * (a[2] + r2 * a[3])) + (r4 * r4) * (a[4] + r2 * a[5])
    one_r = 1.0 + r
    tail = ((1.0 - one_r) + r) + (r_lo + r2 * series)
    kb = (_u(shifted) - _u(SHIFT) + 2**23) % 2**64
    k1 = kb >> 1
    return ((one_r + tail) * _d((k1 - 2**22 + 1023) << 52)) * _d((kb - k1 - 2**22 + 1023) << 52)


def own_tanh(x):
    a = abs(x)
    shifted = a * (2 * INV_LN2) + SHIFT
    kd = shifted - SHIFT
    h = a - kd * (LN2_HI / 2)
    c = kd * (LN2_LO / 2)
    z = (h - c) * (h - c)
    z2 = z * z
    s = z * (TANH_P[0] + z * TANH_P[1]) + (z2 * z) * ((TANH_P[2] + z * TANH_P[3]) + z2 * TANH_P[4])
    p = h + 1.5
    u, v = p - 0.5, 2.5 - p
    g = (h - (p - 1.5)) - c
    f = _d((1023 + _u(SHIFT) - _u(shifted)) << 52)
    fv = f * v
    n, d = u - fv, u + fv
    gs, fm = g + s, f * (g - s)
    n_lo = (((u - n) - fv) + gs) + fm
    d_lo = (((u - d) + fv) + gs) - fm
    y = 1.0 / (d + d_lo)
    upper = lambda t: _d(_u(t) & ~(2**27 - 1))  # noqa: E731
    q0 = upper((n + n_lo) * y)
    residual = (n - q0 * upper(d)) + (n_lo - q0 * ((d - upper(d)) + d_lo))
    return _d(_u(q0 + residual * y if a <= 19.5 else 1.0) | (_u(x) & 2**63))
