"""Optimizer steps, gradient clipping and dropout."""
import math

import numpy as np
import pytest

import quorvane as q
from dl_helpers import assert_same, fixed_tree_sum


def powi(b, t):
    """b ** t by square-and-multiply over the bits of |t|, low to high."""
    e = abs(t)
    r = b if e & 1 else 1.0
    e >>= 1
    while e:
        b = b * b
        if e & 1:
            r = r * b
        e >>= 1
    if t >= 0:
        return r
    return 1.0 / r if r != 0.0 else math.copysign(math.inf, r)


def sqrt(v):
    """The correctly rounded square root; NaN below zero, as in C."""
    return math.sqrt(v) if not v < 0.0 else math.nan


def ref_sgd(params, grads, velocity, lr, momentum):
    p, v = params.tolist(), velocity.tolist()
    for i, g in enumerate(grads.tolist()):
        v[i] = (momentum * v[i]) + g
        p[i] = p[i] - (v[i] * lr)
    return p, v


def ref_adam(params, grads, m, v, lr=0.001, beta1=0.9, beta2=0.999, eps=1e-8, t=1):
    bc1, bc2 = 1.0 - powi(beta1, t), 1.0 - powi(beta2, t)
    p, m, v = params.tolist(), m.tolist(), v.tolist()
    for i, g in enumerate(grads.tolist()):
        m[i] = ((1.0 - beta1) * g) + (m[i] * beta1)
        v[i] = (((1.0 - beta2) * g) * g) + (v[i] * beta2)
        mhat, vhat = m[i] / bc1, v[i] / bc2
        p[i] = p[i] - ((mhat * lr) / (sqrt(vhat) + eps))
    return p, m, v


def vectors(n, k, seed):
    rng = np.random.default_rng(seed)
    return [rng.standard_normal(n) for _ in range(k)]


# --- sgd_momentum_step ---------------------------------------------------------

def test_sgd_example_twice():
    p, g, v = np.array([1.0]), np.array([0.5]), np.array([0.0])
    assert q.sgd_momentum_step(p, g, v, 0.1, 0.9) is None
    assert_same(v, [0.5])
    assert_same(p, [0.95])
    q.sgd_momentum_step(p, g, v, lr=0.1, momentum=0.9)
    assert_same(v, [0.95])
    assert_same(p, [0.855])


@pytest.mark.parametrize("n", [0, 1, 17, 9_999, 10_000, 10_001])
def test_sgd_matches_the_formula(n):
    p, g, v = vectors(n, 3, n)
    v[:3] = [math.nan, math.inf, -0.0][: min(3, n)]
    want_p, want_v = ref_sgd(p, g, v, 0.05, 0.8)
    q.sgd_momentum_step(p, g, v, 0.05, 0.8)
    assert_same(p, want_p)
    assert_same(v, want_v)


# --- adam_step -------------------------------------------------------------------

def test_adam_example():
    p, g, m, v = np.array([1.0]), np.array([0.5]), np.array([0.0]), np.array([0.0])
    assert q.adam_step(p, g, m, v) is None
    assert math.isclose(m[0], 0.05) and math.isclose(v[0], 0.00025)
    assert math.isclose(p[0], 1.0 - 0.001 * 0.5 / (0.5 + 1e-8), rel_tol=1e-15)


@pytest.mark.parametrize("n", [0, 1, 33, 9_999, 10_000])
@pytest.mark.parametrize(
    "hyper",
    [{}, {"t": 7}, {"t": -1}, {"t": 2**31 - 1}, {"t": -(2**31)}, {"lr": 0.1, "beta1": 0.5, "beta2": 0.75, "eps": 0.0,
                                                                    "t": 3}],
    ids=["defaults", "t7", "t-1", "tmax", "tmin", "custom"],
)
def test_adam_matches_the_formula(n, hyper):
    p, g, m, v = vectors(n, 4, n + 1)
    v = np.abs(v)
    want = ref_adam(p, g, m, v, **hyper)
    q.adam_step(p, g, m, v, **hyper)
    for got, w in zip((p, m, v), want):
        assert_same(got, w)


