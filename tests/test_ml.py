"""kmeans, determinant, matrix_inverse, pairwise_cosine and pairwise_manhattan."""
import collections
import copy
import math
import sys

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import quorvane as qv

FAR = sys.float_info.max


def same(x, y):
    """Equal bit for bit (any NaN equals any NaN)."""
    if isinstance(x, list):
        return isinstance(y, list) and len(x) == len(y) and all(same(a, b) for a, b in zip(x, y))
    if isinstance(x, float) and math.isnan(x):
        return isinstance(y, float) and math.isnan(y)
    return type(x) is type(y) and x == y and math.copysign(1, x) == math.copysign(1, y)


# Few distinct values: ties, zero pivots and repeated rows are common.
SMALL = st.sampled_from([0.0, -0.0, 1.0, -1.0, 2.0, 0.5, 3.0, -2.5, 1e-13])
VALUES = SMALL | st.floats(-1e3, 1e3, allow_nan=False)


# --- determinant and matrix_inverse ----------------------------------------------

def pivot(m, i):
    p, best = i, abs(m[i][i])
    for r in range(i + 1, len(m)):
        if abs(m[r][i]) > best:
            p, best = r, abs(m[r][i])
    return p


def py_determinant(rows, taken=None):
    """The elimination; taken counts the early returns of a zero pivot."""
    taken = collections.Counter() if taken is None else taken
    m = [[float(v) for v in r] for r in rows]
    n = len(m)
    if n == 1:
        return m[0][0]
    det = 1.0
    for i in range(n):
        p = pivot(m, i)
        if p != i:
            m[i], m[p] = m[p], m[i]
            det = -det
        if abs(m[i][i]) < 1e-12:
            taken["zero pivot"] += 1
            return 0.0
        for r in range(i + 1, n):
            f = m[r][i] / m[i][i]
            for c in range(i, n):
                m[r][c] = m[r][c] - m[i][c] * f
        det = det * m[i][i]
    return det


GROUP = 8  # elimination steps of the inverse taken together


