"""quicksort, mergesort, parallel_sort and quicksort_f64 against sorted()."""
import math
import struct
import sys
import threading

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import quorvane as qv

I64 = st.integers(-(2**63), 2**63 - 1)
INT_SORTS = [qv.quicksort, qv.mergesort, qv.parallel_sort]
ALL_SORTS = INT_SORTS + [qv.quicksort_f64]


@pytest.mark.parametrize("sort", INT_SORTS)
@given(values=st.lists(I64) | st.lists(st.integers(-3, 3), max_size=300))
@settings(max_examples=60)
def test_int_sorts_match_sorted_and_leave_the_input(sort, values):
    before = list(values)
    assert sort(values) == sorted(values)
    assert values == before


@pytest.mark.parametrize("sort", INT_SORTS)
@pytest.mark.parametrize("n", [49_999, 50_000, 50_001, 123_457])
def test_int_sorts_around_the_parallel_threshold(sort, n):
    rng = np.random.default_rng(n)
    values = rng.integers(-(2**63), 2**63 - 1, size=n, dtype=np.int64, endpoint=True).tolist()
    assert sort(values) == sorted(values)


@pytest.mark.parametrize("sort", [qv.quicksort, qv.parallel_sort])
def test_many_duplicates_sort_quickly(sort):
    values = [7, -7] * 100_000
    assert sort(values) == [-7] * 100_000 + [7] * 100_000


@pytest.mark.parametrize("sort", INT_SORTS)
def test_presorted_and_reversed_inputs(sort):
    up = list(range(-60_000, 60_000, 3))
    assert sort(up) == up
    assert sort(up[::-1]) == up


@pytest.mark.parametrize("sort", ALL_SORTS)
@pytest.mark.parametrize("values", [[], [5], (3, 1, 2), range(10, 0, -1)])
def test_small_and_non_list_sequences(sort, values):
    out = sort(values)
    assert type(out) is list
    assert out == sorted(values)


@pytest.mark.parametrize("sort", INT_SORTS)
def test_int64_arrays_and_their_views(sort):
    a = np.array([5, -(2**63), 2**63 - 1, 0, 5, -1], dtype=np.int64)
    assert sort(a) == sorted(a.tolist())
    assert sort(a[::-2]) == sorted(a[::-2].tolist())
    assert a.tolist() == [5, -(2**63), 2**63 - 1, 0, 5, -1]


@pytest.mark.parametrize("dtype", [np.float64, np.int64])
def test_quicksort_f64_arrays_and_their_views(dtype):
    a = (np.random.default_rng(5).standard_normal(70_000) * 1e6).astype(dtype)
    for view in (a, a[::-3]):
        out = qv.quicksort_f64(view)
        assert all(type(x) is float for x in out[:10])
        assert out == sorted(view.astype(np.float64).tolist())


@pytest.mark.parametrize("sort", INT_SORTS)
@pytest.mark.parametrize(
    "bad, exc, text",
    [
        ([1, 2**63], OverflowError, None),
        ([1, 2.0], TypeError, "argument 'arr': "),
        ("321", TypeError, "argument 'arr': Can't extract `str` to `Vec`"),
        (5, TypeError, "argument 'arr': 'int' object cannot be converted to 'Sequence'"),
    ],
)
def test_int_sorts_refuse_bad_input(sort, bad, exc, text):
    with pytest.raises(exc) as info:
        sort(bad)
    if text:
        assert str(info.value).startswith(text)


@given(values=st.lists(st.floats(allow_nan=False) | st.integers(-(2**53), 2**53)))
@settings(max_examples=100)
def test_quicksort_f64_matches_sorted(values):
    out = qv.quicksort_f64(values)
    assert all(type(x) is float for x in out)
    assert out == sorted(float(x) for x in values)


@given(values=st.lists(st.floats(allow_nan=True)))
@settings(max_examples=100)
def test_quicksort_f64_puts_nans_last(values):
    out = qv.quicksort_f64(values)
    plain = [x for x in values if not math.isnan(x)]
    assert out[: len(plain)] == sorted(plain)
    assert all(math.isnan(x) for x in out[len(plain):])
    assert len(out) == len(values)