def test_adam_t_zero_gives_nan_and_t_range_is_checked():
    p, g, m, v = vectors(5, 4, 9)
    q.adam_step(p, g, m, np.abs(v), t=0)
    assert np.isnan(p).all()
    with pytest.raises(OverflowError):
        q.adam_step(p, g, m, v, t=2**31)


def test_adam_negative_t_uses_reciprocal_powers():
    assert powi(0.9, -1) == 1.0 / 0.9
    p, g, m, v = vectors(3, 4, 10)
    v = np.abs(v)
    want = ref_adam(p, g, m, v, t=-1)
    q.adam_step(p, g, m, v, t=-1)
    assert_same(p, want[0])


# --- checks -----------------------------------------------------------------------

def _check_cases():
    def good(n=3):
        return np.zeros(n)

    def strided():
        return np.zeros(6)[::2]

    def sgd(*arrays):
        return q.sgd_momentum_step, arrays + (0.1, 0.9)

    def adam(*arrays):
        return q.adam_step, arrays

    sgd_length = "params, grads, and velocity must be the same length"
    adam_length = "params, grads, m, and v must be the same length"
    return [
        (sgd(strided(), strided(), strided()), "grads must be contiguous"),
        (sgd(strided(), good(), strided()), "params must be contiguous"),
        (sgd(good(), good(), good()[::-1]), "velocity must be contiguous"),
        (sgd(good(), good(4), strided()), "velocity must be contiguous"),
        (sgd(good(), good(4), good()), sgd_length),
        (sgd(good(), good(), good(2)), sgd_length),
        (adam(strided(), strided(), good(), good()), "grads must be contiguous"),
        (adam(strided(), good(), strided(), strided()), "params must be contiguous"),
        (adam(good(), good(), strided(), strided()), "m must be contiguous"),
        (adam(good(), good(), good(), good()[::-1]), "v must be contiguous"),
        (adam(good(), good(), good(), good(5)), adam_length),
        (adam(good(0), good(), good(), good()), adam_length),
    ]


@pytest.mark.parametrize("case, message", _check_cases())
def test_steps_check_in_order_and_write_nothing(case, message):
    fn, args = case
    arrays = [a for a in args if isinstance(a, np.ndarray)]
    for a in arrays:
        a[...] = 1.5
    before = [a.copy() for a in arrays]
    with pytest.raises(ValueError) as info:
        fn(*args)
    assert str(info.value) == message
    for a, b in zip(arrays, before):
        assert_same(a, b)


def test_adam_binding_lists_missing_arguments():
    with pytest.raises(TypeError, match=r"^adam_step\(\) missing 2 required positional arguments: 'm' and 'v'$"):
        q.adam_step(np.zeros(1), np.zeros(1))


# --- aliasing ---------------------------------------------------------------------

_ALIAS_CASES = {
    "sgd_same_params_grads": (lambda a: q.sgd_momentum_step(a, a, np.zeros(4), 0.1, 0.9),
                              r"sgd_momentum_step\(\): 'params' and 'grads' share memory"),
    "sgd_overlapping_views": (lambda a: q.sgd_momentum_step(a[:4], np.zeros(4), a[2:6], 0.1, 0.9),
                              r"sgd_momentum_step\(\): 'params' and 'velocity' share memory"),
    "adam_same_m_v": (lambda a: q.adam_step(np.zeros(4), np.zeros(4), a[:4], a[:4]),
                      r"adam_step\(\): 'm' and 'v' share memory"),
    "adam_params_is_grads_view": (lambda a: q.adam_step(a[:4], a[::2][:4], np.zeros(4), np.zeros(4)),
                                  r"adam_step\(\): 'params' and 'grads' share memory"),
    "clip_read_only": (lambda a: q.clip_grad_norm(_read_only(a)[:4], 0.5), r"argument 'grads': array is read-only"),
    "sgd_read_only_velocity": (lambda a: q.sgd_momentum_step(np.zeros(4), np.zeros(4), _read_only(a)[:4], 0.1, 0.9),
                               r"argument 'velocity': array is read-only"),
}


def _read_only(a):
    a.flags.writeable = False
    return a


