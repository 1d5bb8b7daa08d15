"""Deep-learning formulas against the NumPy / SciPy expressions a user would write."""
import numpy as np

import quorvane as q
from harness import compare, header

try:
    from scipy.special import expit
    from scipy.special import softmax as scipy_softmax
except ImportError:  # rows that need SciPy are skipped
    expit = scipy_softmax = None

GELU_C = 0.7978845608028654


def _np_sigmoid_rows():
    """Peers for the sigmoid family; None where SciPy is missing."""
    if expit is None:
        return {}
    return {
        "silu": (lambda x: x * expit(x), "x * expit(x)"),
        "silu_derivative": (lambda x: (lambda s: s * (1.0 + x * (1.0 - s)))(expit(x)), "expit-based"),
        "sigmoid": (expit, "scipy.special.expit"),
        "sigmoid_derivative": (lambda x: (lambda s: s * (1.0 - s))(expit(x)), "expit(x) * (1 - expit(x))"),
    }


def activation_peers():
    peers = {
        "relu": (lambda x: np.maximum(x, 0.0), "np.maximum"),
        "relu_derivative": (lambda x: (x > 0.0).astype(np.float64), "(x > 0).astype"),
        "leaky_relu": (lambda x: np.where(x > 0.0, x, 0.01 * x), "np.where"),
        "leaky_relu_derivative": (lambda x: np.where(x > 0.0, 1.0, 0.01), "np.where"),
        "elu": (lambda x: np.where(x > 0.0, x, np.exp(x) - 1.0), "np.where + np.exp"),
        "elu_derivative": (lambda x: np.where(x > 0.0, 1.0, np.exp(x)), "np.where + np.exp"),
        "gelu": (lambda x: (x * 0.5) * (np.tanh((x * x * x * 0.044715 + x) * GELU_C) + 1.0), "np.tanh expression"),
        "tanh": (np.tanh, "np.tanh"),
        "tanh_derivative": (lambda x: (lambda t: 1.0 - t * t)(np.tanh(x)), "1 - np.tanh(x)**2"),
    }
    peers.update(_np_sigmoid_rows())
    return peers


def np_softmax_cross_entropy(logits, targets):
    n = logits.shape[0]
    e = np.exp(logits - logits.max(axis=1, keepdims=True))
    p = e / e.sum(axis=1, keepdims=True)
    rows = np.arange(n)
    loss = -np.log(np.maximum(p[rows, targets], 1e-15)).sum() / n
    p[rows, targets] -= 1.0
    p /= n
    return loss, p


def np_clamp(p):
    return np.clip(p, 1e-15, 1.0 - 1e-15)


LOSS_PEERS = {
    "mse_loss": lambda p, y: np.mean(np.square(p - y)),
    "mae_loss": lambda p, y: np.mean(np.abs(p - y)),
    "bce_loss": lambda p, y: (lambda c: -np.mean(y * np.log(c) + (1.0 - y) * np.log(1.0 - c)))(np_clamp(p)),
    "categorical_cross_entropy": lambda p, y: -np.mean(y * np.log(np_clamp(p))),
}


EPS = 1e-15


class Strongest:
    """The losses, softmax and clipping as a careful NumPy user writes them:
    scratch arrays reused through out=, reductions through BLAS-backed @."""

    def __init__(self, n):
        self.d, self.c, self.w = np.empty(n), np.empty(n), np.empty(n)

    def mse(self, p, y):
        d = np.subtract(p, y, out=self.d)
        return d @ d / len(d)

    def mae(self, p, y):
        d = np.subtract(p, y, out=self.d)
        return np.abs(d, out=d).sum() / len(d)

    def bce(self, p, y):
        c = np.clip(p, EPS, 1.0 - EPS, out=self.c)
        log_c = np.log(c, out=self.d)
        log_1c = np.log(np.subtract(1.0, c, out=c), out=c)
        return -(y @ log_c + np.subtract(1.0, y, out=self.w) @ log_1c) / len(c)

    def cce(self, p, y):
        c = np.log(np.clip(p, EPS, 1.0, out=self.c), out=self.c)
        return -(y @ c) / len(c)


