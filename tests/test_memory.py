"""Memory pressure: results that cannot be allocated raise MemoryError or a
clear ValueError, and the process lives on. Runs in a subprocess whose
address space is limited to 1 GB above what it uses after start-up."""
import json
import os
import subprocess
import sys

UNDER_ASAN = "asan" in os.environ.get("LD_PRELOAD", "")

SCRIPT = """
import json, resource, sys
import numpy as np
import quorvane as q

limited = sys.argv[1] == "limit"
q.relu(np.zeros(20_000))  # the worker pool runs before the limit
if limited:
    size = int(open("/proc/self/statm").read().split()[0]) * resource.getpagesize()
    resource.setrlimit(resource.RLIMIT_AS, (size + (1 << 30), resource.RLIM_INFINITY))

class Liar:
    \"\"\"A sequence that claims a billion items and holds `items`.\"\"\"
    def __init__(self, items):
        self.items = items
    def __len__(self):
        return 10**9
    def __getitem__(self, i):
        return self.items[i]

T = getattr(q, "Tensor", None)
# Far beyond any address space: refused under any limit (and under the sanitizer).
huge = {
    "sieve": lambda: q.sieve(2**40),
    "sieve max": lambda: q.sieve(2**64 - 1),
    "one_hot": lambda: q.one_hot(np.zeros(10, np.int64), 2**40),
    "rand": T and (lambda: T.rand([2**40])),
    "randn": T and (lambda: T.randn([2**20, 2**20], seed=1)),
    "rand overflow": T and (lambda: T.rand([2**32, 2**32])),
    "reshape": T and (lambda: T(np.zeros(4)).reshape([2**40])),
    "reshape overflow": T and (lambda: T(np.zeros(0)).reshape([2**32, 2**32, 3])),
    "matmul": T and (lambda: T(np.zeros((2**20, 0))).matmul(T(np.zeros((0, 2**20))))),
    "kmeans": (lambda: q.kmeans([[1.0], [2.0]], 2**40, 5, 0.0)) if hasattr(q, "kmeans") else None,
}
# A few gigabytes: refused only because of the limit.
moderate = {
    "sieve 3 GB": lambda: q.sieve(3 << 30),
    "one_hot 8 GB": lambda: q.one_hot(np.zeros(1 << 10, np.int64), 1 << 20),
    "rand 2 GB": T and (lambda: T.rand([1 << 28])),
}
# Lying lengths: the call reads what is there.
lying = {
    "mean": (lambda: q.mean(Liar([1.0, 2.0, 3.0])), 2.0),
    "quicksort": (lambda: q.quicksort(Liar([3, 1, 2])), [1, 2, 3]),
    "matrix rows": (lambda: q.matmul([Liar([1.0, 2.0])], [[1.0], [1.0]]), [[3.0]]),
}
if hasattr(q, "pairwise_cosine"):
    lying["matrix"] = (lambda: q.pairwise_manhattan(Liar([[1.0], [2.0]]), [[0.0]]), [[1.0], [2.0]])

def outcome(f):
    try:
        return ["ok", repr(f())]
    except BaseException as e:
        return [type(e).__name__, str(e)]

report = {name: outcome(f) for name, f in {**huge, **(moderate if limited else {})}.items() if f}
report.update({name: outcome(f) if outcome(f)[1] != repr(want) else ["right"] for name, (f, want) in lying.items()})
assert q.gcd(12, 18) == 6 and q.relu(np.array([-1.0, 1.0])).tolist() == [0.0, 1.0]
print(json.dumps(report))
"""


def test_unallocatable_results_fail_cleanly_and_the_process_lives_on():
    out = subprocess.run([sys.executable, "-c", SCRIPT, "free" if UNDER_ASAN else "limit"], capture_output=True,
                         text=True, timeout=300)
    assert out.returncode == 0, out.stderr[-3000:]
    report = json.loads(out.stdout.strip().splitlines()[-1])
    for name, (kind, *message) in report.items():
        if kind == "right":
            continue
        assert kind == "MemoryError" or (kind == "ValueError" and message[0]), (name, kind, message)
