"""The main job: a tour of quorvane on what it offers today.

Run with `make demo`.
"""
import random
import time

import numpy as np

import quorvane as q


def timed(label, fn):
    t0 = time.perf_counter()
    result = fn()
    print(f"  {label:<52} {1e3 * (time.perf_counter() - t0):8.2f} ms")
    return result


def number_theory():
    print("number theory")
    primes = timed("sieve(10**7)", lambda: q.sieve(10**7))
    print(f"    {len(primes)} primes up to 10**7, the last {primes[-1]}")
    big = 18446744073709551557
    print(f"    is_prime({big}) = {q.is_prime(big)} (the largest 64-bit prime)")
    print(f"    mod_pow(3, 2**64 - 2, {big}) = {q.mod_pow(3, 2**64 - 2, big)}")
    print(f"    gcd(2**40 * 3**7, 2**35 * 3**12) = {q.gcd(2**40 * 3**7, 2**35 * 3**12)}")
    print(f"    fibonacci(93) = {q.fibonacci(93)} (the largest that fits 64 bits)")


def sorting_and_selection():
    print("\nsorting, selection, statistics")
    rng = random.Random(1)
    data = [rng.randrange(-(2**63), 2**63) for _ in range(1_000_000)]
    out = timed("parallel_sort of 1 000 000 random int64", lambda: q.parallel_sort(data))
    assert out == sorted(data)
    timed("quicksort of the same", lambda: q.quicksort(data))
    timed("sorted() of the same, for comparison", lambda: sorted(data))
    k = timed("kth_smallest(data, 500 000)", lambda: q.kth_smallest(data, 500_000))
    print(f"    the median element is {k}")
    print(f"    top_k(data, 3) = {q.top_k(data, 3)}")
    floats = [rng.gauss(10.0, 2.0) for _ in range(100_000)]
    print(f"    mean {q.mean(floats):.4f}, std_dev {q.std_dev(floats):.4f}, median {q.median(floats):.4f}"
          " of 100 000 normal draws (10, 2)")
    print(f"    levenshtein('kitten', 'sitting') = {q.levenshtein('kitten', 'sitting')}")
    print(f"    matmul([[1, 2], [3, 4]], [[5, 6], [7, 8]]) = {q.matmul([[1, 2], [3, 4]], [[5, 6], [7, 8]])}")


def hash_map():
    print("\nVaneHashMap")
    m = q.VaneHashMap()

    def fill():
        for key in range(200_000):
            m.insert(key * 7919, key)

    timed("200 000 inserts", fill)
    print(f"    len {len(m)}, get(7919 * 42) = {m.get(7919 * 42)}, remove(0) = {m.remove(0)}, "
          f"contains(0) = {m.contains(0)}")


def deep_learning():
    print("\ndeep-learning formulas: a tiny softmax classifier trained with Adam")
    rng = np.random.default_rng(0)
    n, d, classes = 20_000, 8, 3
    centers = rng.normal(0.0, 3.0, (classes, d))
    labels = rng.integers(0, classes, n)
    x = centers[labels] + rng.normal(0.0, 1.0, (n, d))
    w = np.zeros(d * classes)
    m, v = np.zeros_like(w), np.zeros_like(w)
    t0 = time.perf_counter()
    for step in range(1, 201):
        logits = np.ascontiguousarray(x @ w.reshape(d, classes))
        loss, grad_logits = q.softmax_cross_entropy(logits, labels)
        grad = (x.T @ grad_logits).ravel()
        norm = q.clip_grad_norm(grad, 5.0)
        q.adam_step(w, grad, m, v, lr=0.05, t=step)
        if step in (1, 50, 200):
            accuracy = float(np.mean(np.argmax(q.softmax(logits), axis=1) == labels))
            print(f"    step {step:3d}: loss {loss:.4f}, gradient norm {norm:8.4f}, accuracy {accuracy:.3f}")
    print(f"  {'200 training steps':<52} {1e3 * (time.perf_counter() - t0):8.2f} ms")
    h = q.gelu(np.linspace(-3.0, 3.0, 7))
    print(f"    gelu on -3..3: {np.round(h, 4).tolist()}")
    print(f"    dropout(ones(8), 0.5, seed=42) = {q.dropout(np.ones(8), 0.5, seed=42).tolist()}")


def main():
    print(f"quorvane: {len(q.__all__)} names\n")
    number_theory()
    sorting_and_selection()
    hash_map()
    deep_learning()


if __name__ == "__main__":
    main()
