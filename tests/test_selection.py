"""kth_smallest, top_k, median, binary_search and dedup."""
import bisect
import heapq
import math
import statistics

import pytest
from hypothesis import assume, given, settings, strategies as st

import quorvane as qv

I64 = st.integers(-(2**63), 2**63 - 1)
VALUES = st.lists(I64) | st.lists(st.integers(-5, 5), max_size=200)


@given(values=VALUES, data=st.data())
@settings(max_examples=150)
def test_kth_smallest_is_the_sorted_element(values, data):
    assume(values)
    k = data.draw(st.integers(1, len(values)))
    before = list(values)
    assert qv.kth_smallest(values, k) == sorted(values)[k - 1]
    assert values == before


@pytest.mark.parametrize("values, k", [([5, 1, 4], 0), ([5, 1, 4], 4), ([], 1), ([], 0)])
def test_kth_smallest_out_of_range(values, k):
    with pytest.raises(IndexError, match="^k out of range$"):
        qv.kth_smallest(values, k)


def test_kth_smallest_examples_and_negative_k():
    assert qv.kth_smallest([5, 1, 4], 1) == 1
    assert qv.kth_smallest([5, 1, 4], 3) == 5
    assert qv.kth_smallest([9] * 1000, 500) == 9
    with pytest.raises(OverflowError):
        qv.kth_smallest([1, 2], -1)


@given(values=VALUES, k=st.integers(0, 300))
@settings(max_examples=150)
def test_top_k_is_heapq_nlargest(values, k):
    before = list(values)
    assert qv.top_k(values, k) == heapq.nlargest(k, values)
    assert values == before


def test_top_k_large_input():
    values = [(i * 7919) % 100_003 - 50_000 for i in range(300_000)]
    assert qv.top_k(values, 100) == heapq.nlargest(100, values)
    assert qv.top_k([3, 1, 2], 5) == [3, 2, 1]
    assert qv.top_k([], 3) == []


FLOATS = st.floats(allow_nan=False, allow_infinity=False, min_value=-1e300, max_value=1e300)


@given(values=st.lists(FLOATS | st.integers(-(2**53), 2**53)))
@settings(max_examples=150)
def test_median_matches_statistics(values):
    got = qv.median(values)
    assert type(got) is float
    if not values:
        assert got == 0.0
        return
    s = sorted(float(x) for x in values)
    n = len(s)
    want = s[n // 2] if n % 2 else (s[n // 2 - 1] + s[n // 2]) * 0.5
    assert got == want
    assert math.isclose(got, statistics.median(s), rel_tol=1e-12, abs_tol=1e-300) or math.isinf(want)


@pytest.mark.parametrize(
    "values, want", [([], 0.0), ([2.0], 2.0), ([1, 3], 2.0), ([3.0, 1.0, 2.0], 2.0), ([float("inf"), 1.0], math.inf)]
)
def test_median_examples(values, want):
    assert qv.median(values) == want


@pytest.mark.parametrize("values", [[1.0, float("nan")], [float("nan"), 2.0, 1.0], [3.0, 1.0, float("nan"), 0.0]])
def test_median_with_nan_is_nan(values):
    assert math.isnan(qv.median(values))


@given(values=st.lists(I64, unique=True).map(sorted), target=I64)
@settings(max_examples=150)
def test_binary_search_agrees_with_bisect(values, target):
    i = bisect.bisect_left(values, target)
    want = i if i < len(values) and values[i] == target else None
    assert qv.binary_search(values, target) == want
    if values:
        assert qv.binary_search(values, values[-1]) == len(values) - 1


@given(values=st.lists(st.integers(-3, 3)).map(sorted), target=st.integers(-4, 4))
def test_binary_search_with_duplicates_finds_an_equal_element(values, target):
    got = qv.binary_search(values, target)
    if target in values:
        assert values[got] == target
    else:
        assert got is None


def test_binary_search_examples():
    assert qv.binary_search([1, 3, 5], 1) == 0
    assert qv.binary_search([1, 3, 5], 0) is None
    assert qv.binary_search([], 7) is None
    with pytest.raises(OverflowError):
        qv.binary_search([1], 2**63)


@given(values=VALUES)
@settings(max_examples=150)
def test_dedup_keeps_first_occurrences(values):
    before = list(values)
    assert qv.dedup(values) == list(dict.fromkeys(values))
    assert values == before


def test_dedup_examples():
    assert qv.dedup([3, 1, 3, 2, 1]) == [3, 1, 2]
    assert qv.dedup([]) == []
    values = [(i * 31) % 1000 for i in range(200_000)]
    assert qv.dedup(values) == list(dict.fromkeys(values))
