"""Elementwise activations and derivatives: formulas, layouts, paths, errors."""
import math

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

import quorvane as q
from dl_helpers import SPECIAL, assert_one_of, assert_same, bits, exp, own_exp, own_tanh, sample, views, within_steps

GELU_C = 0.7978845608028654


def _sig(v, exp):
    return 1.0 / (exp(-v) + 1.0)


def _gelu(v, tanh):
    u = ((v * v) * v) * 0.044715 + v
    w = u * GELU_C
    return (v * 0.5) * (tanh(w) + 1.0)


def _silu_derivative(v, exp):
    s = _sig(v, exp)
    return ((1.0 - s) * (v * s)) + s


def _sigmoid_derivative(v, exp):
    s = _sig(v, exp)
    return (1.0 - s) * s


def _tanh_derivative(v, tanh):
    t = tanh(v)
    return 1.0 - t * t


# name -> formula(v, alpha, f), in the evaluation order of the documentation;
# f is the one C library function the formula calls (exp or tanh).
FORMULAS = {
    "relu": lambda v, a, f: v if v > 0.0 else 0.0,
    "relu_derivative": lambda v, a, f: 1.0 if v > 0.0 else 0.0,
    "leaky_relu": lambda v, a, f: v if v > 0.0 else a * v,
    "leaky_relu_derivative": lambda v, a, f: 1.0 if v > 0.0 else a,
    "elu": lambda v, a, f: v if v > 0.0 else (f(v) - 1.0) * a,
    "elu_derivative": lambda v, a, f: 1.0 if v > 0.0 else f(v) * a,
    "gelu": lambda v, a, f: _gelu(v, f),
    "silu": lambda v, a, f: v / (f(-v) + 1.0),
    "silu_derivative": lambda v, a, f: _silu_derivative(v, f),
    "sigmoid": lambda v, a, f: _sig(v, f),
    "sigmoid_derivative": lambda v, a, f: _sigmoid_derivative(v, f),
    "tanh": lambda v, a, f: f(v),
    "tanh_derivative": lambda v, a, f: _tanh_derivative(v, f),
}
# The C library function each formula calls, and how many doubles from the C
# library's value our replacement may be: exp stays within one; tanh is
# within one unit of the true value, where the C library's is up to two off.
# A result may be the formula evaluated with any of those values.
LIBM = {"elu": exp, "elu_derivative": exp, "gelu": math.tanh, "silu": exp, "silu_derivative": exp, "sigmoid": exp,
        "sigmoid_derivative": exp, "tanh": math.tanh, "tanh_derivative": math.tanh}
STEPS = {exp: 1, math.tanh: 2}
WITH_ALPHA = {"leaky_relu": 0.01, "leaky_relu_derivative": 0.01, "elu": 1.0, "elu_derivative": 1.0}
NAMES = list(FORMULAS)
DOCS = {
    "leaky_relu": "Leaky ReLU: avoids the \"dead neuron\" problem where a standard ReLU\n"
                  "permanently zeroes out a unit whose input never goes positive again.",
    "elu": "ELU: smooth for x < 0 (unlike Leaky ReLU's hard kink), which can speed\n"
           "up convergence by keeping mean activations closer to zero.",
    "gelu": "GELU (tanh approximation) — the activation used in BERT/GPT-style\n"
            "transformers. Smoother than ReLU everywhere, which matters for\n"
            "transformer training stability.",
    "silu": "Swish / SiLU: x * sigmoid(x). Used in EfficientNet and several modern\n"
            "architectures; unlike ReLU, it's non-monotonic and smooth everywhere.",
}


def call(name, x, alpha=None):
    fn = getattr(q, name)
    return fn(x) if alpha is None else fn(x, alpha)


def expected(name, x, alpha=None):
    """Per element, the results the formula may give."""
    a = WITH_ALPHA.get(name) if alpha is None else alpha
    formula, libm = FORMULAS[name], LIBM.get(name)
    fs = within_steps(libm, STEPS[libm]) if libm in STEPS else [libm]
    return [[formula(v, a, f) for f in fs] for v in np.asarray(x).tolist()]


@pytest.mark.parametrize("name", NAMES)
def test_formula_on_special_and_random_values(name):
    x = sample()
    got = call(name, x)
    assert got.dtype == np.float64 and got.shape == x.shape
    assert got.flags.c_contiguous and got.flags.writeable
    assert_one_of(got, expected(name, x))


@pytest.mark.parametrize("name", list(WITH_ALPHA))
@pytest.mark.parametrize("alpha", [0.1, -2.5, 0.0, math.inf, math.nan, 3])
def test_alpha_used_as_passed(name, alpha):
    x = sample(50)
    assert_one_of(getattr(q, name)(x, alpha=alpha), expected(name, x, float(alpha)))


@pytest.mark.parametrize("name", NAMES)
@pytest.mark.parametrize("layout", ["every_other", "reversed", "step_minus_3"])
@pytest.mark.parametrize("n", [0, 1, 2, 57, 10_000])
def test_strided_views_read_in_place(name, layout, n):
    base = np.random.default_rng(n).standard_normal(n) * 4.0
    view = views(base)[layout]
    before = view.copy()
    got = call(name, view)
    assert_same(got, call(name, base))
    assert_same(view, before)  # the input is never written