STRONGEST_LOSSES = (("mse_loss", "mse", "d @ d / n (out=)"), ("mae_loss", "mae", "abs(d, out=d).sum() / n"),
                    ("bce_loss", "bce", "clip, two logs, two @ (out=)"),
                    ("categorical_cross_entropy", "cce", "-(t @ log(clip)) / n (out=)"))


def strongest_losses(pred, truth, targets, label=""):
    """One row for each loss named in targets (name -> target ratio) against
    the Strongest expression; label follows the name."""
    strong = Strongest(len(pred))
    for name, method, peer_name in STRONGEST_LOSSES:
        if name not in targets:
            continue
        ours, peer = getattr(q, name), getattr(strong, method)
        compare(f"{name}{label}", lambda: ours(pred, truth), lambda: peer(pred, truth), targets[name], peer_name,
                settle="@" in peer_name)


def mini_batch_losses(rng):
    """The pair losses at the sizes of one mini-batch, where the sum is one
    sequential chain."""
    header("losses of a mini-batch")
    for n in (320, 5_000):
        pred = rng.random(n)
        truth = (rng.random(n) < 0.5).astype(np.float64)
        strongest_losses(pred, truth, {"bce_loss": 1.5, "categorical_cross_entropy": 1.5}, f" {n:,}")


def np_softmax_out(x, out, row_max, row_sum):
    np.max(x, axis=1, keepdims=True, out=row_max)
    np.subtract(x, row_max, out=out)
    np.exp(out, out=out)
    np.sum(out, axis=1, keepdims=True, out=row_sum)
    return np.divide(out, row_sum, out=out)


def np_one_hot(idx, k):
    out = np.zeros((len(idx), k))
    out[np.arange(len(idx)), idx] = 1.0
    return out


def np_tanh_derivative_out(x, out):
    t = np.tanh(x, out=out)
    np.multiply(t, t, out=t)
    return np.subtract(1.0, t, out=t)


def np_gelu_out(x, out):
    np.multiply(x, x, out=out)
    np.multiply(out, x, out=out)
    np.multiply(out, 0.044715, out=out)
    np.add(out, x, out=out)
    np.multiply(out, GELU_C, out=out)
    np.tanh(out, out=out)
    np.add(out, 1.0, out=out)
    np.multiply(out, x, out=out)
    return np.multiply(out, 0.5, out=out)


def np_sgd(params, grads, velocity, lr, momentum, tmp):
    np.multiply(velocity, momentum, out=velocity)
    np.add(velocity, grads, out=velocity)
    np.multiply(velocity, lr, out=tmp)
    np.subtract(params, tmp, out=params)


def np_adam(params, grads, m, v, tmp, lr=0.001, beta1=0.9, beta2=0.999, eps=1e-8, t=1):
    bc1, bc2 = 1.0 - beta1**t, 1.0 - beta2**t
    np.multiply(m, beta1, out=m)
    np.multiply(grads, 1.0 - beta1, out=tmp)
    np.add(m, tmp, out=m)
    np.multiply(v, beta2, out=v)
    np.multiply(grads, grads, out=tmp)
    np.multiply(tmp, 1.0 - beta2, out=tmp)
    np.add(v, tmp, out=v)
    np.divide(v, bc2, out=tmp)
    np.sqrt(tmp, out=tmp)
    np.add(tmp, eps, out=tmp)
    np.divide(m, tmp, out=tmp)
    np.multiply(tmp, lr / bc1, out=tmp)
    np.subtract(params, tmp, out=params)


def np_clip(grads, max_norm):
    norm = np.linalg.norm(grads)
    if norm > max_norm:
        grads *= max_norm / norm
    return norm


def np_dropout(x, p, seed):
    rng = np.random.default_rng(seed)
    return x * (rng.random(x.size) < 1.0 - p) * (1.0 / (1.0 - p))