SPECIAL_FLOATS = [0.0, -0.0, math.inf, -math.inf, math.nan, -math.nan, 5e-324, -5e-324, 2.2250738585072014e-308,
                  1.7976931348623157e308, -1.7976931348623157e308, 1.0, -1.0, 1.5, 3.0,
                  -1.1125369292536007e-308, -2.225073858507201e-308]  # negative subnormals: NaN-like sort keys


def _bits(xs):
    return sorted(struct.pack("<d", x) for x in xs)


@given(
    size=st.sampled_from([254, 255, 256, 257, 258, 300, 1000, 5000]),
    nans=st.integers(0, 3),
    seed=st.integers(0, 2**32 - 1),
    spread=st.sampled_from([1.0, 1e300, 0.0]),
)
@settings(max_examples=60)
def test_quicksort_f64_long_inputs_with_specials(size, nans, seed, spread):
    # Long enough for the radix path, with duplicates, both zeros,
    # infinities, subnormals and NaNs at random places.
    rng = np.random.default_rng(seed)
    values = rng.uniform(-spread, spread, size).tolist()
    for i in rng.integers(0, size, size // 3):
        values[i] = SPECIAL_FLOATS[rng.integers(0, len(SPECIAL_FLOATS))]
    for i in rng.integers(0, size, nans):
        values[i] = math.nan
    before = list(values)
    out = qv.quicksort_f64(values)
    assert [struct.pack("<d", x) for x in values] == [struct.pack("<d", x) for x in before]
    plain = [x for x in values if not math.isnan(x)]
    assert out[: len(plain)] == sorted(plain)
    assert all(math.isnan(x) for x in out[len(plain):])
    assert _bits(out) == _bits(values)  # the very same values, NaN payloads and zero signs included


@pytest.mark.parametrize("size", [17, 100, 255])
@pytest.mark.parametrize("kinds", [1, 2, 3])
def test_quicksort_f64_short_inputs_of_few_values(size, kinds):
    # Below the radix path the comparison sort sees long runs of equal keys.
    values = [float(i % kinds) for i in range(size)][::-1]
    assert qv.quicksort_f64(values) == sorted(values)


def test_quicksort_f64_zeros_compare_equal():
    out = qv.quicksort_f64([0.0, -1.0, -0.0, 1.0])
    assert out[0] == -1.0 and out[3] == 1.0
    assert sorted(math.copysign(1, x) for x in out[1:3]) == [-1, 1]


def test_parallel_sort_runs_beside_other_python_threads():
    values = np.random.default_rng(1).integers(0, 1000, size=200_000).tolist()
    results = []

    def work():
        results.append(qv.parallel_sort(values))

    threads = [threading.Thread(target=work) for _ in range(3)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == [sorted(values)] * 3


class _Index:
    def __init__(self, v):
        self.v = v

    def __index__(self):
        return self.v

    def __float__(self):
        return float(self.v)


# (sort, large values of the exact type, other elements that convert, type of
# the results, a value out of range)
ITEM_CASES = [
    pytest.param(sort, lambda i: 2**40 + i, [True, np.int64(-5), _Index(2**50)], int, 2**63, id=sort.__name__)
    for sort in INT_SORTS
] + [pytest.param(qv.quicksort_f64, lambda i: 0.5 + i, [7, True, np.float64(-5.5), _Index(3)], float, 10**400,
                  id="quicksort_f64")]


@pytest.mark.parametrize("sort, make, others, kind, too_big", ITEM_CASES)
@pytest.mark.parametrize("n", [300, 60_000])
def test_sorts_hand_back_plain_objects_and_keep_reference_counts(sort, make, others, kind, too_big, n):
    # Elements of the exact type come back as the caller's own objects; the
    # others as new plain ints or floats. No reference is lost or leaked, on
    # success or when a late element fails.
    big = [make(i) for i in range(n)]
    mixed = big[::-1] + others
    counts = [sys.getrefcount(x) for x in big]
    out = sort(mixed)
    assert out == sorted(kind(x) for x in mixed)
    assert all(type(x) is kind for x in out)
    assert [sys.getrefcount(x) for x in big] == [c + 1 for c in counts]
    del out
    assert [sys.getrefcount(x) for x in big] == counts
    with pytest.raises(OverflowError):
        sort(big + [too_big])
    with pytest.raises(TypeError):
        sort(big + [object()])
    assert [sys.getrefcount(x) for x in big] == counts
