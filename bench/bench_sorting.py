"""Sorting, selection, search and dedup against sorted(), NumPy, heapq and dict."""
import heapq
import random
import statistics

import numpy as np

import quorvane as qv
from harness import compare, header

N = 1_000_000


def _ints(n, seed, lo=-(2**62), hi=2**62):
    rnd = random.Random(seed)
    return [rnd.randint(lo, hi) for _ in range(n)]


def run():
    ints = _ints(N, 1)
    small = _ints(N, 3, -(10**9), 10**9)  # single-digit ints: sorted()'s fast path
    rnd = random.Random(2)
    floats = [rnd.uniform(-1e9, 1e9) for _ in range(N)]
    arr = np.array(ints, dtype=np.int64)

    header("conversions (1 000 000 elements)")
    compare("int list in (binary_search)", lambda: qv.binary_search(ints, 0), lambda: np.array(ints), None,
            "np.array(lst)")
    compare("int64 array in (binary_search)", lambda: qv.binary_search(arr, 0), lambda: arr.copy(), None,
            "arr.copy()")
    compare("float list in (mean)", lambda: qv.mean(floats), lambda: np.array(floats), None, "np.array(lst)")
    ordered = sorted(ints)  # its int objects lie scattered in memory
    compare("sorted int list in (binary_search)", lambda: qv.binary_search(ordered, 0), lambda: np.array(ordered),
            None, "np.array(lst)")
    sorted_arr = np.sort(arr)
    compare("int list out (quicksort of a sorted array)", lambda: qv.quicksort(sorted_arr),
            lambda: sorted_arr.tolist(), None, "arr.tolist()")

    header("sorting (1 000 000 random int64)")
    np_route = lambda: np.sort(np.array(ints)).tolist()  # noqa: E731
    for name in ("quicksort", "mergesort", "parallel_sort"):
        fn = getattr(qv, name)
        compare(f"{name}", lambda fn=fn: fn(ints), lambda: sorted(ints), 5, "sorted(lst)")
        compare(f"{name}", lambda fn=fn: fn(ints), np_route, 1.0, "np.sort(np.array(lst)).tolist()")
    compare("parallel_sort", lambda: qv.parallel_sort(ints), lambda: qv.quicksort(ints), 1.4, "quicksort")

    header("sorting (1 000 000 random ints in [-10^9, 10^9])")
    for name in ("quicksort", "mergesort", "parallel_sort"):
        fn = getattr(qv, name)
        compare(f"{name}", lambda fn=fn: fn(small), lambda: sorted(small), 5, "sorted(lst)")
        compare(f"{name}", lambda fn=fn: fn(small), lambda: np.sort(np.array(small)).tolist(), 1.0,
                "np.sort(np.array(lst)).tolist()")
    compare("parallel_sort", lambda: qv.parallel_sort(small), lambda: qv.quicksort(small), 1.4, "quicksort")

    header("sorting floats (1 000 000 random floats)")
    compare("quicksort_f64", lambda: qv.quicksort_f64(floats), lambda: sorted(floats), 5, "sorted(lst)")
    compare("quicksort_f64", lambda: qv.quicksort_f64(floats), lambda: np.sort(np.array(floats)).tolist(), 1.0,
            "np.sort(np.array(lst)).tolist()")

    header("selection, search, dedup (1 000 000 elements)")
    k = N // 3
    compare("kth_smallest", lambda: qv.kth_smallest(ints, k), lambda: int(np.partition(np.array(ints), k - 1)[k - 1]),
            1.0, "np.partition(np.array(lst))")
    compare("top_k(lst, 100)", lambda: qv.top_k(ints, 100), lambda: heapq.nlargest(100, ints), 3, "heapq.nlargest")
    compare("top_k(lst, 100), ints in [-10^9, 10^9]", lambda: qv.top_k(small, 100),
            lambda: heapq.nlargest(100, small), 3, "heapq.nlargest")
    compare("median", lambda: qv.median(floats), lambda: float(np.median(np.array(floats))), 1.0,
            "np.median(np.array(lst))")
    compare("median", lambda: qv.median(floats), lambda: statistics.median(floats), 10, "statistics.median")
    rnd = random.Random(4)
    distinct = _ints(100_000, 5)
    repeats = [distinct[rnd.randrange(len(distinct))] for _ in range(N)]
    compare("dedup (100 000 distinct)", lambda: qv.dedup(repeats), lambda: list(dict.fromkeys(repeats)), 3,
            "list(dict.fromkeys(lst))")
