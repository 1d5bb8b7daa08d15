"""Run by test_isa.py with QUORVANE_ISA set: every result promised identical on
every processor, over sizes around the vector widths, the blocks and the
parallel threshold, printed as one digest of its bytes per name (JSON)."""

import hashlib
import json
import random
import string

import numpy as np
import quorvane as q

rng = np.random.default_rng(20261208)
SIZES = (1, 2, 3, 5, 7, 9, 15, 17, 31, 33, 63, 65, 257, 1023, 2049, 9999, 10000, 10007, 40003)
SPECIAL = [0.0, -0.0, np.nan, np.inf, -np.inf, 1e-310, -1e-310, 709.7, 710.0, -745.1, -746.0, 800.0, -800.0,
           1e300, -1e300, 20.0, -20.0, 0.5, -0.5, 1e-20]
digests: dict[str, str] = {}


def put(name, *values):
    # A NaN's sign follows the order of an instruction's operands, which
    # each level's build chooses: NaNs count as equal.
    h = hashlib.sha256()
    for v in values:
        v = np.asarray(v, dtype=np.float64)
        h.update(np.where(np.isnan(v), np.nan, v).tobytes())
    digests[name] = h.hexdigest()


def floats(n, scale=3.0):
    x = rng.standard_normal(n) * scale
    x[: min(n, len(SPECIAL))] = SPECIAL[: min(n, len(SPECIAL))]
    return rng.permutation(x)


def probabilities(n):
    p = rng.random(n)
    p[: min(n, 4)] = [0.0, 1.0, 1e-17, 1 - 1e-17][: min(n, 4)]
    return p


# Elementwise formulas, unit-stride and strided.
for n in SIZES:
    x = floats(2 * n)
    for name in ("relu", "relu_derivative", "leaky_relu", "leaky_relu_derivative", "elu", "elu_derivative", "gelu",
                 "silu", "silu_derivative", "sigmoid", "sigmoid_derivative", "tanh", "tanh_derivative"):
        f = getattr(q, name)
        put(f"{name}/{n}", f(x[:n]), f(x[::2]))

# Losses.
for n in SIZES:
    a, b = floats(n), floats(n)
    p, t = probabilities(n), probabilities(n)
    put(f"mse_loss/{n}", q.mse_loss(a, b), q.mse_loss(a[::-1], b))
    put(f"mae_loss/{n}", q.mae_loss(a, b), q.mae_loss(a[::-1], b))
    put(f"bce_loss/{n}", q.bce_loss(p, t), q.bce_loss(p[::-1], t))
    put(f"categorical_cross_entropy/{n}", q.categorical_cross_entropy(p, t))

# Softmax and its cross-entropy; one_hot.
for rows, cols in ((1, 1), (3, 7), (9, 33), (17, 5), (2, 1029), (10000, 3), (10001, 9)):
    x = floats(rows * cols, 10.0).reshape(rows, cols)
    targets = rng.integers(0, cols, rows)
    put(f"softmax/{rows}x{cols}", q.softmax(x))
    put(f"softmax_cross_entropy/{rows}x{cols}", *q.softmax_cross_entropy(x, targets))
    put(f"one_hot/{rows}x{cols}", q.one_hot(targets, cols))

# Optimizer steps and clipping, two steps each.
for n in SIZES:
    params, grads = floats(n), floats(n)
    velocity, m, v = floats(n), np.zeros(n), np.zeros(n)
    adam_params = params.copy()
    for t in (1, 2):
        q.sgd_momentum_step(params, grads, velocity, 0.01, 0.9)
        q.adam_step(adam_params, grads, m, v, 0.001, 0.9, 0.999, 1e-8, t)
    put(f"sgd_momentum_step/{n}", params, velocity)
    put(f"adam_step/{n}", adam_params, m, v)
    g = rng.standard_normal(n)
    put(f"clip_grad_norm/{n}", q.clip_grad_norm(g, 0.5), g)

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
    put(f"Tensor.mul_scalar/{n}", a.mul_scalar(-1.7).data)
    put(f"Tensor.relu_derivative/{n}", a.relu_derivative().data)
    c = a.reshape([1, n])
    c.add_bias_inplace(floats(n))
    c.relu_inplace()
    put(f"Tensor.add_bias_inplace.relu_inplace/{n}", c.data)

# k-means, the pairwise tables, determinant and inverse, list matmul.
for n, d, k in ((40, 1, 3), (77, 3, 5), (300, 17, 7), (10000, 2, 4), (10003, 5, 9)):
    data = (rng.standard_normal((n, d)) * 5).tolist()
    cent, labels = q.kmeans(data, k, 20, 0.0)
    put(f"kmeans/{n}x{d}", cent, labels)
for m, p, d in ((1, 1, 1), (3, 33, 5), (70, 65, 9), (5, 100, 33), (10000, 5, 3)):
    a, b = (rng.standard_normal((m, d)) * 4).tolist(), (rng.standard_normal((p, d)) * 4).tolist()
    a[0] = a[0][: max(1, d // 2)]  # a row shorter than b's
    if m > 1:
        a[1] = [0.0] * d
    put(f"pairwise_cosine/{m}x{p}x{d}", q.pairwise_cosine(a, b))
    put(f"pairwise_manhattan/{m}x{p}x{d}", q.pairwise_manhattan(a, b))
for n in (1, 2, 3, 4, 5, 8, 9, 16, 17, 33, 70):
    a = rng.standard_normal((n, n)).tolist()
    put(f"determinant/{n}", q.determinant(a))
    put(f"matrix_inverse/{n}", q.matrix_inverse(a))
    put(f"matmul/{n}", q.matmul(a, rng.standard_normal((n, 2 * n + 1)).tolist()))

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

print(json.dumps(digests))
