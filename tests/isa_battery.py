"""Run by test_isa.py with QUORVANE_ISA set: every result promised identical on
every processor, over sizes around the vector widths, the groups of vectors,
the blocks and the parallel threshold, on inputs holding NaNs of both signs
and with payloads, infinities, signed zeros and subnormals. Prints, as JSON,
one digest of the raw bytes per name, and the names whose computed results
hold a NaN other than the canonical one."""

import hashlib
import json
import random
import string

import numpy as np
import quorvane as q

rng = np.random.default_rng(20261208)
# Around the vector widths (2, 4, 8), the groups of four vectors (8, 32), the
# lanes of the sums (32), their blocks and pieces, and the parallel threshold.
SIZES = (1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 65, 257, 1023, 2049, 9999, 10000, 10007, 40003)
# Quiet and signalling NaNs of both signs, with and without payloads.
NANS = np.array([0x7FF8000000000000, 0xFFF8000000000000, 0x7FF800000000DEAD, 0xFFFC00000000BEEF,
                 0x7FF0000000000001, 0xFFF4000000000123], dtype=np.uint64).view(np.float64)
SPECIAL = np.concatenate([NANS, [0.0, -0.0, np.inf, -np.inf, 5e-324, -5e-324, 1e-310, -1e-310, 709.7, 710.0,
                                 -745.1, -746.0, 800.0, -800.0, 1e300, -1e300, 20.0, -20.0, 0.5, -0.5, 1e-20]])
CANONICAL_NAN = np.float64(np.nan).view(np.uint64)
digests: dict[str, str] = {}
foreign_nans: list[str] = []


def put(name, *values, moved=()):
    """Digests the values' bytes; those not in `moved` are computed results,
    whose NaNs must all be the canonical one."""
    h = hashlib.sha256()
    for i, v in enumerate(values):
        v = np.asarray(v, dtype=np.float64)
        h.update(v.tobytes())
        if i not in moved and np.any(np.isnan(v) & (v.view(np.uint64) != CANONICAL_NAN)):
            foreign_nans.append(name)
            break
    digests[name] = h.hexdigest()


def put_call(name, f):
    try:
        put(name, *f())
    except ValueError as e:
        digests[name] = repr(e)


def floats(n, scale=3.0, share=0.25):
    """n normal values, about `share` of them special ones, at least one a NaN."""
    x = rng.standard_normal(n) * scale
    if share:
        special = rng.random(n) < share
        x[special] = rng.choice(SPECIAL, special.sum())
        x[rng.integers(n)] = rng.choice(NANS)
    return x


def probabilities(n, share=0.0):
    p = rng.random(n)
    p[: min(n, 4)] = [0.0, 1.0, 1e-17, 1 - 1e-17][: min(n, 4)]
    if share:
        special = rng.random(n) < share
        p[special] = rng.choice(SPECIAL, special.sum())
        p[rng.integers(n)] = rng.choice(NANS)
    return p


def rows(n, d, share=0.02, scale=4.0):
    return floats(n * d, scale, share).reshape(n, d).tolist()


# Elementwise formulas, unit-stride and strided.
for n in SIZES:
    x = floats(2 * n)
    # One quiet NaN, in the last lane: where no signalling NaN raises the
    # invalid flag for it, the tail's own steps must.
    clean, lone = floats(n, share=0.0), floats(n, share=0.0)
    lone[-1] = NANS[3]
    for name in ("relu", "relu_derivative", "elu", "elu_derivative", "gelu", "silu", "silu_derivative", "sigmoid",
                 "sigmoid_derivative", "tanh", "tanh_derivative"):
        f = getattr(q, name)
        put(f"{name}/{n}", f(x[:n]), f(x[::2]), f(lone))
    for alpha in (0.01, NANS[3]):
        for name in ("leaky_relu", "leaky_relu_derivative", "elu", "elu_derivative"):
            f = getattr(q, name)
            put(f"{name}/{n}/{alpha}", f(x[:n], alpha), f(x[::2], alpha), f(clean, alpha), f(lone, alpha))
    put(f"elu/{n}/inf", q.elu(x[:n], np.inf), q.elu_derivative(x[:n], -np.inf))

# Losses, on clean inputs and on inputs with special values.
for n in SIZES:
    for share in (0.0, 0.25):
        a, b = floats(n, share=share), floats(n, share=share)
        p, t = probabilities(n, share), probabilities(n, share)
        put(f"mse_loss/{n}/{share}", q.mse_loss(a, b), q.mse_loss(a[::-1], b))
        put(f"mae_loss/{n}/{share}", q.mae_loss(a, b), q.mae_loss(a[::-1], b))
        put(f"bce_loss/{n}/{share}", q.bce_loss(p, t), q.bce_loss(p[::-1], t))
        put(f"categorical_cross_entropy/{n}/{share}", q.categorical_cross_entropy(p, t))

# Softmax and its cross-entropy; one_hot.
for r, c in ((1, 1), (3, 7), (9, 2), (9, 33), (17, 4), (8, 8), (16, 9), (5, 17), (2, 1029), (10000, 3),
             (10001, 9)):
    x = floats(r * c, 10.0, 0.03).reshape(r, c)
    targets = rng.integers(0, c, r)
    put(f"softmax/{r}x{c}", q.softmax(x))
    put(f"softmax_cross_entropy/{r}x{c}", *q.softmax_cross_entropy(x, targets))
    put(f"one_hot/{r}x{c}", q.one_hot(targets, c))

