"""The worker pool starts on the first parallel operation, never at import."""
import subprocess

import pytest
import sys


def test_import_starts_no_threads():
    code = (
        "import quorvane\n"
        "status = open('/proc/self/status').read()\n"
        "print([l for l in status.splitlines() if l.startswith('Threads:')][0].split()[1])\n"
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert out.stdout.strip() == "1"


FORK_CHILDREN = """
import multiprocessing as mp, threading, numpy as np, quorvane as q
x = np.linspace(-3.0, 3.0, 200_000)
expected = q.sigmoid(x)             # the pool has run in the parent
norm = q.clip_grad_norm(x.copy(), 1e9)
if {other_thread}:
    # a second thread that used the pool is still alive at the fork
    done = threading.Event()
    t = threading.Thread(target=lambda: (q.relu(x), done.wait()))
    t.start()
def child(_):
    return bool(np.array_equal(q.sigmoid(x), expected)) and q.clip_grad_norm(x.copy(), 1e9) == norm
with mp.get_context("fork").Pool(2) as pool:
    print(all(pool.map(child, range(4))))
if {other_thread}:
    done.set(); t.join()
"""


@pytest.mark.parametrize("other_thread", [False, True])
def test_forked_children_run_parallel_work(other_thread):
    out = subprocess.run([sys.executable, "-c", FORK_CHILDREN.format(other_thread=other_thread)],
                         capture_output=True, text=True, timeout=120)
    assert out.returncode == 0, out.stderr
    assert out.stdout.strip() == "True"
