"""Softmax, fused softmax cross-entropy, one-hot and the four pair losses."""
import math
import os
import subprocess
import sys

import numpy as np
import pytest

import quorvane as q
from dl_helpers import assert_one_of, assert_same, bits, exp, fixed_tree_sum, log, views, within_one_step

FLOOR, CEIL = 1e-15, 0.999999999999999
# Softmax uses a vectorised exp within one step of the C library's: each
# probability is a quotient of such values by their sum.
SOFTMAX_ULPS = 4


def softmax_row(row):
    m = -math.inf
    for v in row:
        m = v if v > m else m
    es = [exp(v - m) for v in row]
    s = 0.0
    for e in es:
        s = s + e
    return [e / s for e in es]


def ref_softmax_xent(logits, targets):
    batch = len(logits)
    grad, total = [], -0.0
    for row, t in zip(logits.tolist(), targets.tolist()):
        g = softmax_row(row)
        prob = g[t]
        g[t] = prob - 1.0
        total = total + -log(prob if prob > FLOOR else FLOOR)
        grad.append([v / batch for v in g])
    return (total / batch if batch else math.nan), grad


def clamp(p):
    r = FLOOR if p < FLOOR else p
    return CEIL if r > CEIL else r


# Term formulas f(p, y, log); bce and categorical cross-entropy use a
# vectorised log within one step of the C library's.
TERMS = {
    "mse_loss": lambda p, y, lg: (p - y) * (p - y),
    "mae_loss": lambda p, y, lg: abs(p - y),
    "bce_loss": lambda p, y, lg: (lg[0](1.0 - clamp(p)) * (1.0 - y)) + (lg[1](clamp(p)) * y),
    "categorical_cross_entropy": lambda p, y, lg: -(lg[0](clamp(p)) * y),
}
LOSSES = list(TERMS)
LOG_LOSSES = {"bce_loss", "categorical_cross_entropy"}


def finish(name, s, n):
    return (-s) / n if name == "bce_loss" else s / n


def term_candidates(name, p, y):
    logs = within_one_step(log) if name in LOG_LOSSES else [log]
    return [TERMS[name](p, y, (a, b)) for a in logs for b in logs]


def single_terms(name, p, y):
    """Each term as the loss of a one-element call returns it (S / 1)."""
    fn = getattr(q, name)
    terms = [fn(p[i : i + 1], y[i : i + 1]) for i in range(len(p))]
    return [-t for t in terms] if name == "bce_loss" else terms  # negated, a NaN's sign too


def sequential(name, terms):
    s = -0.0
    for t in terms:
        s = s + t
    return finish(name, s, len(terms))


def ref_loss(name, p, y):
    """The loss with the C library's log throughout."""
    return sequential(name, [TERMS[name](a, b, (log, log)) for a, b in zip(p.tolist(), y.tolist())])


# --- softmax -----------------------------------------------------------------

def test_softmax_rows_match_the_formula():
    # 43 rows: whole groups of eight rows and a shorter one; 11 columns:
    # a vector of eight and a tail, special values in both.
    rng = np.random.default_rng(3)
    x = rng.standard_normal((43, 11)) * 30.0
    x[0] = [1.0, 2.0, 3.0, 1000.0, 1001.0, 1002.0, -1e308, 0.5, 0.25, 1003.0, 1e300]
    x[1, 2] = math.nan
    x[2] = -math.inf
    x[3, 4] = math.inf
    x[4] = [-0.0, 0.0, -0.0, 0.0, 5e-324, -5e-324, 0.0, -0.0, 0.0, -0.0, 0.0]
    x[5, 9] = math.nan
    x[6, 10] = math.inf
    x[41, 1] = math.nan
    x[42, 10] = 500.0
    x[7, :9] = math.nan  # the maximum only among the tail
    out = q.softmax(x)
    assert out.shape == x.shape and out.flags.c_contiguous
    assert_same(out, [softmax_row(r) for r in x.tolist()], SOFTMAX_ULPS)
    assert np.isnan(out[1:4]).all() and np.isnan(out[5:8]).all() and np.isnan(out[41]).all()


