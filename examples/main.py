"""The main job: a two-layer network that learns handwritten digits, with
quorvane alone for the model; then k-means on the same images beside
scikit-learn's; then a short tour of the other subsystems.

Run with `make demo`.
"""
from __future__ import annotations

import random
import time
from collections.abc import Callable
from typing import TypeVar

import numpy as np
from numpy.typing import NDArray
from sklearn.cluster import KMeans  # type: ignore[import-untyped]
from sklearn.datasets import load_digits  # type: ignore[import-untyped]
from tqdm import tqdm

import quorvane as q

T = TypeVar("T")
F64 = NDArray[np.float64]
I64 = NDArray[np.int64]

HIDDEN = 128
CLASSES = 10
EPOCHS = 40
BATCH = 64
DROPOUT = 0.2
SEED = 2026


def timed(label: str, fn: Callable[[], T]) -> T:
    t0 = time.perf_counter()
    result = fn()
    print(f"  {label:<52} {1e3 * (time.perf_counter() - t0):8.2f} ms")
    return result


def digits() -> tuple[F64, I64, F64, I64]:
    """The 1 797 8x8 digit images scaled to [0, 1], split 80 / 20 at random (seeded)."""
    data = load_digits()
    x = np.asarray(data.data, dtype=np.float64) / 16.0
    y = np.asarray(data.target, dtype=np.int64)
    order = np.random.default_rng(SEED).permutation(len(y))
    cut = len(y) * 4 // 5
    train, test = order[:cut], order[cut:]
    return x[train], y[train], x[test], y[test]


class Network:
    """input -> dense(HIDDEN) -> ReLU -> dropout -> dense(CLASSES) -> softmax.

    The parameters live in one flat array, so that the gradient clipping and
    the Adam step each treat them in one call.
    """

    def __init__(self, inputs: int) -> None:
        self.inputs = inputs
        sizes = [inputs * HIDDEN, HIDDEN, HIDDEN * CLASSES, CLASSES]
        self.bounds = np.cumsum([0, *sizes])
        self.params = np.zeros(self.bounds[-1])
        self.grads = np.zeros_like(self.params)
        self.m, self.v = np.zeros_like(self.params), np.zeros_like(self.params)
        # He initialisation: seeded normal draws, scaled by sqrt(2 / fan_in).
        w1 = q.Tensor.randn([inputs, HIDDEN], seed=SEED).mul_scalar(np.sqrt(2.0 / inputs))
        w2 = q.Tensor.randn([HIDDEN, CLASSES], seed=SEED + 1).mul_scalar(np.sqrt(2.0 / HIDDEN))
        self.part(self.params, 0)[:] = w1.data
        self.part(self.params, 2)[:] = w2.data
        self.step = 0

    def part(self, flat: F64, i: int) -> F64:
        return flat[self.bounds[i]:self.bounds[i + 1]]

    def weights(self, i: int, rows: int, cols: int) -> q.Tensor:
        return q.Tensor(self.part(self.params, i).reshape(rows, cols))

    def logits(self, x: q.Tensor, mask: F64 | None = None) -> tuple[q.Tensor, q.Tensor]:
        """Forward pass: the hidden activations (after ReLU and dropout) and the logits."""
        hidden = x.matmul(self.weights(0, self.inputs, HIDDEN))
        hidden.add_bias_inplace(self.part(self.params, 1))
        hidden.relu_inplace()
        if mask is not None:
            hidden = hidden.mul_elementwise(q.Tensor(mask))
        out = hidden.matmul(self.weights(2, HIDDEN, CLASSES))
        out.add_bias_inplace(self.part(self.params, 3))
        return hidden, out

    def train_batch(self, xb: F64, yb: I64, lr: float) -> tuple[float, float]:
        """One Adam step on a batch; returns its loss and the gradient norm before clipping."""
        self.step += 1
        x = q.Tensor(xb)
        # Inverted dropout on the hidden layer: the mask of kept units (scaled
        # by 1 / (1 - p)) is dropout applied to ones, reproducible by seed.
        mask = q.dropout(np.ones(len(yb) * HIDDEN), DROPOUT, seed=SEED * 100_000 + self.step).reshape(len(yb), HIDDEN)
        hidden, out = self.logits(x, mask)
        loss, grad_out = q.softmax_cross_entropy(out.data.reshape(len(yb), CLASSES), yb)
        g_out = q.Tensor(grad_out)
        # Backward pass: products with transposes, no transposed copies.
        self.part(self.grads, 2)[:] = hidden.matmul(g_out, transpose_a=True).data
        self.part(self.grads, 3)[:] = grad_out.sum(axis=0)
        g_hidden = g_out.matmul(self.weights(2, HIDDEN, CLASSES), transpose_b=True)
        g_hidden = g_hidden.mul_elementwise(hidden.relu_derivative()).mul_elementwise(q.Tensor(mask))
        self.part(self.grads, 0)[:] = x.matmul(g_hidden, transpose_a=True).data
        self.part(self.grads, 1)[:] = np.asarray(g_hidden.data).reshape(len(yb), HIDDEN).sum(axis=0)
        norm = q.clip_grad_norm(self.grads, 5.0)
        q.adam_step(self.params, self.grads, self.m, self.v, lr=lr, t=self.step)
        return loss, norm

    def evaluate(self, x: F64, y: I64) -> tuple[float, float]:
        """Held-out cross-entropy (against one-hot targets) and accuracy."""
        _, out = self.logits(q.Tensor(x))
        probs = q.softmax(out.data.reshape(len(y), CLASSES))
        loss = q.categorical_cross_entropy(probs.ravel(), q.one_hot(y, CLASSES).ravel()) * CLASSES
        return loss, float(np.mean(np.argmax(probs, axis=1) == y))


