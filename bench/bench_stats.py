"""Statistics, vectors and list matrices."""
import random
import statistics

import numpy as np

import quorvane as qv
from harness import compare, header

N = 1_000_000


def run():
    rnd = random.Random(7)
    xs = [rnd.gauss(0.0, 1e3) for _ in range(N)]
    ys = [rnd.gauss(0.0, 1e3) for _ in range(N)]

    header("statistics (1 000 000 floats)")
    compare("mean", lambda: qv.mean(xs), lambda: statistics.fmean(xs), 20, "statistics.fmean")
    compare("mean", lambda: qv.mean(xs), lambda: float(np.mean(np.array(xs))), 1.0, "np.mean(np.array(lst))")
    compare("variance", lambda: qv.variance(xs), lambda: statistics.pvariance(xs), 20, "statistics.pvariance",
            rounds=3)
    compare("variance", lambda: qv.variance(xs), lambda: float(np.var(np.array(xs))), 1.0, "np.var(np.array(lst))")
    compare("std_dev", lambda: qv.std_dev(xs), lambda: statistics.pstdev(xs), 20, "statistics.pstdev", rounds=3)
    compare("std_dev", lambda: qv.std_dev(xs), lambda: float(np.std(np.array(xs))), 1.0, "np.std(np.array(lst))")
    compare("dot_product", lambda: qv.dot_product(xs, ys), lambda: float(np.dot(np.array(xs), np.array(ys))), 1.0,
            "np.dot(np.array(a), np.array(b))")

    header("matmul (200 x 200 lists of rows)")
    a = [[rnd.uniform(-1, 1) for _ in range(200)] for _ in range(200)]
    b = [[rnd.uniform(-1, 1) for _ in range(200)] for _ in range(200)]
    compare("matmul", lambda: qv.matmul(a, b), lambda: (np.array(a) @ np.array(b)).tolist(), 1.0,
            "(np.array(a) @ np.array(b)).tolist()")