def test_softmax_large_logits_do_not_overflow():
    out = q.softmax(np.array([[1.0, 2.0, 3.0], [1000.0, 1001.0, 1002.0]]))
    assert_same(out[0], out[1])
    assert np.allclose(out[0], [0.0900, 0.2447, 0.6652], atol=1e-4)


# Row i peaks at column i, 1000 above row i - 1's peak: a row maximum that
# misses the peak, in any block or remainder of any level's vectors, or that
# reads another row, leaves exp to overflow and gives NaNs; the right one
# gives exactly the identity.
PEAKS_CHECK = """
import numpy as np, quorvane as q
for n in range(1, 41):
    assert np.array_equal(q.softmax(np.diag(1000.0 * np.arange(1, n + 1))), np.eye(n)), n
"""


@pytest.mark.parametrize("level", ["baseline", "avx2", "avx512"])
def test_softmax_row_maximum_finds_every_peak_on_every_level(level):
    out = subprocess.run([sys.executable, "-c", PEAKS_CHECK], capture_output=True, text=True, timeout=120,
                         env={**os.environ, "QUORVANE_ISA": level})
    assert out.returncode == 0, out.stderr


@pytest.mark.parametrize("shape", [(0, 4), (5, 0), (0, 0), (10_000, 0), (10_001, 0)])
def test_softmax_empty_shapes(shape):
    out = q.softmax(np.zeros(shape))
    assert out.shape == shape and out.dtype == np.float64


@pytest.mark.parametrize("rows", [9_999, 10_000])
def test_softmax_threshold_rows_are_independent(rows):
    x = np.random.default_rng(rows).standard_normal((rows, 5)) * 10.0
    out = q.softmax(x)
    assert_same(out[:50], [softmax_row(r) for r in x[:50].tolist()], SOFTMAX_ULPS)
    assert_same(out[-50:], [softmax_row(r) for r in x[-50:].tolist()], SOFTMAX_ULPS)
    assert_same(out[:100], q.softmax(x[:100]))  # parallel and sequential rows agree
    for i in (0, 3, 4, rows - 2, rows - 1):  # rows summed side by side, and the rest
        assert_same(out[i : i + 1], q.softmax(x[i : i + 1]))


@pytest.mark.parametrize(
    "x",
    [np.asfortranarray(np.ones((3, 2))), np.ones((2, 3)).T, np.ones((4, 6))[:, ::2], np.ones((4, 3))[::2]],
    ids=["fortran", "transposed", "column_step", "row_step"],
)
def test_softmax_refuses_non_c_contiguous(x):
    with pytest.raises(ValueError, match=r"^input must be C-contiguous$"):
        q.softmax(x)


def test_softmax_accepts_single_row_or_column_views():
    col = np.asfortranarray(np.arange(3.0).reshape(3, 1))  # both C and Fortran contiguous
    assert_same(q.softmax(col), np.ones((3, 1)))


# --- softmax_cross_entropy -------------------------------------------------------

def test_softmax_cross_entropy_matches_the_formula():
    rng = np.random.default_rng(8)
    logits = rng.standard_normal((64, 9)) * 20.0
    logits[5, 3] = math.nan
    logits[6] = [0.0] * 8 + [800.0]
    targets = rng.integers(0, 9, 64)
    targets[6] = 0  # probability underflows to 0: floored
    loss, grad = q.softmax_cross_entropy(logits, targets)
    want_loss, want_grad = ref_softmax_xent(logits, targets)
    assert math.isclose(loss, want_loss, rel_tol=1e-14)
    assert_same(grad, want_grad, SOFTMAX_ULPS)
    assert np.isnan(grad[5]).all()


def test_softmax_cross_entropy_examples():
    loss, grad = q.softmax_cross_entropy(np.array([[0.0, 0.0]]), np.array([1]))
    assert loss == math.log(2.0)
    assert_same(grad, [[0.5, -0.5]])
    loss, grad = q.softmax_cross_entropy(np.array([[0.0, 1000.0]]), np.array([0]))
    assert loss == -math.log(1e-15)
    loss, grad = q.softmax_cross_entropy(np.array([[math.nan, 1.0]]), targets=np.array([1]))
    assert loss == -math.log(1e-15) and np.isnan(grad).all()