def train_network() -> F64:
    print("a two-layer network on the handwritten digits (scikit-learn's 8x8 set), quorvane for the model")
    x_train, y_train, x_test, y_test = digits()
    print(f"    {len(y_train)} training and {len(y_test)} held-out images, {HIDDEN} hidden units, "
          f"dropout {DROPOUT}, Adam with clipping at norm 5")
    net = Network(x_train.shape[1])
    order_rng = np.random.default_rng(SEED)
    t0 = time.perf_counter()
    bar = tqdm(range(1, EPOCHS + 1), desc="epochs", unit="epoch", ncols=100)
    accuracy = 0.0
    for epoch in bar:
        order = order_rng.permutation(len(y_train))
        losses = []
        lr = 0.003 if epoch <= EPOCHS * 3 // 4 else 0.001
        for start in range(0, len(order), BATCH):
            batch = order[start:start + BATCH]
            loss, _ = net.train_batch(np.ascontiguousarray(x_train[batch]), np.ascontiguousarray(y_train[batch]), lr)
            losses.append(loss)
        test_loss, accuracy = net.evaluate(x_test, y_test)
        bar.set_postfix(loss=f"{np.mean(losses):.4f}", held_out=f"{accuracy:.3f}",
                        time=f"{time.perf_counter() - t0:.1f}s")
        if epoch in (1, 5, 10, 20, EPOCHS):
            tqdm.write(f"    epoch {epoch:2d}: training loss {np.mean(losses):.4f}, held-out loss {test_loss:.4f}, "
                       f"held-out accuracy {accuracy:.4f}")
    bar.close()
    print(f"    held-out accuracy {accuracy:.4f} after {EPOCHS} epochs, {time.perf_counter() - t0:.1f} s")
    assert accuracy >= 0.95, "the network should reach 95 % on the held-out images"
    return x_train


def purity(labels: list[int] | I64, truth: I64, k: int) -> float:
    """Share of images whose cluster's most common digit is their own."""
    table = np.zeros((k, CLASSES), dtype=np.int64)
    np.add.at(table, (np.asarray(labels), truth), 1)
    return float(table.max(axis=1).sum()) / len(truth)


