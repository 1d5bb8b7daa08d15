"""k-means, determinant, inverse and pairwise tables against scikit-learn, NumPy and SciPy."""
import numpy as np

import quorvane as q
from harness import compare, header

try:
    from scipy.spatial.distance import cdist
except ImportError:  # bench-only peers (requirements-bench.txt)
    cdist = None
try:
    from sklearn.cluster import KMeans
except ImportError:
    KMeans = None


def _kmeans_rows(rng):
    n, d, k, iters = 100_000, 8, 16, 20
    header(f"kmeans ({n} points x {d}, k = {k}, {iters} iterations, tolerance 0)")
    if KMeans is None:
        print("kmeans: scikit-learn not installed, rows skipped")
        return
    x = rng.normal(0, 1, (n, d)) + rng.integers(0, 8, (n, 1)) * 4.0
    lst = x.tolist()
    init = x[np.arange(k) * (n // k)]

    def sklearn(data):
        return KMeans(k, init=init, n_init=1, max_iter=iters, tol=0, algorithm="lloyd").fit(data)

    compare("kmeans (2-D array)", lambda: q.kmeans(x, k, iters, 0.0), lambda: sklearn(x), 1.5,
            "KMeans(lloyd, same init)", rounds=5, settle=True)
    compare("kmeans (list of lists)", lambda: q.kmeans(lst, k, iters, 0.0), lambda: sklearn(np.asarray(lst)), 2.0,
            "KMeans on np.asarray(list)", rounds=5, settle=True)


def _square_rows(rng):
    n = 200
    header(f"determinant and matrix_inverse ({n} x {n} list of rows)")
    m = (rng.uniform(-1, 1, (n, n)) + np.eye(n) * 4).tolist()
    compare("determinant", lambda: q.determinant(m), lambda: float(np.linalg.det(np.array(m))), 1.5,
            "np.linalg.det(np.array(m))", settle=True)
    compare("matrix_inverse", lambda: q.matrix_inverse(m), lambda: np.linalg.inv(np.array(m)).tolist(), 1.5,
            "np.linalg.inv(np.array(m)).tolist()", settle=True)


def _pairwise_rows(rng):
    m, d = 2000, 64
    header(f"pairwise tables ({m} x {d} against {m} x {d} lists of rows)")
    if cdist is None:
        print("pairwise: scipy not installed, rows skipped")
        return
    a = rng.normal(size=(m, d)).tolist()
    b = rng.normal(size=(m, d)).tolist()
    compare("pairwise_cosine", lambda: q.pairwise_cosine(a, b),
            lambda: (1 - cdist(np.array(a), np.array(b), "cosine")).tolist(), 1.2, "1 - cdist(cosine), tolist")
    compare("pairwise_manhattan", lambda: q.pairwise_manhattan(a, b),
            lambda: cdist(np.array(a), np.array(b), "cityblock").tolist(), 1.2, "cdist(cityblock).tolist()")
    # Rows of no components: the table is all -0.0 and its conversion to
    # 4 000 000 Python floats is the whole work.
    empty = np.zeros((m, 0))
    table = np.full((m, m), -0.0)
    compare("nested float list result (2000 x 2000)", lambda: q.pairwise_manhattan(empty, empty), table.tolist, None,
            "ndarray.tolist()")


def run():
    rng = np.random.default_rng(5)
    _kmeans_rows(rng)
    _square_rows(rng)
    _pairwise_rows(rng)