def test_softmax_cross_entropy_empty_batch():
    loss, grad = q.softmax_cross_entropy(np.zeros((0, 3)), np.zeros(0, dtype=np.int64))
    assert math.isnan(loss) and grad.shape == (0, 3)


@pytest.mark.parametrize("rows", [9_999, 10_000, 12_345])
def test_softmax_cross_entropy_loss_summed_in_row_order(rows):
    rng = np.random.default_rng(rows)
    logits = rng.standard_normal((rows, 4)) * 3.0
    targets = rng.integers(0, 4, rows)
    loss, grad = q.softmax_cross_entropy(logits, targets)
    # A one-row call returns that row's loss and its gradient row undivided.
    total = -0.0
    for i in range(0, rows):
        row_loss, row_grad = q.softmax_cross_entropy(logits[i : i + 1], targets[i : i + 1])
        total = total + row_loss
        if i % 499 == 0:
            assert_same(grad[i], row_grad[0] / rows)
    assert loss == total / rows  # summed in row order, never by the parallel grouping


def _sce_errors():
    ok_logits, ok_targets = np.zeros((3, 2)), np.array([0, 1, 1])
    fortran = np.asfortranarray(np.zeros((3, 2)))
    strided_targets = np.array([0, 9, 1, 9, 1, 9])[::2]
    return [
        (fortran, strided_targets, "logits must be C-contiguous"),
        (ok_logits, strided_targets, "targets must be contiguous"),
        (ok_logits, np.array([0, 1, 1, 1])[::-1], "targets must be contiguous"),
        (ok_logits, np.array([0, 5]), "targets length must match logits batch size"),
        (ok_logits, np.array([0, -1, 7]), "target class index out of range for logits.shape[1]"),
        (ok_logits, np.array([0, 1, 2]), "target class index out of range for logits.shape[1]"),
        (np.zeros((1, 0)), np.array([0]), "target class index out of range for logits.shape[1]"),
        (ok_logits, ok_targets[:0], "targets length must match logits batch size"),
    ]


@pytest.mark.parametrize("logits, targets, message", _sce_errors())
def test_softmax_cross_entropy_checks_in_order(logits, targets, message):
    with pytest.raises(ValueError) as info:
        q.softmax_cross_entropy(logits, targets)
    assert str(info.value) == message


def test_softmax_cross_entropy_refuses_int32_targets():
    with pytest.raises(TypeError, match=r"^argument 'targets': "):
        q.softmax_cross_entropy(np.zeros((1, 2)), np.array([0], dtype=np.int32))


# --- one_hot -------------------------------------------------------------------

def test_one_hot_examples():
    out = q.one_hot(np.array([2, 0]), 3)
    assert out.dtype == np.float64
    assert_same(out, [[0.0, 0.0, 1.0], [1.0, 0.0, 0.0]])
    assert q.one_hot(np.zeros(0, dtype=np.int64), 5).shape == (0, 5)
    idx = np.random.default_rng(1).integers(0, 10, 1000)
    assert_same(q.one_hot(idx, num_classes=10), np.eye(10)[idx])


@pytest.mark.parametrize(
    "indices, classes, message",
    [
        (np.array([0, 3]), 3, "class index out of range for num_classes"),
        (np.array([-1]), 3, "class index out of range for num_classes"),
        (np.array([0]), 0, "class index out of range for num_classes"),
        (np.array([-2]), 2**64 - 1, "class index out of range for num_classes"),
        (np.where(np.arange(3000) == 2500, 7, 0), 5, "class index out of range for num_classes"),
        (np.where(np.arange(2051) == 1027, 5, 0), 5, "class index out of range for num_classes"),
        (np.where(np.arange(1003) == 1002, -3, 0), 5, "class index out of range for num_classes"),
        (np.array([2**63 - 1]), 2**64 - 1, "one_hot result too large: 1 x 18446744073709551615 elements"),
        (np.array([0, 5, 1, 5])[::2], 3, "indices must be contiguous"),
        (np.array([1, 2]), 2**62, "one_hot result too large: 2 x 4611686018427387904 elements"),
        (np.zeros(0, dtype=np.int64), 2**63, "one_hot result too large: 0 x 9223372036854775808 elements"),
    ],
)
def test_one_hot_errors(indices, classes, message):
    with pytest.raises(ValueError) as info:
        q.one_hot(indices, classes)
    assert str(info.value) == message


