"""Leaks and reference counts: each family of entry points, valid calls and
error paths alike, called 100 000 times, keeps the process's memory within
2 MB and leaves the reference counts of its arguments, of the elements of
the caller's lists and of the instances unchanged."""
import gc
import os
import sys

import numpy as np
import pytest

import call_table as ct
import quorvane as q

CALLS = 100_000
SLACK = 2 << 20
UNDER_ASAN = "asan" in os.environ.get("LD_PRELOAD", "")

FAMILIES = {
    "sorting": "quicksort quicksort_f64 mergesort parallel_sort binary_search kth_smallest top_k dedup median",
    "numbers": "gcd lcm mod_pow is_prime sieve fibonacci",
    "statistics": "levenshtein mean variance std_dev dot_product matmul",
    "activations": "relu relu_derivative leaky_relu leaky_relu_derivative elu elu_derivative gelu silu "
                   "silu_derivative sigmoid sigmoid_derivative tanh tanh_derivative",
    "losses": "softmax softmax_cross_entropy one_hot mse_loss categorical_cross_entropy mae_loss bce_loss",
    "optimizers": "sgd_momentum_step adam_step clip_grad_norm dropout",
    "ml": "kmeans pairwise_manhattan pairwise_cosine determinant matrix_inverse",
    "hash map": " ".join(e.name for e in ct.ENTRIES if e.owner == "VaneHashMap"),
    "tensor": " ".join(e.name for e in ct.ENTRIES if e.owner == "Tensor"),
}


def fresh_ints(n):
    return [10**12 + i for i in range(n)]  # objects of their own, not the interpreter's cached ones


def fresh_floats(n):
    return [0.25 + i for i in range(n)]


def routine_errors():
    """Arguments that reach each routine's own error, by entry name."""
    ro = np.ones(3)
    ro.flags.writeable = False
    p = np.ones(3)
    return {
        "kth_smallest": [fresh_ints(4), 0], "mod_pow": [2, 3, 0], "dot_product": [[1.0], fresh_floats(2)],
        "matmul": [[fresh_floats(2)], [fresh_floats(2)]], "softmax": [np.ones((3, 4))[:, ::2]],
        "softmax_cross_entropy": [np.ones((2, 3)), np.array([5, 0])], "one_hot": [np.array([3]), 2],
        **{name: [np.ones(2), np.ones(3)] for name in ct.LOSSES},
        "sgd_momentum_step": [p, p, np.zeros(3), 0.1, 0.9], "adam_step": [ro, np.ones(3), np.zeros(3), np.zeros(3)],
        "clip_grad_norm": [np.ones(4)[::2], 1.0], "dropout": [np.ones(3), 2.0],
        "kmeans": [[fresh_floats(1)], 2, 1, 0.0], "determinant": [[fresh_floats(2)]],
        "matrix_inverse": [[[1.0, 2.0], [2.0, 4.0]]], "VaneHashMap.insert": [2**63, 1],
        "Tensor.add": lambda: [q.Tensor(np.ones(3))], "Tensor.reshape": [[7]],
        "Tensor.matmul": lambda: [q.Tensor(np.ones(3))], "Tensor.add_bias_inplace": [np.ones(5)],
    }


def with_fresh_elements(entry, args):
    """The valid call's list arguments rebuilt from objects of their own."""
    out = []
    for p, a in zip(entry.params, args):
        if p.kind == "int64_list":
            a = fresh_ints(len(a))
        elif p.kind == "float64_list":
            a = fresh_floats(len(a))
        elif p.kind == "matrix":
            a = [fresh_floats(len(row)) for row in a]
        out.append(a)
    return out


def variants(entry):
    """(args, instance) of the valid call and of several error paths."""
    args, instance = ct.valid_call(entry)
    args = with_fresh_elements(entry, args)
    out = [(args, instance)]
    if entry.how in ("method", "property", "len"):
        out.append((args, object()))  # the self check
    if not entry.params:
        return out
    out.append(([], instance))  # missing arguments
    out.append((args[:-1] + [object()], instance))  # the last conversion fails after the others
    for j, p in enumerate(entry.params):
        if p.kind.endswith("list") or p.kind == "matrix":
            bad = list(args)
            bad[j] = (args[j][:-1] if args[j] else []) + [[1.0, "x"] if p.kind == "matrix" else "x"]
            out.append((bad, instance))  # an element fails after others were converted
    errors = routine_errors().get(entry.name)
    if errors is not None:
        out.append((errors() if callable(errors) else errors, instance))
    return out


def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def watched(calls):
    """Every object the calls hold: arguments, list elements, rows, instances."""
    objs = []
    for entry, args, instance in calls:
        for a in list(args) + [instance]:
            objs.append(a)
            if isinstance(a, list):
                for x in a:
                    objs.append(x)
                    if isinstance(x, list):
                        objs.extend(x)
    return objs


def call_all(calls, rounds):
    for _ in range(rounds):
        for entry, args, instance in calls:
            try:
                ct.invoke(entry, instance, args, {})
            except Exception:
                pass


@pytest.mark.parametrize("family", FAMILIES)
def test_family_called_many_times_keeps_memory_and_references(family):
    entries = [ct.BY_NAME[n] for n in FAMILIES[family].split() if ct.available(ct.BY_NAME[n])]
    if not entries:
        pytest.skip(f"quorvane has no {family} yet")
    calls = [(e, args, inst) for e in entries for args, inst in variants(e)]
    rounds = -(-CALLS // len(calls))
    call_all(calls, max(1, rounds // 20))  # warm up: pool, caches, free lists
    objs = watched(calls)
    gc.collect()
    counts = [sys.getrefcount(o) for o in objs]
    before = rss()
    call_all(calls, rounds)
    gc.collect()
    grown = rss() - before
    after = [sys.getrefcount(o) for o in objs]
    assert [(repr(o)[:60], c, d) for o, c, d in zip(objs, counts, after) if c != d] == []
    if not UNDER_ASAN:  # the sanitizer keeps freed memory in quarantine
        assert grown < SLACK, f"{grown} bytes more after {rounds * len(calls)} calls"