def py_inverse(rows, taken=None):
    """Gauss-Jordan, one step at a time. taken counts singular matrices, and
    the groups of steps that reach the inverse's fallback: the first group
    whose pivots or factors are not all finite and not NaN, once every step
    of it has passed."""
    taken = collections.Counter() if taken is None else taken
    m = [[float(v) for v in r] for r in rows]
    n = len(m)
    inv = [[1.0 if r == c else 0.0 for c in range(n)] for r in range(n)]
    irregular = None  # the first such group

    def fallback(groups_done):
        if irregular is not None and irregular < groups_done:
            taken["fallback in the first group" if irregular == 0 else "fallback in a later group"] += 1

    for i in range(n):
        p = pivot(m, i)
        if abs(m[p][i]) < 1e-12:
            taken["singular"] += 1
            fallback(i // GROUP)
            return None
        m[i], m[p] = m[p], m[i]
        inv[i], inv[p] = inv[p], inv[i]
        v = m[i][i]
        regular = not math.isnan(v)
        m[i] = [x / v for x in m[i]]
        inv[i] = [x / v for x in inv[i]]
        for r in range(n):
            if r != i:
                f = m[r][i]
                regular = regular and math.isfinite(f)
                m[r] = [a - b * f for a, b in zip(m[r], m[i])]
                inv[r] = [a - b * f for a, b in zip(inv[r], inv[i])]
        if not regular and irregular is None:
            irregular = i // GROUP
    fallback(n)
    return inv


SQUARE_VALUES = VALUES | st.sampled_from([float("nan"), float("inf"), -float("inf"), 1e308])


@given(st.integers(1, 7).flatmap(
    lambda n: st.lists(st.lists(SQUARE_VALUES, min_size=n, max_size=n), min_size=n, max_size=n)))
@settings(max_examples=300)
def test_square_routines_match_the_elimination_bit_for_bit(m):
    before = copy.deepcopy(m)
    check_square_routines(m)
    assert same(m, before)


def check_square_routines(m, taken=None):
    assert same(qv.determinant(m), py_determinant(m, taken))
    expected = py_inverse(m, taken)
    if expected is None:
        with pytest.raises(ValueError, match=r"^Matrix is singular and cannot be inverted\.$"):
            qv.matrix_inverse(m)
    else:
        assert same(qv.matrix_inverse(m), expected)


@pytest.mark.parametrize("n", [8, 9, 17, 30])
def test_larger_matrices_bit_for_bit(n):
    """Several groups of elimination steps: ties, a singular matrix, a regular one."""
    rng = np.random.default_rng(n)
    ties = rng.integers(-2, 3, (n, n)).astype(float)
    singular = ties.copy()
    singular[n // 2] = singular[1]
    for m in (ties, singular, rng.normal(size=(n, n))):
        check_square_routines(m.tolist())


@pytest.mark.parametrize("n", [9, 17, 26])
def test_inverse_bit_for_bit_with_exact_zeros(n):
    """Signed permutations and 2 x 2 blocks: row swaps, negative pivots, and
    inverses full of zeros whose signs come from every step."""
    rng = np.random.default_rng(n)
    signed = np.eye(n)[rng.permutation(n)] * rng.choice([-1.0, 2.0, -0.5], n)[:, None]
    blocks = np.zeros((n, n))
    for i in range(0, n - 1, 2):
        blocks[i:i + 2, i:i + 2] = rng.choice([-3.0, -1.0, 0.0, 1.0, 2.0], (2, 2)) + np.diag([-4.0, 5.0])
    blocks[n - 1, n - 1] = -1.0
    for m in (-np.eye(n), signed, blocks, blocks[rng.permutation(n)]):
        check_square_routines(m.tolist())


@pytest.mark.parametrize("n", [1, GROUP - 1, GROUP, GROUP + 1, 11, 12, 13, 2 * GROUP + 1])
def test_square_routines_around_the_groups(n):
    """n around the groups of 8 elimination steps and of the 4 other rows
    that take a group's steps together (3, 4 and 5 of them at n = 11, 12,
    13), over regular matrices, singular ones, and non-finite values that
    send the inverse to its fallback in the first or in a later group."""
    rng = np.random.default_rng(n)
    taken = collections.Counter()
    special = [float("inf"), -float("inf"), float("nan"), 1e308]
    for j in range(48):
        m = rng.normal(size=(n, n))
        kind, c = j % 4, j % n
        if kind == 1:  # column c a combination of the earlier ones: a zero pivot at step c
            m[:, c] = m[:, :c] @ rng.integers(-2, 3, c).astype(float)
        elif kind > 1:  # a non-finite value in column c of the first group, or of a later one
            c = j % min(n, GROUP) if kind == 2 or n <= GROUP else GROUP + j % (n - GROUP)
            m[j % (c + 1), c] = special[j // 4 % 4]
        check_square_routines(m.tolist(), taken)
    # The counts come from the transcription: every branch is taken many times.
    assert taken["singular"] >= 10 and taken["zero pivot"] >= (10 if n > 1 else 0), taken
    assert taken["fallback in the first group"] >= 4, taken
    assert taken["fallback in a later group"] >= (5 if n > GROUP else 0), taken


@pytest.mark.parametrize("n", [12, 21])
@pytest.mark.parametrize("where", [3, 10, 19])
@pytest.mark.parametrize("value", [float("inf"), -float("inf"), float("nan"), 1e308, -0.0])
def test_inverse_bit_for_bit_with_a_special_value_in_a_later_group(n, where, value):
    """The inverse's columns not yet reached by a pivot row are skipped while the
    factors stay finite; a non-finite factor or pivot in any group, or negative
    pivots (signed zeros), must give the same bits as the full elimination."""
    rng = np.random.default_rng(n + where)
    m = rng.normal(size=(n, n)) - 2 * np.eye(n)
    m[min(where + 2, n - 1), min(where, n - 1)] = value
    m[min(where, n - 1), 0] = value
    check_square_routines(m.tolist())
    m[:, 5] *= 1e-300  # tiny pivots and factors, ties of zeros
    check_square_routines(m.tolist())


@pytest.mark.parametrize("n", [2, 3, 30, 120])
def test_square_routines_close_to_numpy(n):
    a = np.random.default_rng(n).uniform(-1, 1, (n, n)) + n * np.eye(n)
    assert math.isclose(qv.determinant(a.tolist()), np.linalg.det(a), rel_tol=1e-9)
    np.testing.assert_allclose(qv.matrix_inverse(a.tolist()), np.linalg.inv(a), rtol=1e-9, atol=1e-12)


@pytest.mark.parametrize(
    "m, det",
    [([[0, 1], [1, 0]], -1.0), ([[1, 2], [2, 4]], 0.0), ([[1e-13, 0], [0, 1e-13]], 0.0), ([[1e-13]], 1e-13),
     ([[2, 0], [0, 3]], 6.0), ([[1e-12, 0], [0, 1]], 1e-12), ([[-0.0]], -0.0), ([[float("nan"), 1], [1, 1]], None)],
)
def test_determinant_examples(m, det):
    got = qv.determinant(m)
    assert math.isnan(got) if det is None else same(got, det)


def test_matrix_inverse_examples():
    assert qv.matrix_inverse([[2.0]]) == [[0.5]]
    assert same(qv.matrix_inverse([[0, 1], [1, 0]]), [[0.0, 1.0], [1.0, 0.0]])
    with pytest.raises(ValueError, match=r"^Matrix is singular and cannot be inverted\.$"):
        qv.matrix_inverse([[1, 2], [2, 4]])


@pytest.mark.parametrize("fn", [qv.determinant, qv.matrix_inverse])
@pytest.mark.parametrize("m", [[], [[1, 2]], [[1, 2], [3]], [[1], [2]], np.zeros((2, 3)), np.zeros((0, 0))])
def test_not_square(fn, m):
    with pytest.raises(ValueError, match=r"^Matrix must be square\.$"):
        fn(m)


# --- pairwise tables -------------------------------------------------------------

def py_cosine(a, b):
    n = min(len(a), len(b))
    dot = na = nb = 0.0
    for k in range(n):
        dot += a[k] * b[k]
        na += a[k] * a[k]
        nb += b[k] * b[k]
    return 0.0 if na == 0.0 or nb == 0.0 else dot / (math.sqrt(na) * math.sqrt(nb))


def py_manhattan(a, b):
    s = -0.0
    for x, y in zip(a, b):
        s += abs(x - y)
    return s


PAIRWISE = [(qv.pairwise_cosine, py_cosine), (qv.pairwise_manhattan, py_manhattan)]


def table(ref, a, b):
    return [[ref([float(x) for x in r], [float(y) for y in s]) for s in b] for r in a] if a and b else []


def rows(length):
    return st.lists(st.lists(VALUES, min_size=length, max_size=length), max_size=40)


# Rows of one length (the lane path) and ragged rows (the pair-by-pair path).
MATRICES = (st.integers(0, 9).flatmap(rows)
            | st.lists(st.lists(VALUES | st.just(float("nan")) | st.just(float("inf")), max_size=9), max_size=40))


@pytest.mark.parametrize("fn, ref", PAIRWISE)
@given(a=MATRICES, b=MATRICES)
@settings(max_examples=150)
def test_pairwise_matches_the_formulas_bit_for_bit(fn, ref, a, b):
    assert same(fn(a, b), table(ref, a, b))


def test_pairwise_examples():
    assert same(qv.pairwise_cosine([[1, 0]], [[0, 1], [2, 0], [0, 0]]), [[0.0, 1.0, 0.0]])
    assert qv.pairwise_cosine([[3, 4, 7]], [[3, 4]]) == [[1.0]]
    assert same(qv.pairwise_manhattan([[1, 2]], [[4, 0], [1, 2, 9]]), [[5.0, 0.0]])
    assert same(qv.pairwise_manhattan([[]], [[1.0]]), [[-0.0]])
    assert same(qv.pairwise_manhattan([[-0.0]], [[0.0]]), [[0.0]])
    for fn, _ in PAIRWISE:
        assert fn([], [[1.0]]) == fn([[1.0]], []) == fn([], []) == []


LANES = 32  # rows of matrix_b to a block of lanes


@pytest.mark.parametrize("ragged", [False, True])
@pytest.mark.parametrize("p", [1, LANES - 1, LANES, LANES + 1, 2 * LANES + 1])
def test_pairwise_around_the_lane_blocks(p, ragged):
    """p rows of matrix_b (one length: blocks of 32 lanes; ragged: pair by
    pair) against rows of a taken two at a time, alone, shorter and longer
    than b's rows; for the widest b, more rows of a than one scratch block of
    the table (2**15 values)."""
    rng = np.random.default_rng(p)
    length = 6
    b = rng.normal(size=(p, length + 2)).tolist()
    b = [row[:length + (ragged and j % 3 - 1)] for j, row in enumerate(b)]
    b[p // 2] = [0.0] * len(b[p // 2])  # a zero norm
    # Pairs, a short row, a longer row, an empty one, zeros, a row alone at the end.
    pattern = [length, length, length - 2, length, length + 3, 0, length, length, length]
    reps = 1 if p < 2 * LANES else (1 << 15) // p // len(pattern) + 1
    a = [rng.normal(size=n).tolist() for n in pattern * reps]
    a[6] = [0.0] * length
    for fn, ref in PAIRWISE:
        assert same(fn(a, b), table(ref, a, b))


@pytest.mark.parametrize("ragged", [False, True])
@pytest.mark.parametrize("fn, ref", PAIRWISE)
def test_pairwise_parallel_rows_equal_sequential(fn, ref, ragged):
    rng = np.random.default_rng(3)
    a = rng.normal(size=(10_000, 5)).tolist()
    a[-1] = a[-1][:3]
    b = rng.normal(size=(37, 5)).tolist() + ([[1.0, 2.0]] if ragged else [])
    seq = fn(a[:9_999], b)
    par = fn(a, b)
    assert same(par[:9_999], seq)
    assert same(par[-1], table(ref, a[-1:], b)[0])
    assert same(seq[::997], table(ref, a[:9_999:997], b))


def test_pairwise_argument_errors():
    with pytest.raises(TypeError, match="^argument 'matrix_b': must be real number, not str$"):
        qv.pairwise_cosine([[1.0]], [["x"]])
    with pytest.raises(TypeError, match="^argument 'matrix_a': Can't extract `str` to `Vec`$"):
        qv.pairwise_manhattan(["ab"], [[1.0]])


# --- the float64 matrix argument given arrays ---------------------------------------

BASE = np.arange(60, dtype=np.float64).reshape(6, 10) * 0.37 - 5


@pytest.mark.parametrize(
    "arr",
    [BASE, np.asfortranarray(BASE), BASE[::2, 1::3], BASE[::-1, ::-2], BASE.T, BASE[:, :0], BASE[:0],
     np.broadcast_to(BASE[0], (4, 10)), BASE.astype(np.int64), BASE[:, 3:4], BASE[2:3]],
)
def test_array_matrix_equals_list_matrix(arr):
    """Any layout of a 2-D float64 array (and rows that are arrays) converts as its nested list does."""
    b = [[1.5, -2.0, 0.25], [0.0]]
    lists = arr.tolist()
    assert same(qv.pairwise_manhattan(arr, b), qv.pairwise_manhattan(lists, b))
    assert same(qv.pairwise_manhattan(b, arr), qv.pairwise_manhattan(b, lists))
    assert same(qv.pairwise_manhattan(list(arr), b), qv.pairwise_manhattan(lists, b))


# --- kmeans -----------------------------------------------------------------------

def py_kmeans(data, k, max_iters, tolerance, taken=None):
    """Lloyd's iteration; taken counts the clusters left empty."""
    taken = collections.Counter() if taken is None else taken
    data = [[float(v) for v in row] for row in data]
    n, d = len(data), len(data[0])
    step = n // k
    cent = [list(data[c * step]) for c in range(k)]
    labels = [0] * n
    if max_iters == 0:
        return cent, labels

    def sqdist(a, b):
        s = 0.0
        for x, y in zip(a, b):
            s += (x - y) * (x - y)
        return s

    it = 0
    while True:
        for i, p in enumerate(data):
            best, labels[i] = FAR, 0
            for c, ct in enumerate(cent):
                dist = sqdist(p, ct)
                if dist < best:
                    best, labels[i] = dist, c
        new, counts = [[0.0] * d for _ in range(k)], [0] * k
        for p, c in zip(data, labels):
            counts[c] += 1
            new[c] = [x + s for x, s in zip(p, new[c])]
        new = [[s / counts[c] for s in new[c]] if counts[c] else list(data[c * step % n]) for c in range(k)]
        taken["empty cluster"] += counts.count(0)
        shift = 0.0
        for old, moved in zip(cent, new):
            shift += math.sqrt(sqdist(old, moved))
        cent = new
        if tolerance > shift:
            break
        it += 1
        if it >= max_iters:
            break
    return cent, labels


@st.composite
def kmeans_cases(draw):
    d = draw(st.integers(0, 4))
    n = draw(st.integers(1, 25))
    # Longer rows now and then: they count with their first d components.
    values = SMALL | st.floats(-50, 50) | st.sampled_from([float("nan"), float("inf")])
    data = draw(st.lists(st.lists(values, min_size=d, max_size=d + draw(st.sampled_from([0, 0, 2]))),
                         min_size=n, max_size=n))
    data[0] = data[0][:d]
    k = draw(st.integers(1, n))
    tolerance = draw(st.sampled_from([0.0, -1.0, 1e-4, 0.5, 10.0, float("nan")]))
    return data, k, draw(st.integers(0, 6)), tolerance


@given(kmeans_cases())
@settings(max_examples=300)
def test_kmeans_matches_the_transcription(case):
    data, k, max_iters, tolerance = case
    before = copy.deepcopy(data)
    assert same(list(qv.kmeans(data, k, max_iters, tolerance)), list(py_kmeans(data, k, max_iters, tolerance)))
    assert same(data, before)


def test_kmeans_examples():
    data = [[0.0], [1.0], [10.0], [11.0], [20.0]]
    assert qv.kmeans(data, 2, 0, 0.0) == ([[0.0], [10.0]], [0] * 5)
    # Equidistant from centroids 1 and 2: the lower index.
    assert qv.kmeans([[9.0], [0.0], [2.0], [1.0]], 3, 1, 0.0)[1] == [0, 1, 2, 1]
    # Cluster 1 (row 1) loses its only point to cluster 0 (row 0, equal): reset to row 1.
    assert qv.kmeans([[1.0], [1.0], [5.0]], 3, 1, 0.0) == ([[1.0], [1.0], [5.0]], [0, 0, 2])
    # NaN distances never win: label 0.
    assert qv.kmeans([[float("nan")], [1.0]], 2, 1, 0.0)[1] == [0, 1]
    # Settles after the first update: the second shift, 0.0, stops it.
    data = [[0.0, 0.0], [0.0, 1.0], [10.0, 10.0], [10.0, 11.0]]
    assert qv.kmeans(data, 2, 100, 1e-4) == py_kmeans(data, 2, 2, 0.0) == py_kmeans(data, 2, 100, 1e-4)


@pytest.mark.parametrize(
    "args, exc, text",
    [(([], 1, 1, 0.0), ValueError, "Invalid input data size or cluster count 'k'."),
     (([[1.0]], 2, 1, 0.0), ValueError, "Invalid input data size or cluster count 'k'."),
     (([[1.0]], 0, 1, 0.0), ValueError, "Invalid input data size or cluster count 'k'."),
     (([[1.0, 2.0], [1.0, 2.0, 3.0], [1.0]], 1, 1, 0.0), ValueError,
      "row 2 of data has 1 values, fewer than the 2 of the first row"),
     (([[1.0]], 1, 1.0, 0.0), TypeError, "argument 'max_iters': 'float' object cannot be interpreted as an integer")],
)
def test_kmeans_errors(args, exc, text):
    with pytest.raises(exc) as info:
        qv.kmeans(*args)
    assert str(info.value) == text


def blobs(n, d, k, seed):
    """Well separated blobs; the evenly spaced initial row c lies in blob c."""
    rng = np.random.default_rng(seed)
    centers = rng.uniform(-100, 100, (k, d))
    return centers[np.minimum(np.arange(n) // (n // k), k - 1)] + rng.normal(0, 1, (n, d))


@pytest.mark.parametrize("n", [1, LANES - 1, LANES, LANES + 1, 2 * LANES + 1])
def test_kmeans_around_the_blocks(n):
    """n points (blocks of 32 lanes when every row has the first's length,
    one by one when some are longer) of d components: the sums' vectors of 4
    and widths up to 16 fixed at compile time. Cluster 1 starts on a copy of
    row 0, loses every point to cluster 0 and goes back to its row."""
    taken = collections.Counter()
    for d in (1, 3, 4, 5, 9, 16, 17):
        k = min(n, 1 + d % 4)
        data = blobs(n, d, k, n * d).tolist()
        if k > 1:
            data[n // k] = list(data[0])
        for ragged in (False, True):
            if ragged:
                data = [row + [float(i)] * (i % 3) for i, row in enumerate(data)]
            assert same(list(qv.kmeans(data, k, 3, 0.0)), list(py_kmeans(data, k, 3, 0.0, taken)))
    assert taken["empty cluster"] >= (10 if n > 1 else 0), taken


@pytest.mark.parametrize("n", [9_999, 10_000])
def test_kmeans_large_inputs_match_the_transcription(n):
    data = blobs(n, 2, 3, n).tolist()
    assert qv.kmeans(data, 3, 2, 0.0) == py_kmeans(data, 3, 2, 0.0)


@pytest.mark.parametrize("n, d, k", [(300, 2, 3), (20_000, 8, 16)])
def test_kmeans_agrees_with_scikit_learn_lloyd(n, d, k):
    sklearn_cluster = pytest.importorskip("sklearn.cluster")
    x = blobs(n, d, k, 11)
    init = x[np.arange(k) * (n // k)]
    ref = sklearn_cluster.KMeans(k, init=init, n_init=1, max_iter=20, tol=0, algorithm="lloyd").fit(x)
    cent, labels = qv.kmeans(x, k, 20, 0.0)
    assert labels == ref.labels_.tolist()
    np.testing.assert_allclose(cent, ref.cluster_centers_, rtol=1e-12, atol=1e-9)