@pytest.mark.parametrize("call, message", _ALIAS_CASES.values(), ids=_ALIAS_CASES.keys())
def test_aliased_or_read_only_arrays_are_refused_untouched(call, message):
    a = np.arange(8.0) + 1.0
    keep = a.copy()
    with pytest.raises(ValueError, match=f"^{message}$"):
        call(a)
    assert_same(a, keep)
    # The refusal leaves no borrow behind: the same arrays work afterwards.
    b = np.arange(4.0)
    q.sgd_momentum_step(b, np.ones(4), np.zeros(4), 1.0, 0.0)
    assert_same(b, [-1.0, 0.0, 1.0, 2.0])


# --- clip_grad_norm -------------------------------------------------------------

@pytest.mark.parametrize(
    "grads, max_norm, norm, after",
    [
        ([3.0, 4.0], 10.0, 5.0, [3.0, 4.0]),
        ([3.0, 4.0], 1.0, 5.0, [3.0 * (1.0 / 5.0), 4.0 * (1.0 / 5.0)]),
        ([3.0, 4.0], 5.0, 5.0, [3.0, 4.0]),
        ([0.0, -0.0], 0.0, 0.0, [0.0, -0.0]),
        ([3.0, 4.0], 0.0, 5.0, [0.0, 0.0]),
        ([3.0, 4.0], -1.0, 5.0, [3.0 * (-1.0 / 5.0), 4.0 * (-1.0 / 5.0)]),
        ([3.0, 4.0], math.nan, 5.0, [3.0, 4.0]),
        ([3.0, math.nan], 1.0, math.nan, [3.0, math.nan]),
        ([math.inf, 1.0], 1.0, math.inf, [math.nan, 0.0]),
    ],
)
def test_clip_examples(grads, max_norm, norm, after):
    g = np.array(grads)
    assert_same([q.clip_grad_norm(g, max_norm)], [norm])
    assert_same(g, after)


def test_clip_empty_returns_negative_zero():
    got = q.clip_grad_norm(np.zeros(0), 1.0)
    assert got == 0.0 and math.copysign(1.0, got) == -1.0


@pytest.mark.parametrize("n", [9_999, 10_000, 100_000])
def test_clip_norm_and_scaling(n):
    (g,) = vectors(n, 1, n)
    acc = -0.0
    for v in g.tolist():
        acc = (v * v) + acc
    want_norm = math.sqrt(acc)
    keep = g.copy()
    norm = q.clip_grad_norm(g, 2.0)
    if n < 10_000:
        assert norm == want_norm
    else:
        assert math.isclose(norm, want_norm, rel_tol=1e-13)
        assert norm == q.clip_grad_norm(keep.copy(), 2.0)  # the grouping is fixed
    assert_same(g, keep * (2.0 / norm))


# Uneven leaf lengths, most of them not a multiple of the 32 lanes; leaves of
# 4 095 and 4 096 terms, and 4 096 beside 2 049.
@pytest.mark.parametrize("n", [10_000, 16_380, 16_384, 16_385, 40_961, 65_536 + 7, 300_007])
def test_clip_parallel_norm_has_the_fixed_grouping(n):
    (g,) = vectors(n, 1, n + 1)
    assert q.clip_grad_norm(g, math.inf) == math.sqrt(fixed_tree_sum([v * v for v in g.tolist()]))


def test_clip_refuses_non_contiguous():
    g = np.arange(6.0)
    with pytest.raises(ValueError, match=r"^grads must be contiguous$"):
        q.clip_grad_norm(g[::2], 0.5)
    assert_same(g, np.arange(6.0))


DOCS = {
    "sgd_momentum_step": ("(params, grads, velocity, lr, momentum)", None),
    "adam_step": ("(params, grads, m, v, lr=0.001, beta1=0.9, beta2=0.999, eps=1e-8, t=1)",
                  "Adam optimizer step. `m` and `v` are the first/second moment buffers\n"
                  "the caller owns and passes back in each step; `t` is the 1-indexed\n"
                  "timestep, used for bias correction."),
    "clip_grad_norm": ("(grads, max_norm)",
                       "Clips gradients in place by global L2 norm (matches\n"
                       "torch.nn.utils.clip_grad_norm_ semantics) and returns the pre-clip norm,\n"
                       "useful for logging/debugging exploding gradients."),
}


@pytest.mark.parametrize("name", list(DOCS))
def test_signature_and_doc(name):
    fn = getattr(q, name)
    sig, doc = DOCS[name]
    assert fn.__text_signature__ == sig
    assert fn.__doc__ == doc