# Optimizer steps and clipping, two steps each.
for n in SIZES:
    params, grads = floats(n), floats(n)
    velocity, m, v = floats(n), floats(n, share=0.05), np.abs(floats(n, share=0.05))
    adam_params = params.copy()
    for t in (1, 2):
        q.sgd_momentum_step(params, grads, velocity, 0.01, 0.9)
        q.adam_step(adam_params, grads, m, v, 0.001, 0.9, 0.999, 1e-8, t)
    put(f"sgd_momentum_step/{n}", params, velocity)
    put(f"adam_step/{n}", adam_params, m, v)
    for kind, g in (("clean", rng.standard_normal(n)), ("special", floats(n)), ("inf", np.full(n, -np.inf))):
        # A NaN norm leaves the gradients alone.
        put(f"clip_grad_norm/{n}/{kind}", q.clip_grad_norm(g, 0.5), g, moved=(1,) if kind == "special" else ())

# Seeded random draws: ChaCha12, unit floats, normals, dropout.
for n in SIZES:
    put(f"rand/{n}", q.Tensor.rand([n], seed=n).data)
    put(f"randn/{n}", q.Tensor.randn([n], seed=n).data)
    put(f"dropout/{n}", q.dropout(floats(n), 0.3, seed=n))

# The Tensor's elementwise methods.
for n in SIZES:
    a, b = q.Tensor(floats(n)), q.Tensor(floats(n))
    put(f"Tensor.add/{n}", a.add(b).data)
    put(f"Tensor.sub/{n}", a.sub(b).data)
    put(f"Tensor.mul_elementwise/{n}", a.mul_elementwise(b).data)
    put(f"Tensor.mul_scalar/{n}", a.mul_scalar(-1.7).data, a.mul_scalar(NANS[5]).data, a.mul_scalar(0.0).data)
    put(f"Tensor.relu_derivative/{n}", a.relu_derivative().data)
    c = a.reshape([1, n])
    c.add_bias_inplace(floats(n))
    c.relu_inplace()
    put(f"Tensor.add_bias_inplace.relu_inplace/{n}", c.data)

# Statistics over lists.
for n in SIZES[:18]:
    x, y = floats(n).tolist(), floats(n).tolist()
    put(f"stats/{n}", q.mean(x), q.variance(x), q.std_dev(x), q.dot_product(x, y), q.median(x),
        moved=(4,) if n == 1 else ())

# k-means, the pairwise tables, determinant and inverse, list matmul.
for n, d, k in ((40, 1, 3), (77, 3, 5), (300, 17, 7), (10000, 2, 4), (10003, 5, 9)):
    data = rows(n, d, share=0.002, scale=5.0)
    cent, labels = q.kmeans(data, k, 20, 0.0)
    cent = np.asarray(cent)
    # A cluster left empty goes back to its start row, moved as it is.
    start = np.asarray(data)[np.arange(k) * (n // k) % n]
    kept = np.all(cent.view(np.uint64) == start.view(np.uint64), axis=1)
    put(f"kmeans/{n}x{d}", cent[~kept], labels, cent[kept], moved=(2,))
for m, p, d in ((1, 1, 1), (3, 33, 5), (70, 65, 9), (5, 100, 33), (10000, 5, 3)):
    a, b = rows(m, d), rows(p, d)
    a[0] = a[0][: max(1, d // 2)]  # a row shorter than b's
    if m > 1:
        a[1] = [0.0] * d
    put(f"pairwise_cosine/{m}x{p}x{d}", q.pairwise_cosine(a, b))
    put(f"pairwise_manhattan/{m}x{p}x{d}", q.pairwise_manhattan(a, b))
    b[-1] = b[-1][:-1]  # ragged: pair by pair
    put(f"pairwise_cosine/{m}x{p}x{d}/ragged", q.pairwise_cosine(a, b))
    put(f"pairwise_manhattan/{m}x{p}x{d}/ragged", q.pairwise_manhattan(a, b))
for n in (1, 2, 3, 4, 5, 8, 9, 16, 17, 33, 70):
    for share in (0.0, 0.01):
        a = rows(n, n, share, 1.0)
        put_call(f"determinant/{n}/{share}", lambda: (q.determinant(a),))
        put_call(f"matrix_inverse/{n}/{share}", lambda: (q.matrix_inverse(a),))
        put(f"matmul/{n}/{share}", q.matmul(a, rows(n, 2 * n + 1, share)))

# levenshtein: one word, a few words, the wavefront and its band.
gen = random.Random(5)
for n, m, alphabet in ((0, 5, 4), (5, 60, 4), (64, 64, 26), (100, 70, 4), (250, 200, 2), (900, 300, 26),
                       (2000, 1800, 4), (3000, 3100, 95)):
    a = "".join(gen.choice(string.printable[:alphabet]) for _ in range(n))
    b = "".join(gen.choice(string.printable[:alphabet]) for _ in range(m))
    put(f"levenshtein/{n}x{m}", q.levenshtein(a, b), q.levenshtein(a, a[: n // 2] + b[:10] + a[n // 2 :]))

# The matrix product, whose bits are its own at each level.
x, y = rng.standard_normal((67, 300)), rng.standard_normal((300, 45))
put("Tensor.matmul", q.Tensor(x).matmul(q.Tensor(y)).data)

print(json.dumps({"digests": digests, "foreign_nans": foreign_nans}))
