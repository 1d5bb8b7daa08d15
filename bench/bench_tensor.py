"""Tensor against NumPy: matmul against its BLAS, elementwise work,
conversions and random fills."""
import numpy as np
from threadpoolctl import threadpool_limits

import quorvane as qv
from harness import ROWS, compare, header

N = 1_000_000


def gflops(size, seconds):
    return 2.0 * size**3 / seconds / 1e9


def bench_matmul():
    rng = np.random.default_rng(0)
    cases = []
    for size in (512, 1024):
        x, y = rng.standard_normal((size, size)), rng.standard_normal((size, size))
        a, b = qv.Tensor(x), qv.Tensor(y)
        for ta in (False, True):
            for tb in (False, True):
                px, py = (x.T if ta else x), (y.T if tb else y)  # views: BLAS reads them transposed
                cases.append((f"matmul {size}^3 ta={int(ta)} tb={int(tb)}", size,
                              lambda a=a, b=b, ta=ta, tb=tb: a.matmul(b, transpose_a=ta, transpose_b=tb),
                              lambda px=px, py=py: px @ py))
    # One thread first: OpenBLAS's threads spin for a while after a threaded
    # call and would share the cores with what follows.
    header("Tensor.matmul (one core) vs NumPy @ (its BLAS on one thread)")
    for name, size, ours, peer in cases:
        with threadpool_limits(1, user_api="blas"):
            compare(name, ours, peer, 1.0, "numpy @, 1 thread")
        t_ours, t_peer = ROWS[-1][2], ROWS[-1][3]
        print(f"{'':<44} GFLOP/s: quorvane {gflops(size, t_ours):.1f}, numpy {gflops(size, t_peer):.1f}")
    header("Tensor.matmul (one core) vs NumPy @ (its BLAS on every core)")
    for name, size, ours, peer in cases:
        compare(name, ours, peer, None, "numpy @, all threads", settle=True)


def bench_elementwise():
    rng = np.random.default_rng(1)
    x, y = rng.standard_normal(N), rng.standard_normal(N)
    a, b = qv.Tensor(x), qv.Tensor(y)
    header(f"Tensor elementwise ({N:,} elements) vs NumPy")
    compare("add", lambda: a.add(b), lambda: x + y, 1.5, "x + y")
    compare("sub", lambda: a.sub(b), lambda: x - y, 1.5, "x - y")
    compare("mul_elementwise", lambda: a.mul_elementwise(b), lambda: x * y, 1.5, "x * y")
    compare("mul_scalar", lambda: a.mul_scalar(1.5), lambda: x * 1.5, 1.5, "x * 1.5")
    compare("relu_derivative", lambda: a.relu_derivative(), lambda: (x > 0.0).astype(np.float64), 1.5,
            "(x > 0).astype(float)")
    r, z = qv.Tensor(x), x.copy()
    compare("relu_inplace", r.relu_inplace, lambda: np.maximum(z, 0.0, out=z), 1.5, "np.maximum(z, 0, out=z)")
    m, bias = rng.standard_normal((10_000, 100)), rng.standard_normal(100)
    t, mm = qv.Tensor(m), m.copy()

    def peer_bias():
        nonlocal mm
        mm += bias

    compare("add_bias_inplace (10 000, 100)", lambda: t.add_bias_inplace(bias), peer_bias, 1.5, "m += bias")


def bench_conversion():
    arr = np.random.default_rng(2).standard_normal((1000, 1000))
    t = qv.Tensor(arr)
    header("Tensor conversions (1000 x 1000) vs NumPy")
    compare("Tensor(arr)", lambda: qv.Tensor(arr), arr.copy, 0.9, "arr.copy()")
    compare("t.data", lambda: t.data, lambda: arr.ravel().copy(), 0.9, "arr.ravel().copy()")
    compare("t.to_list()", t.to_list, arr.tolist, 0.9, "arr.tolist()")


def bench_random():
    shape = [1000, 1000]
    header("Tensor.rand / randn (1000 x 1000) vs NumPy's generator")
    compare("rand, seeded", lambda: qv.Tensor.rand(shape, seed=1),
            lambda: np.random.default_rng(1).random((1000, 1000)), 1.0, "default_rng(1).random")
    compare("randn, seeded", lambda: qv.Tensor.randn(shape, seed=1),
            lambda: np.random.default_rng(1).standard_normal((1000, 1000)), 1.0, "default_rng(1).standard_normal")
    rng = np.random.default_rng()
    compare("rand, unseeded", lambda: qv.Tensor.rand(shape), lambda: rng.random((1000, 1000)), 1.5, "rng.random")
    compare("randn, unseeded", lambda: qv.Tensor.randn(shape), lambda: rng.standard_normal((1000, 1000)), 1.5,
            "rng.standard_normal")


def run():
    bench_matmul()
    bench_elementwise()
    bench_conversion()
    bench_random()