def test_one_hot_result_beyond_memory_raises_memory_error():
    with pytest.raises(MemoryError):
        q.one_hot(np.zeros(1_000_000, dtype=np.int64), 10**9)


def test_one_hot_negative_class_count_is_a_conversion_error():
    with pytest.raises(OverflowError):
        q.one_hot(np.array([0]), -1)


# --- pair losses -------------------------------------------------------------------

# Predictions at and beyond the clamps, then random ones; targets 0 or 1.
EDGES = [0.0, 1.0, 1e-20, 1.0 - 1e-17, 0.5, 1e-15, -0.3, 1.7]


def _pairs(n, seed):
    rng = np.random.default_rng(seed)
    p = rng.random(n)
    p[: len(EDGES)] = EDGES[:n]
    return p, (rng.random(n) < 0.5).astype(np.float64)


@pytest.mark.parametrize("name", LOSSES)
def test_pair_loss_terms_match_the_formula(name):
    p, y = _pairs(400, 11)
    y[-50:] = np.random.default_rng(2).standard_normal(50)  # targets are not validated
    assert_one_of(single_terms(name, p, y), [term_candidates(name, a, b) for a, b in zip(p.tolist(), y.tolist())])


# Beyond the clamps and the ends of the double range, scattered over the
# array by a stride prime to the row of terms the sum works through.
SPECIALS = [math.inf, -math.inf, 5e-324, -0.0, 1e300, 2.2250738585072014e-308]


