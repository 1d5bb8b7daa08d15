"""Smoke test of an installed quorvane: one call or more per subsystem.

Run by scripts/test-source-build in a fresh venv after `pip install .`;
prints one line per check and a closing count. (The wheel gets the whole
suite: scripts/test-wheel.)
"""
import importlib.metadata
import os
import sys
import sysconfig

import numpy as np

import quorvane as q

CHECKS = []


def check(name):
    def register(fn):
        CHECKS.append((name, fn))
        return fn
    return register


@check("installed, not the source tree")
def _():
    assert q.__file__.startswith(sysconfig.get_paths()["platlib"]), q.__file__
    assert len(q.__all__) == 52 and q.__all__[-2:] == ["Tensor", "VaneHashMap"]
    assert q.__version__ == importlib.metadata.version("quorvane"), q.__version__


@check("oneTBB loaded from beside the module")
def _():
    libs = {line.split()[-1] for line in open("/proc/self/maps") if "/libtbb" in line}
    beside = os.path.join(os.path.dirname(q.__file__), "quorvane.libs")
    assert libs and all(os.path.dirname(lib) == beside for lib in libs), libs


@check("sorting and selection")
def _():
    data = [5, -1, 3, 3, 9, 0]
    assert q.quicksort(data) == q.mergesort(data) == q.parallel_sort(data) == sorted(data)
    assert q.quicksort_f64([2.5, -1.0]) == [-1.0, 2.5]
    assert q.kth_smallest(data, 2) == 0 and q.top_k(data, 2) == [9, 5] and q.dedup(data) == [5, -1, 3, 9, 0]
    assert q.binary_search(sorted(data), 9) == 5 and q.median([3.0, 1.0, 2.0]) == 2.0


@check("number theory")
def _():
    assert (q.gcd(12, 18), q.lcm(4, 6), q.mod_pow(2, 10, 1000)) == (6, 12, 24)
    assert q.is_prime(2**61 - 1) and q.sieve(20) == [2, 3, 5, 7, 11, 13, 17, 19] and q.fibonacci(10) == 55


@check("statistics, vectors, edit distance")
def _():
    assert q.mean([1.0, 2.0, 3.0]) == 2.0 and q.variance([1.0, 3.0]) == 1.0 and q.std_dev([1.0, 3.0]) == 1.0
    assert q.dot_product([1.0, 2.0], [3.0, 4.0]) == 11.0 and q.matmul([[1.0, 2.0]], [[3.0], [4.0]]) == [[11.0]]
    assert q.levenshtein("kitten", "sitting") == 3


@check("VaneHashMap")
def _():
    m = q.VaneHashMap()
    m.insert(1, 10)
    m.insert(2, 20)
    assert m.get(1) == 10 and m.remove(2) == 20 and len(m) == 1 and m.items() == [(1, 10)]


@check("deep-learning formulas on the pool")
def _():
    x = np.linspace(-3.0, 3.0, 100_000)
    assert np.array_equal(q.relu(x), np.maximum(x, 0.0))
    assert np.allclose(q.tanh(x), np.tanh(x), rtol=1e-15, atol=0)
    s = q.softmax(np.ones((20_000, 4)))
    assert np.allclose(s, 0.25)
    p, g = np.ones(4), np.full(4, 0.5)
    q.sgd_momentum_step(p, g, np.zeros(4), 0.1, 0.0)
    assert np.allclose(p, 0.95)
    assert q.dropout(x, 0.5, seed=7).tolist() == q.dropout(x, 0.5, seed=7).tolist()


@check("Tensor")
def _():
    t = q.Tensor(np.arange(6.0).reshape(2, 3))
    r = t.matmul(t, transpose_b=True)
    assert r.shape == [2, 2] and r.to_list() == [[5.0, 14.0], [14.0, 50.0]]
    assert q.Tensor.rand([3], seed=1).to_list() == q.Tensor.rand([3], seed=1).to_list()


@check("k-means and linear algebra")
def _():
    centroids, labels = q.kmeans([[0.0], [0.1], [10.0], [10.1]], 2, 10, 0.0)
    assert labels == [0, 0, 1, 1] and centroids == [[0.05], [10.05]]
    assert q.determinant([[2.0, 0.0], [0.0, 3.0]]) == 6.0 and q.matrix_inverse([[2.0]]) == [[0.5]]
    assert q.pairwise_manhattan([[1.0, 2.0]], [[4.0, 0.0]]) == [[5.0]]
    assert q.pairwise_cosine([[1.0, 0.0]], [[2.0, 0.0]]) == [[1.0]]


def main():
    failed = 0
    version = "%d.%d.%d" % sys.version_info[:3]
    for name, fn in CHECKS:
        try:
            fn()
            print(f"  ok    {name}")
        except Exception as exc:  # report every failing check, then fail
            failed += 1
            print(f"  FAIL  {name}: {type(exc).__name__}: {exc}")
    print(f"installed quorvane on CPython {version}: {len(CHECKS) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
