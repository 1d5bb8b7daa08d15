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

    header("softmax and cross-entropy")
    for shape in ((20_000, 10), (1_000, 1_000)):
        logits = rng.standard_normal(shape) * 4.0
        if scipy_softmax is None:
            print("  (SciPy not installed: softmax skipped)")
        else:
            compare(f"softmax {shape}", lambda: q.softmax(logits), lambda: scipy_softmax(logits, axis=1), 3.0,
                    "scipy.special.softmax")
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
    idx = rng.integers(0, 10, n)
    eye = np.eye(10)
    compare("one_hot 1,000,000 x 10", lambda: q.one_hot(idx, 10), lambda: eye[idx], 2.0, "np.eye(10)[idx]")

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
            "np.linalg.norm + scale")
    if not hasattr(q, "dropout"):
        print("  (dropout not built: row skipped)")
        return
    compare("dropout p=0.5 seeded", lambda: q.dropout(grads, 0.5, seed=7), lambda: np_dropout(grads, 0.5, 7), 1.0,
            "default_rng mask")
