"""Processes forked after parallel work, and worker threads that cannot be
started. Each case runs in a subprocess: a crash or a hang fails the test."""
import json
import os
import shutil
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent
UNDER_ASAN = "asan" in os.environ.get("LD_PRELOAD", "")

COMMON = f"""
import hashlib, json, sys
import numpy as np
sys.path.insert(0, {str(HERE)!r})
import call_table as ct
import quorvane as q

PARALLEL = [e for e in ct.ENTRIES if e.parallel and ct.available(e)]

def outcome(i):
    \"\"\"Run parallel entry i on big inputs; a digest of its result and of
    every array and tensor it was given (in-place results included).\"\"\"
    e = PARALLEL[i]
    args, inst = ct.valid_call(e, np.random.default_rng(i), big=True)
    try:
        r = ct.invoke(e, inst, args, {{}})
    except BaseException as exc:
        return e.name, f"{{type(exc).__name__}}: {{exc}}"
    parts = [r, inst] + args
    h = hashlib.sha256()
    for x in parts:
        if hasattr(q, "Tensor") and isinstance(x, q.Tensor):
            x = x.data
        h.update(x.tobytes() if isinstance(x, np.ndarray) else repr(x).encode())
    return e.name, h.hexdigest()
"""

FORKED = COMMON + """
import multiprocessing as mp

def unseeded(_):
    x = np.ones(4000)
    draws = [q.dropout(x, 0.5)]
    if hasattr(q, "Tensor"):
        draws += [q.Tensor.rand([4000]).data, q.Tensor.randn([4000]).data]
    return [hashlib.sha256(d.tobytes()).hexdigest() for d in draws]

parent = [outcome(i) for i in range(len(PARALLEL))]   # the pool has run here
with mp.get_context("fork").Pool(2) as pool:
    children = pool.map(outcome, range(len(PARALLEL)))
    child_draws = pool.map(unseeded, range(2))
print(json.dumps({"parent": parent, "children": children, "draws": [unseeded(0)] + child_draws}))
"""


def run_script(code, env=None, timeout=300):
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=timeout, env=env)
    assert out.returncode == 0, out.stderr[-3000:]
    return json.loads(out.stdout.strip().splitlines()[-1])


def test_forked_children_run_every_parallel_entry_and_draw_their_own_numbers():
    report = run_script(FORKED)
    assert report["children"] == report["parent"]
    assert not any(": " in digest for _, digest in report["parent"]), report["parent"]
    # unseeded draws: the parent and each child drew different numbers
    draws = report["draws"]
    for k in range(len(draws[0])):
        assert len({d[k] for d in draws}) == len(draws), k


SHIM = textwrap.dedent("""
    #include <errno.h>
    #include <pthread.h>
    int pthread_create(pthread_t* t, const pthread_attr_t* a, void* (*f)(void*), void* arg) {
        (void)t; (void)a; (void)f; (void)arg;
        return EAGAIN;
    }
""")

NO_THREADS = COMMON + """
results = [outcome(i) for i in range(len(PARALLEL))]
assert q.gcd(12, 18) == 6 and q.relu(np.array([-1.0, 2.0])).tolist() == [0.0, 2.0]
print(json.dumps(results))
"""


@pytest.mark.skipif(UNDER_ASAN, reason="the sanitizer runtime intercepts pthread_create first")
def test_parallel_entries_fail_cleanly_when_no_thread_can_start(tmp_path):
    gcc = shutil.which("gcc")
    if not gcc:
        pytest.skip("no gcc to build the pthread_create shim")
    (tmp_path / "shim.c").write_text(SHIM)
    subprocess.run([gcc, "-shared", "-fPIC", "-o", str(tmp_path / "shim.so"), str(tmp_path / "shim.c")], check=True)
    env = {**os.environ, "LD_PRELOAD": str(tmp_path / "shim.so"), "OPENBLAS_NUM_THREADS": "1"}
    expected = dict(run_script(NO_THREADS))
    results = run_script(NO_THREADS, env=env)
    for name, digest in results:
        if digest == expected[name]:
            continue  # ran on the calling thread, with the right result
        kind, _, message = digest.partition(": ")
        assert kind in ("InternalFailure", "RuntimeError") and message, (name, digest)
    assert any(digest != expected[name] for name, digest in results)  # the shim did stop something
