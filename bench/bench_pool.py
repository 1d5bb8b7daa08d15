"""The worker pool and the random sources, through the native benchmark
library (bench/native/qv_bench.cpp, built by `make bench`) loaded with ctypes.

The pool's size is fixed per process, so the thread-count comparison runs the
map in two helper processes (RAYON_NUM_THREADS=2 and =1), asked in turn.
"""
import ctypes
import os
import pathlib
import subprocess
import sys

import numpy as np

from harness import compare, header

ROOT = pathlib.Path(__file__).resolve().parent.parent
LIB = os.environ.get("QV_BENCH_LIB", str(ROOT / "build" / "bench" / "libqv_bench.so"))

_DOUBLE_P = ctypes.POINTER(ctypes.c_double)

# A helper process: loads the library, then runs the 10M-element map once per
# line read from stdin and answers with a line.
_HELPER = r"""
import ctypes, sys
import numpy as np
lib = ctypes.CDLL(sys.argv[1])
lib.qv_bench_map.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t]
n = int(sys.argv[2])
x = np.random.default_rng(0).standard_normal(n)
out = np.empty(n)
for line in sys.stdin:
    lib.qv_bench_map(x.ctypes.data, out.ctypes.data, n)
    sys.stdout.write("ok\n")
    sys.stdout.flush()
"""


def _load():
    if not pathlib.Path(LIB).exists():
        return None
    lib = ctypes.CDLL(LIB)
    lib.qv_bench_pool_size.restype = ctypes.c_size_t
    for name in ("qv_bench_map", "qv_bench_relu"):
        getattr(lib, name).argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t]
    for name in ("qv_bench_unit_floats", "qv_bench_normals"):
        getattr(lib, name).argtypes = [ctypes.c_uint64, ctypes.c_void_p, ctypes.c_size_t]
    lib.qv_bench_thread_unit_floats.argtypes = [ctypes.c_void_p, ctypes.c_size_t]
    return lib


class _Helper:
    def __init__(self, threads, n):
        env = dict(os.environ, RAYON_NUM_THREADS=str(threads))
        self.proc = subprocess.Popen([sys.executable, "-c", _HELPER, LIB, str(n)], env=env,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)

    def run(self):
        self.proc.stdin.write("go\n")
        self.proc.stdin.flush()
        self.proc.stdout.readline()

    def close(self):
        self.proc.stdin.close()
        self.proc.wait()


def run():
    header("Worker pool and random sources (native, via ctypes)")
    lib = _load()
    if lib is None:
        print(f"skipped: {LIB} not built (run `make bench`)")
        return

    n = 10_000_000
    two, one = _Helper(2, n), _Helper(1, n)
    try:
        compare("parallel map 10M (2 threads vs 1)", two.run, one.run, 1.7, "same map, RAYON_NUM_THREADS=1")
    finally:
        two.close()
        one.close()

    x = np.random.default_rng(0).standard_normal(10_000)
    out = np.empty_like(x)
    px, pout = x.ctypes.data, out.ctypes.data
    # Pool hand-off: the 10 000-element call may cost at most 3x the 9 999 one.
    for kind, fn in (("ReLU", lib.qv_bench_relu), ("logistic", lib.qv_bench_map)):
        compare(f"{kind} 10 000 (pool) vs 9 999 (sequential)", lambda fn=fn: fn(px, pout, 10_000),
                lambda fn=fn: fn(px, pout, 9_999), 0.33, "9 999 elements, calling thread")

    m = 1_000_000

    def seeded(fill):
        def draw():
            a = np.empty(m)
            fill(1, a.ctypes.data, m)
            return a
        return draw

    def unseeded():
        a = np.empty(m)
        lib.qv_bench_thread_unit_floats(a.ctypes.data, m)
        return a

    compare("1M unit floats, seed 1", seeded(lib.qv_bench_unit_floats),
            lambda: np.random.default_rng(1).random(m), 1.0, "numpy default_rng(1).random")
    compare("1M normal draws, seed 1", seeded(lib.qv_bench_normals),
            lambda: np.random.default_rng(1).standard_normal(m), None, "numpy standard_normal")
    compare("1M unit floats, thread generators", unseeded,
            lambda: np.random.default_rng().random(m), None, "numpy default_rng().random")