@pytest.mark.parametrize("name", NAMES)
@pytest.mark.parametrize("n", [9_999, 10_000, 10_001])
def test_parallel_threshold_gives_the_formula(name, n):
    x = np.random.default_rng(n).standard_normal(n) * 5.0
    x[-len(SPECIAL):] = SPECIAL
    assert_one_of(call(name, x), expected(name, x))


# Sizes on both sides of the vector widths (2, 4, 8 doubles by level) and of
# the groups tanh's formulas take (8 doubles at the baseline, 32 at AVX-512),
# the special values at every position of a block and its remainder: the bits
# of the formula with the module's own exp and tanh written out (a NaN it
# makes is returned as the one canonical NaN).
@pytest.mark.parametrize("name", NAMES)
def test_widths_and_remainders_give_the_bits_of_the_formula(name):
    rng = np.random.default_rng(8)
    own = own_tanh if LIBM.get(name) is math.tanh else own_exp
    for n in (1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65):
        x = rng.standard_normal(n) * 8.0
        specials = [v for v in SPECIAL if not math.isnan(v)] + [19.5, -19.5, 19.500000000000004, 0.0625]
        x[rng.integers(0, n, n // 3)] = rng.choice(specials, n // 3)
        want = [FORMULAS[name](v, WITH_ALPHA.get(name), own) for v in x.tolist()]
        want = [math.nan if math.isnan(v) else v for v in want]
        assert [bits(v) for v in call(name, x).tolist()] == [bits(v) for v in want], n


def test_empty_input():
    for name in NAMES:
        out = call(name, np.array([], dtype=np.float64))
        assert out.shape == (0,) and out.dtype == np.float64


@pytest.mark.parametrize(
    "name, value, want",
    [
        ("relu", -0.0, 0.0), ("relu", math.nan, 0.0), ("relu_derivative", -0.0, 0.0),
        ("relu_derivative", math.nan, 0.0), ("leaky_relu", math.nan, math.nan), ("leaky_relu_derivative", 0.0, 0.01),
        ("leaky_relu_derivative", math.nan, 0.01), ("elu", 0.0, 0.0), ("elu", -math.inf, -1.0),
        ("elu_derivative", 0.0, 1.0), ("gelu", 0.0, 0.0), ("gelu", math.inf, math.inf), ("gelu", -math.inf, math.nan),
        ("sigmoid", -1000.0, 0.0), ("sigmoid", 0.0, 0.5), ("sigmoid_derivative", 0.0, 0.25),
        ("silu", -math.inf, math.nan), ("silu", -1000.0, -0.0), ("tanh_derivative", 0.0, 1.0),
        ("tanh_derivative", math.inf, 0.0), ("tanh_derivative", -math.inf, 0.0),
    ],
)
def test_documented_edge_values(name, value, want):
    assert_same(call(name, np.array([value])), [want])


def test_leaky_relu_alpha_keyword():
    assert_same(q.leaky_relu(np.array([-2.0]), alpha=0.1), [-0.2])
    assert_one_of(q.elu(x=np.array([-1.0]), alpha=1), expected("elu", [-1.0], 1.0))


@pytest.mark.parametrize("name", NAMES)
def test_signature_and_doc(name):
    fn = getattr(q, name)
    params = "(x, alpha=%r)" % WITH_ALPHA[name] if name in WITH_ALPHA else "(x)"
    assert fn.__text_signature__ == params
    assert fn.__doc__ == DOCS.get(name)


@pytest.mark.parametrize(
    "bad, message",
    [
        ([1.0, 2.0], "argument 'x': 'list' object cannot be converted to 'PyArray<T, D>'"),
        (np.zeros(3, dtype=np.float32), "argument 'x': 'ndarray' object cannot be converted to 'PyArray<T, D>'"),
        (np.zeros((2, 2)), "argument 'x': 'ndarray' object cannot be converted to 'PyArray<T, D>'"),
        (np.zeros(3, dtype=np.int64), "argument 'x': 'ndarray' object cannot be converted to 'PyArray<T, D>'"),
    ],
)
@pytest.mark.parametrize("name", ["relu", "gelu", "leaky_relu"])
def test_refused_inputs(name, bad, message):
    with pytest.raises(TypeError) as info:
        getattr(q, name)(bad)
    assert str(info.value) == message


def test_binding_errors():
    with pytest.raises(TypeError, match=r"^leaky_relu\(\) missing 1 required positional argument: 'x'$"):
        q.leaky_relu()
    with pytest.raises(TypeError, match=r"^elu\(\) takes from 1 to 2 positional arguments but 3 were given$"):
        q.elu(np.zeros(1), 1.0, 2.0)
    with pytest.raises(TypeError, match=r"^argument 'alpha': "):
        q.leaky_relu(np.zeros(1), "0.1")


def test_read_only_input_is_accepted():
    x = np.array([-1.0, 2.0])
    x.flags.writeable = False
    assert_same(q.relu(x), [0.0, 2.0])


@settings(max_examples=60, deadline=None)
@given(
    x=hnp.arrays(np.float64, st.integers(0, 40), elements=st.floats(allow_nan=True, allow_infinity=True)),
    step=st.sampled_from([1, 2, -1, -3]),
    name=st.sampled_from(NAMES),
)
def test_any_values_any_step(x, step, name):
    view = np.repeat(x, abs(step))[::step]  # len(x) elements, `step` apart
    assert_one_of(call(name, view), expected(name, view))