@pytest.mark.parametrize("name", LOSSES)
@pytest.mark.parametrize("n", [1, 17, 319, 320, 5_000, 9_999])
@pytest.mark.parametrize("nan", [False, True])
def test_pair_losses_sum_in_index_order_below_the_threshold(name, n, nan):
    p, y = _pairs(n, n)
    p[3::7] = np.resize(SPECIALS, len(p[3::7]))
    if nan:
        p[n * 2 // 3] = math.nan
    got = getattr(q, name)(p, y)
    want = sequential(name, single_terms(name, p, y))
    assert bits(got) == bits(want), (got, want)  # the sign of a NaN too
    assert bits(getattr(q, name)(views(p)["reversed"], views(y)["reversed"])) == bits(got)
    if name not in LOG_LOSSES:
        assert_same([got], [ref_loss(name, p, y)])


@pytest.mark.parametrize("name", LOSSES)
@pytest.mark.parametrize("layout", ["every_other", "reversed", "step_minus_3"])
def test_pair_losses_read_strided_views(name, layout):
    p, y = _pairs(10_000, 4)
    # Strided input is always summed sequentially, even from 10 000 elements.
    got = getattr(q, name)(views(p)[layout], views(y)[layout])
    assert_same([got], [sequential(name, single_terms(name, p, y))])


@pytest.mark.parametrize("name", LOSSES)
def test_pair_losses_parallel_sum_is_close_and_repeatable(name):
    p, y = _pairs(200_000, 6)
    fn = getattr(q, name)
    got = fn(p, y)
    assert got == fn(p, y)
    assert math.isclose(got, ref_loss(name, p, y), rel_tol=1e-12)


@pytest.mark.parametrize("name", LOSSES)
# From the threshold on; leaves of 4 095 and 4 096 terms, and 4 096 beside 2 049.
@pytest.mark.parametrize("n", [10_000, 10_001, 16_380, 16_384, 16_385, 65_543, 131_101])
def test_pair_losses_parallel_sum_has_the_fixed_grouping(name, n):
    p, y = _pairs(n, n)
    got = getattr(q, name)(p, y)
    assert_same([got], [finish(name, fixed_tree_sum(single_terms(name, p, y)), n)])


@pytest.mark.parametrize("n", [9_999, 10_000, 65_543])
def test_pair_loss_sums_start_from_negative_zero(n):
    # Every term is -(log(p) * -0.0) = -0.0: so is the sum, in every lane.
    assert math.copysign(1.0, q.categorical_cross_entropy(np.full(n, 0.5), np.full(n, -0.0))) == -1.0


def test_pair_loss_examples():
    p, y = np.array([1.0, 2.0]), np.array([1.0, 4.0])
    assert q.mse_loss(p, y) == 2.0
    assert q.mae_loss(predictions=p, targets=y) == 1.0
    assert math.isclose(q.bce_loss(np.array([0.0]), np.array([1.0])), 34.538776394910684)
    assert math.isfinite(q.bce_loss(np.array([1.0]), np.array([0.0])))
    assert math.isnan(q.bce_loss(np.array([math.nan]), np.array([1.0])))
    assert q.categorical_cross_entropy(np.array([0.5, 0.5]), np.array([1.0, 0.0])) == math.log(2.0) / 2.0


@pytest.mark.parametrize("name", LOSSES)
def test_pair_losses_propagate_nan(name):
    p, y = np.array([0.5, math.nan, 0.5]), np.array([1.0, 0.0, 1.0])
    assert math.isnan(getattr(q, name)(p, y))
    assert math.isnan(getattr(q, name)(y, p))


@pytest.mark.parametrize("name", LOSSES)
@pytest.mark.parametrize("p, y", [(np.zeros(0), np.zeros(0)), (np.zeros(3), np.zeros(4)), (np.zeros(4), np.zeros(0))])
def test_pair_losses_length_error(name, p, y):
    with pytest.raises(ValueError, match=r"^Predictions and targets must have matching non-zero lengths\.$"):
        getattr(q, name)(p, y)


DOCS = {
    "softmax": "Row-wise softmax over a (batch, classes) matrix. Numerically stable —\n"
               "subtracts the row max before exponentiating, which a naive\n"
               "`exp(x) / sum(exp(x))` implementation typically skips and then overflows\n"
               "on any reasonably large logit.",
    "softmax_cross_entropy": "Fused softmax + cross-entropy: computes the mean loss AND the gradient\n"
                             "w.r.t. the logits in a single pass, ready to backprop directly. This is\n"
                             "exactly what PyTorch's `F.cross_entropy` does internally — computing\n"
                             "softmax and cross-entropy as separate steps in Python is both slower\n"
                             "(two full passes over the data) and less numerically stable (you'd be\n"
                             "taking log() of an already-exponentiated, already-normalized value).\n"
                             "`targets` is class indices (like PyTorch), not one-hot vectors.",
    "one_hot": "One-hot encode class indices into a (n, num_classes) float matrix.",
    "bce_loss": "Binary Cross Entropy (BCE) Loss: L = -(1/N) * sum(y_true*log(y_pred) + (1-y_true)*log(1-y_pred))",
    "mae_loss": "Mean Absolute Error (MAE / L1) Loss: L = (1/N) * sum(|y_pred - y_true|)",
    "mse_loss": None,
    "categorical_cross_entropy": None,
}
SIGNATURES = {"softmax": "(x)", "softmax_cross_entropy": "(logits, targets)", "one_hot": "(indices, num_classes)"}


@pytest.mark.parametrize("name", list(DOCS))
def test_signature_and_doc(name):
    fn = getattr(q, name)
    assert fn.__text_signature__ == SIGNATURES.get(name, "(predictions, targets)")
    assert fn.__doc__ == DOCS[name]


def test_inputs_are_never_written():
    x = np.random.default_rng(2).standard_normal((20, 3))
    t = np.array([0, 1, 2] * 6 + [0, 1])
    keep_x, keep_t = x.copy(), t.copy()
    q.softmax(x)
    q.softmax_cross_entropy(x, t)
    q.mse_loss(x[:, 0], x[:, 1])
    assert_same(x, keep_x)
    assert (t == keep_t).all()