def cluster_digits() -> None:
    print("\nk-means on the same images: quorvane beside scikit-learn, both from the same initial rows")
    data = load_digits()
    x = np.ascontiguousarray(np.asarray(data.data, dtype=np.float64) / 16.0)
    truth = np.asarray(data.target, dtype=np.int64)
    k, iters = 10, 100
    start_rows = x[np.arange(k) * (len(x) // k)]  # kmeans starts from rows 0, n/k, 2n/k, ...
    t0 = time.perf_counter()
    centroids, labels = q.kmeans(x, k, iters, 1e-9)
    ours = time.perf_counter() - t0
    peer = KMeans(n_clusters=k, init=start_rows, n_init=1, max_iter=iters, tol=0.0, algorithm="lloyd")
    peer.fit(x[:100])  # its thread pools start on the first fit: not timed
    t0 = time.perf_counter()
    peer.fit(x)
    theirs = time.perf_counter() - t0
    print(f"    {'':<14} {'purity':>8} {'time':>10}")
    print(f"    {'quorvane':<14} {purity(labels, truth, k):8.4f} {1e3 * ours:8.2f} ms")
    print(f"    {'scikit-learn':<14} {purity(peer.labels_, truth, k):8.4f} {1e3 * theirs:8.2f} ms")
    print(f"    {len(centroids)} centroids of {len(centroids[0])} components")


def number_theory() -> None:
    print("\nnumber theory")
    primes = timed("sieve(10**7)", lambda: q.sieve(10**7))
    print(f"    {len(primes)} primes up to 10**7, the last {primes[-1]}")
    big = 18446744073709551557
    print(f"    is_prime({big}) = {q.is_prime(big)} (the largest 64-bit prime)")
    print(f"    mod_pow(3, 2**64 - 2, {big}) = {q.mod_pow(3, 2**64 - 2, big)}")
    print(f"    gcd(2**40 * 3**7, 2**35 * 3**12) = {q.gcd(2**40 * 3**7, 2**35 * 3**12)}")
    print(f"    fibonacci(93) = {q.fibonacci(93)} (the largest that fits 64 bits)")


def sorting_and_selection() -> None:
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
    print(f"    determinant([[2, 1], [1, 3]]) = {q.determinant([[2, 1], [1, 3]])}, "
          f"matrix_inverse = {q.matrix_inverse([[2, 1], [1, 3]])}")
    print(f"    pairwise_cosine([[1, 0]], [[0, 1], [2, 0]]) = {q.pairwise_cosine([[1, 0]], [[0, 1], [2, 0]])}")


def hash_map() -> None:
    print("\nVaneHashMap")
    m = q.VaneHashMap()

    def fill() -> None:
        for key in range(200_000):
            m.insert(key * 7919, key)

    timed("200 000 inserts", fill)
    print(f"    len {len(m)}, get(7919 * 42) = {m.get(7919 * 42)}, remove(0) = {m.remove(0)}, "
          f"contains(0) = {m.contains(0)}")


def deep_learning_formulas() -> None:
    print("\ndeep-learning formulas over NumPy arrays")
    x = np.linspace(-3.0, 3.0, 7)
    print(f"    gelu on -3..3: {np.round(q.gelu(x), 4).tolist()}")
    print(f"    softmax([[1, 2, 3]]) = {np.round(q.softmax(np.array([[1.0, 2.0, 3.0]])), 4).tolist()}")
    print(f"    dropout(ones(8), 0.5, seed=42) = {q.dropout(np.ones(8), 0.5, seed=42).tolist()}")
    big = np.random.default_rng(0).normal(size=5_000_000)
    q.gelu(big[:20_000])  # the worker pool starts on first use

    def numpy_gelu() -> F64:
        inner = big * big
        inner *= 0.044715 * big
        inner += big
        inner *= np.sqrt(2.0 / np.pi)
        np.tanh(inner, out=inner)
        inner += 1.0
        inner *= big
        inner *= 0.5
        return inner

    timed("gelu of 5 000 000 values (all cores)", lambda: q.gelu(big))
    timed("the same formula in NumPy, for comparison", numpy_gelu)


def main() -> None:
    print(f"quorvane: {len(q.__all__)} names\n")
    t0 = time.perf_counter()
    train_network()
    cluster_digits()
    print(f"\nnetwork and clustering took {time.perf_counter() - t0:.1f} s")
    number_theory()
    sorting_and_selection()
    hash_map()
    deep_learning_formulas()


if __name__ == "__main__":
    main()
