"""mean, variance, std_dev, dot_product and matmul."""
import math
import statistics

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import quorvane as qv

FLOATS = st.floats(allow_nan=False, allow_infinity=False, min_value=-1e150, max_value=1e150)


def seq_sum(xs):
    s = -0.0
    for x in xs:
        s += x
    return s


def py_variance(xs):
    if not xs:
        return 0.0
    m = seq_sum(xs) / len(xs)
    return seq_sum((x - m) * (x - m) for x in xs) / len(xs)


@given(xs=st.lists(FLOATS | st.integers(-(2**53), 2**53)))
@settings(max_examples=150)
def test_mean_variance_std_dev_bit_for_bit(xs):
    fx = [float(x) for x in xs]
    mean = seq_sum(fx) / len(fx) if fx else 0.0
    assert qv.mean(xs) == mean
    assert qv.variance(xs) == py_variance(fx)
    assert qv.std_dev(xs) == math.sqrt(py_variance(fx))


@given(xs=st.lists(st.floats(-1e6, 1e6), min_size=1, max_size=200))
def test_against_statistics(xs):
    assert math.isclose(qv.mean(xs), statistics.fmean(xs), rel_tol=1e-9, abs_tol=1e-6)
    assert math.isclose(qv.variance(xs), statistics.pvariance(xs), rel_tol=1e-6, abs_tol=1e-6)
    assert math.isclose(qv.std_dev(xs), statistics.pstdev(xs), rel_tol=1e-6, abs_tol=1e-6)


def test_examples():
    assert qv.mean([]) == qv.variance([]) == qv.std_dev([]) == 0.0
    assert qv.mean([1, 2, 3, 4]) == 2.5
    assert qv.variance([1, 2, 3, 4]) == 1.25
    assert qv.std_dev([2, 4, 4, 4, 5, 5, 7, 9]) == 2.0
    assert qv.variance([5.0]) == 0.0
    assert qv.mean(np.array([1.0, 2.0])) == 1.5
    assert qv.mean((1, 2.5)) == 1.75
    assert math.isnan(qv.mean([1.0, float("nan")]))


@pytest.mark.parametrize("fn", [qv.mean, qv.variance, qv.std_dev])
def test_str_is_refused(fn):
    with pytest.raises(TypeError, match="^argument 'arr': Can't extract `str` to `Vec`$"):
        fn("123")


@given(data=st.data(), n=st.integers(0, 50))
def test_dot_product_sequential_sum(data, n):
    a = data.draw(st.lists(FLOATS, min_size=n, max_size=n))
    b = data.draw(st.lists(FLOATS, min_size=n, max_size=n))
    assert qv.dot_product(a, b) == seq_sum(x * y for x, y in zip(a, b))


def test_dot_product_examples():
    assert qv.dot_product([1, 2, 3], [4, 5, 6]) == 32.0
    empty = qv.dot_product([], [])
    assert empty == 0.0 and math.copysign(1, empty) == -1
    with pytest.raises(ValueError, match="^vectors must be same length$"):
        qv.dot_product([1], [1, 2])
    with pytest.raises(TypeError, match="^argument 'b': "):
        qv.dot_product([1], ["x"])


def py_matmul(a, b):
    m = len(b[0])
    out = [[0.0] * m for _ in a]
    for t, row in enumerate(a):
        for p in range(len(b)):
            v = float(row[p])
            if v == 0.0:
                continue
            for c in range(m):
                out[t][c] = float(b[p][c]) * v + out[t][c]
    return out


@given(data=st.data(), n=st.integers(1, 6), k=st.integers(1, 6), m=st.integers(0, 6))
@settings(max_examples=100)
def test_matmul_matches_the_row_loop(data, n, k, m):
    cell = st.floats(-1e6, 1e6) | st.just(0.0)
    a = [data.draw(st.lists(cell, min_size=k, max_size=k)) for _ in range(n)]
    b = [data.draw(st.lists(cell, min_size=m, max_size=m)) for _ in range(k)]
    assert qv.matmul(a, b) == py_matmul(a, b)


@pytest.mark.parametrize("m", [1, 7, 8, 9, 17, 31, 32, 33, 65])
def test_matmul_around_the_vector_widths(m):
    """m columns of the result around the vectors of every level; a row of a
    longer than b's count of rows, a row of b longer than m, zeros of a that
    skip a row of b, and a row of b of negative zeros."""
    rng = np.random.default_rng(m)
    a = rng.normal(size=(3, 5)).tolist()
    a[1] += [7.0]
    a[2][1:3] = [0.0, -0.0]
    b = rng.normal(size=(4, m)).tolist() + [[-0.0] * m]
    b[2] += [1.0, 2.0]
    got, want = qv.matmul(a, b), py_matmul(a, b)
    assert np.array(got).tobytes() == np.array(want).tobytes()


def test_matmul_examples():
    assert qv.matmul([[1, 2], [3, 4]], [[5, 6], [7, 8]]) == [[19.0, 22.0], [43.0, 50.0]]
    assert qv.matmul([[0.0]], [[float("inf")]]) == [[0.0]]
    assert qv.matmul([[1]], [[]]) == [[]]
    assert qv.matmul([[1, 2], [3, 4, 99]], [[1], [2]]) == [[5.0], [11.0]]  # later rows read up to len(b)
    # a short row of b that only meets zeros of a is never read
    assert qv.matmul([[1, 0], [2, 0.0]], [[1, 2], [3]]) == [[1.0, 2.0], [2.0, 4.0]]


@pytest.mark.parametrize(
    "a, b",
    [([[1, 2]], [[1, 2]]), ([], [[1]]), ([[1]], []), ([[1, 2], [3]], [[1], [2]]), ([[1, 2]], [[1, 2], [3]])],
)
def test_matmul_refuses_incompatible_and_ragged(a, b):
    with pytest.raises(ValueError, match="^incompatible matrix dimensions"):
        qv.matmul(a, b)