def run():
    rng = np.random.default_rng(5)
    peers = activation_peers()
    for n, target in ((1_000_000, 2.0), (5_000, 1.5)):
        header(f"activations, {n:,} elements")
        x = rng.standard_normal(n) * 3.0
        for name in ("relu", "relu_derivative", "leaky_relu", "leaky_relu_derivative", "elu", "elu_derivative",
                     "gelu", "silu", "silu_derivative", "sigmoid", "sigmoid_derivative", "tanh", "tanh_derivative"):
            if name not in peers:
                print(f"  (SciPy not installed: {name} skipped)")
                continue
            ours, (peer, peer_name) = getattr(q, name), peers[name]
            compare(f"{name} {n:,}", lambda: ours(x), lambda: peer(x), target, peer_name)
        out = np.empty(n)
        strongest = {"tanh": lambda: np.tanh(x, out=out), "tanh_derivative": lambda: np_tanh_derivative_out(x, out),
                     "gelu": lambda: np_gelu_out(x, out)}
        for name, peer in strongest.items():
            ours = getattr(q, name)
            compare(f"{name} {n:,}", lambda: ours(x), peer, 1.0, "numpy with out=")

    header("softmax and cross-entropy")
    for shape in ((20_000, 10), (1_000, 1_000)):
        logits = rng.standard_normal(shape) * 4.0
        if scipy_softmax is None:
            print("  (SciPy not installed: softmax skipped)")
        else:
            compare(f"softmax {shape}", lambda: q.softmax(logits), lambda: scipy_softmax(logits, axis=1), 3.0,
                    "scipy.special.softmax")
        out, row_max, row_sum = np.empty(shape), np.empty((shape[0], 1)), np.empty((shape[0], 1))
        compare(f"softmax {shape}", lambda: q.softmax(logits), lambda: np_softmax_out(logits, out, row_max, row_sum),
                1.5, "numpy max/exp/sum with out=")
    logits = rng.standard_normal((20_000, 10)) * 4.0
    targets = rng.integers(0, 10, 20_000)
    compare("softmax_cross_entropy (20000, 10)", lambda: q.softmax_cross_entropy(logits, targets),
            lambda: np_softmax_cross_entropy(logits, targets), 3.0, "numpy loss + gradient")

    header("losses and one-hot, 1,000,000 elements")
    n = 1_000_000
    pred = rng.random(n)
    truth = (rng.random(n) < 0.5).astype(np.float64)
    for name, peer in LOSS_PEERS.items():
        ours = getattr(q, name)
        compare(name, lambda: ours(pred, truth), lambda: peer(pred, truth), 2.0, "numpy expression")
    strongest_losses(pred, truth, {"mse_loss": 2.0, "mae_loss": 2.0, "bce_loss": 1.8, "categorical_cross_entropy": 1.5})
    idx = rng.integers(0, 10, n)
    eye = np.eye(10)
    compare("one_hot 1,000,000 x 10", lambda: q.one_hot(idx, 10), lambda: eye[idx], 2.0, "np.eye(10)[idx]")
    compare("one_hot 1,000,000 x 10", lambda: q.one_hot(idx, 10), lambda: np_one_hot(idx, 10), 1.5,
            "np.zeros + scatter")
    mini_batch_losses(rng)

    header("optimizer steps, clipping and dropout, 1,000,000 elements")
    grads = rng.standard_normal(n)
    tmp = np.empty(n)
    p1, v1, p2, v2 = np.zeros(n), np.zeros(n), np.zeros(n), np.zeros(n)
    compare("sgd_momentum_step", lambda: q.sgd_momentum_step(p1, grads, v1, 0.01, 0.9),
            lambda: np_sgd(p2, grads, v2, 0.01, 0.9, tmp), 3.0, "numpy in place (out=)")
    p1, m1, s1, p2, m2, s2 = (np.zeros(n) for _ in range(6))
    compare("adam_step", lambda: q.adam_step(p1, grads, m1, s1), lambda: np_adam(p2, grads, m2, s2, tmp), 3.0,
            "numpy in place (out=)")
    # A negative max_norm rescales on every call and keeps the length at 1.
    g1, g2 = grads.copy(), grads.copy()
    compare("clip_grad_norm", lambda: q.clip_grad_norm(g1, -1.0), lambda: np_clip(g2, -1.0), 1.5,
            "np.linalg.norm + scale", settle=True)
    compare("clip_grad_norm, nothing to clip", lambda: q.clip_grad_norm(g1, 1e300), lambda: np.linalg.norm(g1), 1.0,
            "np.linalg.norm", settle=True)
    if not hasattr(q, "dropout"):
        print("  (dropout not built: row skipped)")
        return
    compare("dropout p=0.5 seeded", lambda: q.dropout(grads, 0.5, seed=7), lambda: np_dropout(grads, 0.5, 7), 1.0,
            "default_rng mask")