# --- dropout -------------------------------------------------------------------

needs_dropout = pytest.mark.skipif(not hasattr(q, "dropout"), reason="dropout waits for the random sources")


@needs_dropout
def test_dropout_seeded_is_reproducible_and_masks_by_scaling():
    x = np.random.default_rng(3).standard_normal(20_000)
    a = q.dropout(x, 0.5, seed=42)
    assert_same(a, q.dropout(x, p=0.5, seed=42))
    kept = a != 0.0
    assert_same(a[kept], x[kept] * 2.0)
    assert 0.48 < kept.mean() < 0.52
    assert not np.array_equal(a, q.dropout(x, 0.5, seed=43))


@needs_dropout
def test_dropout_draws_one_unit_float_per_element_in_index_order():
    x = np.arange(1.0, 5_001.0)
    long = q.dropout(x, 0.3, seed=7)
    assert_same(q.dropout(x[:777], 0.3, seed=7), long[:777])
    assert_same(q.dropout(x * 3.0, 0.3, seed=7) != 0.0, long != 0.0)  # the mask does not depend on the values


@needs_dropout
@pytest.mark.parametrize("p", [0.1, 0.25, 0.9])
@pytest.mark.parametrize("seed", [5, None])
def test_dropout_keeps_with_probability_one_minus_p(p, seed):
    x = np.full(200_000, 1.5)
    out = q.dropout(x, p, seed)
    kept = out != 0.0
    assert abs(kept.mean() - (1.0 - p)) < 0.01
    assert (out[kept] == 1.5 * (1.0 / (1.0 - p))).all()
    assert (np.signbit(out[~kept]) == False).all()  # noqa: E712 - dropped elements are +0.0


@needs_dropout
@pytest.mark.parametrize("seed", [0, None])
def test_dropout_p_zero_copies_every_element(seed):
    x = np.array([-0.0, 0.0, math.nan, math.inf, -2.5, 5e-324] * 50)
    assert_same(q.dropout(x, 0.0, seed=seed), x)


@needs_dropout
def test_dropout_unseeded_masks_differ_and_small_inputs_work():
    x = np.ones(2_000)
    a, b = q.dropout(x, 0.5), q.dropout(x, 0.5, seed=None)
    assert set(np.unique(a)) <= {0.0, 2.0} and set(np.unique(b)) <= {0.0, 2.0}
    assert not np.array_equal(a, b)
    for n in (0, 1, 3):
        out = q.dropout(np.ones(n), 0.5)
        assert out.shape == (n,) and set(out.tolist()) <= {0.0, 2.0}


@needs_dropout
@pytest.mark.parametrize("p", [1.0, -0.1, math.nan, math.inf, -math.inf, 1.5])
def test_dropout_probability_checked_before_layout(p):
    for x in (np.ones(4), np.ones(8)[::2]):
        with pytest.raises(ValueError, match=r"^dropout probability p must be in \[0, 1\)$"):
            q.dropout(x, p, seed=1)


@needs_dropout
def test_dropout_layout_and_seed_conversion():
    for x in (np.ones(4)[::-1], np.ones(8)[::2]):
        with pytest.raises(ValueError, match=r"^input must be contiguous$"):
            q.dropout(x, 0.5)
    assert q.dropout(np.ones(5)[::3][:1], 0.0, seed=1).tolist() == [1.0]  # one element is contiguous
    assert q.dropout(np.ones(3), 0.5, seed=2**64 - 1).shape == (3,)
    with pytest.raises(OverflowError):
        q.dropout(np.ones(3), 0.5, seed=-1)
    with pytest.raises(TypeError, match=r"^argument 'seed': "):
        q.dropout(np.ones(3), 0.5, seed=1.0)


@needs_dropout
def test_dropout_signature_and_doc():
    assert q.dropout.__text_signature__ == "(x, p, seed=None)"
    assert q.dropout.__doc__ == (
        "Inverted dropout: zeroes each element with probability `p` and scales\n"
        "survivors by 1/(1-p), so no rescaling is needed at inference time.\n"
        "Pass `seed` for reproducible masks (e.g. in tests), omit it for a fresh\n"
        "random mask drawn from a thread-local RNG each call.")
