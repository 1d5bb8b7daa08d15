# Types of the quorvane extension module, installed as the stub package
# quorvane-stubs so that type checkers find them.
from collections.abc import Sequence
from typing import Any, SupportsFloat, SupportsIndex, final

import numpy as np
from numpy.typing import NDArray

__all__ = [
    "quicksort",
    "quicksort_f64",
    "mergesort",
    "parallel_sort",
    "binary_search",
    "kth_smallest",
    "top_k",
    "dedup",
    "levenshtein",
    "gcd",
    "lcm",
    "mod_pow",
    "is_prime",
    "sieve",
    "fibonacci",
    "mean",
    "median",
    "variance",
    "std_dev",
    "dot_product",
    "matmul",
    "kmeans",
    "pairwise_manhattan",
    "pairwise_cosine",
    "determinant",
    "matrix_inverse",
    "relu",
    "relu_derivative",
    "leaky_relu",
    "leaky_relu_derivative",
    "elu",
    "elu_derivative",
    "gelu",
    "silu",
    "silu_derivative",
    "sigmoid",
    "sigmoid_derivative",
    "tanh",
    "tanh_derivative",
    "softmax",
    "softmax_cross_entropy",
    "one_hot",
    "mse_loss",
    "categorical_cross_entropy",
    "mae_loss",
    "bce_loss",
    "sgd_momentum_step",
    "adam_step",
    "clip_grad_norm",
    "dropout",
    "Tensor",
    "VaneHashMap",
]

# Sequence arguments: lists, tuples, ranges and 1-D NumPy arrays; elements
# convert through __index__ (ints) or __float__ (floats).
_Ints = Sequence[SupportsIndex] | NDArray[np.int64]
_Floats = Sequence[SupportsFloat | SupportsIndex] | NDArray[np.float64] | NDArray[np.int64]
_Matrix = Sequence[Sequence[SupportsFloat | SupportsIndex]] | NDArray[np.float64]
_F64 = NDArray[np.float64]
_Float = SupportsFloat | SupportsIndex
_Flag = bool | np.bool_

# --- sorting, selection and search -------------------------------------------

def quicksort(arr: _Ints) -> list[int]: ...
def quicksort_f64(arr: _Floats) -> list[float]: ...
def mergesort(arr: _Ints) -> list[int]: ...
def parallel_sort(arr: _Ints) -> list[int]: ...
def binary_search(arr: _Ints, target: SupportsIndex) -> int | None: ...
def kth_smallest(arr: _Ints, k: SupportsIndex) -> int: ...
def top_k(arr: _Ints, k: SupportsIndex) -> list[int]: ...
def dedup(arr: _Ints) -> list[int]: ...

# --- number theory, statistics, vectors, edit distance ------------------------

def levenshtein(a: str, b: str) -> int: ...
def gcd(a: SupportsIndex, b: SupportsIndex) -> int: ...
def lcm(a: SupportsIndex, b: SupportsIndex) -> int: ...
def mod_pow(base: SupportsIndex, exp: SupportsIndex, modulus: SupportsIndex) -> int: ...
def is_prime(n: SupportsIndex) -> bool: ...
def sieve(limit: SupportsIndex) -> list[int]: ...
def fibonacci(n: SupportsIndex) -> int: ...
def mean(arr: _Floats) -> float: ...
def median(arr: _Floats) -> float: ...
def variance(arr: _Floats) -> float: ...
def std_dev(arr: _Floats) -> float: ...
def dot_product(a: _Floats, b: _Floats) -> float: ...
def matmul(a: _Matrix, b: _Matrix) -> list[list[float]]: ...

# --- k-means and linear algebra -------------------------------------------------

def kmeans(
    data: _Matrix, k: SupportsIndex, max_iters: SupportsIndex, tolerance: _Float
) -> tuple[list[list[float]], list[int]]:
    """Cluster points with Lloyd's k-means, starting from evenly spaced rows.

    Parameters
    ----------
    data : sequence of sequences of float, or 2-D float64 ndarray
        The n points, one row each. The first row's length d is the
        dimension; longer rows take part with their first d components.
    k : int
        Number of clusters, 1 <= k <= n.
    max_iters : int
        Most iterations to run; 0 returns the starting centroids.
    tolerance : float
        Stop once the centroids moved less than this in one iteration (the
        sum of their k Euclidean shifts, compared strictly). A negative or
        NaN value never stops early.

    Returns
    -------
    centroids : list of list of float
        The k centroids after the last update.
    labels : list of int
        ``labels[i]`` is the cluster of row i from the last assignment step,
        that is against the centroids before the last update; they are not
        recomputed against `centroids`. All zeros when `max_iters` is 0.

    Raises
    ------
    ValueError
        "Invalid input data size or cluster count 'k'." when k is 0 or
        greater than the number of rows (so also for an empty `data`).
    ValueError
        "row <i> of data has <m> values, fewer than the <d> of the first
        row" for a row shorter than the first.
    TypeError
        "argument 'data': ..." (or 'k', 'max_iters', 'tolerance') for an
        argument of the wrong type.
    OverflowError
        A negative `k` or `max_iters`.

    Notes
    -----
    Centroid c starts as a copy of row ``c * (n // k)``; nothing is drawn at
    random. Each iteration assigns every point to its nearest centroid by
    squared Euclidean distance (ties go to the lower index; a NaN distance
    never wins), moves each centroid to the mean of its points (summed in
    point order) and puts an empty cluster back on its starting row. Cost
    O(max_iters * n * k * d).

    The interpreter lock is released once `data` is copied. The assignment
    runs on the worker pool from 10 000 points, with the labels a sequential
    loop gives. Equal inputs give equal results on every run, pool size and
    processor.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.kmeans([[0.0], [0.5], [9.0], [10.0]], 2, 10, 1e-9)
    ([[0.25], [9.5]], [0, 0, 1, 1])
    >>> quorvane.kmeans([[0.0], [0.5], [9.0], [10.0]], 2, 0, 0.0)
    ([[0.0], [9.0]], [0, 0, 0, 0])
    """

def pairwise_manhattan(matrix_a: _Matrix, matrix_b: _Matrix) -> list[list[float]]:
    """Manhattan (L1) distance from every row of one matrix to every row of another.

    Parameters
    ----------
    matrix_a, matrix_b : sequence of sequences of float, or 2-D float64 ndarray
        Rows of any lengths. A pair of rows is compared over their common
        prefix: the longer row's extra components are ignored.

    Returns
    -------
    list of list of float
        ``m x p`` table for m rows in `matrix_a` and p in `matrix_b`: entry
        ``[i][j]`` is the distance from row i of `matrix_a` to row j of
        `matrix_b`. ``[]`` when either matrix has no rows; -0.0 for a pair
        with no common component.

    Raises
    ------
    TypeError
        "argument 'matrix_a': ..." (or 'matrix_b') when an argument is not a
        sequence of sequences of numbers.

    Notes
    -----
    Each entry is the sum of ``|a[k] - b[k]|``, added in index order from
    -0.0, so it is the same on every run, pool size and processor. Cost
    O(m * p * d) for rows of d components. The interpreter lock is released
    while the table is computed; from 10 000 rows in `matrix_a` (whatever
    the size of `matrix_b`) its rows are split over the worker pool.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.pairwise_manhattan([[1, 2], [0, 0]], [[4, 0], [1, 2, 9]])
    [[5.0, 0.0], [4.0, 3.0]]
    """

def pairwise_cosine(matrix_a: _Matrix, matrix_b: _Matrix) -> list[list[float]]:
    """Cosine similarity of every row of one matrix with every row of another.

    Parameters
    ----------
    matrix_a, matrix_b : sequence of sequences of float, or 2-D float64 ndarray
        Rows of any lengths. A pair of rows is compared over their common
        prefix: the longer row's extra components are ignored.

    Returns
    -------
    list of list of float
        ``m x p`` table for m rows in `matrix_a` and p in `matrix_b`: entry
        ``[i][j]`` is the similarity (in [-1, 1] up to rounding; not a
        distance) of row i of `matrix_a` and row j of `matrix_b`. 0.0 where
        either row is all zeros over the common prefix; ``[]`` when either
        matrix has no rows.

    Raises
    ------
    TypeError
        "argument 'matrix_a': ..." (or 'matrix_b') when an argument is not a
        sequence of sequences of numbers.

    Notes
    -----
    ``dot / (sqrt(na) * sqrt(nb))``, where the dot product and the two
    squared norms are each summed in index order, so the result is the
    same on every run, pool size and processor. NaN components give NaN.
    Cost O(m * p * d) for rows of d components. The interpreter lock is
    released while the table is computed; from 10 000 rows in `matrix_a`
    its rows are split over the worker pool.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.pairwise_cosine([[1, 0]], [[0, 1], [2, 0], [0, 0]])
    [[0.0, 1.0, 0.0]]
    >>> quorvane.pairwise_cosine([[3, 4, 7]], [[3, 4]])
    [[1.0]]
    """

def determinant(matrix: _Matrix) -> float:
    """Determinant of a square matrix, by Gaussian elimination with partial pivoting.

    Parameters
    ----------
    matrix : sequence of sequences of float, or 2-D float64 ndarray
        n rows of n numbers each, n >= 1. Not modified.

    Returns
    -------
    float
        The determinant. 0.0 as soon as a pivot's magnitude is below 1e-12,
        so ``[[1e-13, 0], [0, 1e-13]]`` gives 0.0; a 1 x 1 matrix gives its
        element unchanged.

    Raises
    ------
    ValueError
        "Matrix must be square." when `matrix` has no rows or a row's length
        differs from the number of rows.
    TypeError
        "argument 'matrix': ..." when `matrix` is not a sequence of
        sequences of numbers.

    Notes
    -----
    In each column the row of largest magnitude becomes the pivot (the
    first of equal ones); every row swap flips the sign, and the result is
    the product of the pivots. NaN entries propagate. Cost O(n^3), on the
    calling thread with the interpreter lock released (for n >= 2). The
    same bits on every processor.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.determinant([[2.0, 1.0], [1.0, 3.0]])
    5.0
    >>> quorvane.determinant([[0, 1], [1, 0]])
    -1.0
    >>> quorvane.determinant([[1, 2], [2, 4]])
    0.0
    """

def matrix_inverse(matrix: _Matrix) -> list[list[float]]:
    """Inverse of a square matrix, by Gauss-Jordan elimination with partial pivoting.

    Parameters
    ----------
    matrix : sequence of sequences of float, or 2-D float64 ndarray
        n rows of n numbers each, n >= 1. Not modified.

    Returns
    -------
    list of list of float
        The n x n inverse, as rows.

    Raises
    ------
    ValueError
        "Matrix must be square." when `matrix` has no rows or a row's length
        differs from the number of rows.
    ValueError
        "Matrix is singular and cannot be inverted." when a pivot's magnitude
        is below 1e-12.
    TypeError
        "argument 'matrix': ..." when `matrix` is not a sequence of
        sequences of numbers.

    Notes
    -----
    In each column the row of largest magnitude becomes the pivot (the
    first of equal ones); it is divided by the pivot and subtracted from
    every other row, and the same operations turn the identity into the
    inverse. NaN entries propagate. Cost O(n^3), on the calling thread with
    the interpreter lock released. The same bits on every processor.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.matrix_inverse([[2, 0], [0, 4]])
    [[0.5, 0.0], [0.0, 0.25]]
    >>> quorvane.matrix_inverse([[1, 2], [2, 4]])
    Traceback (most recent call last):
        ...
    ValueError: Matrix is singular and cannot be inverted.
    """

# --- deep-learning formulas over float64 arrays ---------------------------------

def relu(x: _F64) -> _F64:
    """Rectified linear unit, element by element: ``v if v > 0 else 0.0``.

    Parameters
    ----------
    x : 1-D float64 ndarray
        Any strides (reversed or strided views included).

    Returns
    -------
    ndarray
        New 1-D float64 array of the same length. -0.0 and NaN give +0.0.

    Raises
    ------
    TypeError
        "argument 'x': '<type>' object cannot be converted to 'PyArray<T, D>'"
        when `x` is not a 1-D float64 ndarray (a list, a float32 or a 2-D
        array).
    RuntimeError
        "Already mutably borrowed" when another thread's running call
        updates `x` in place.

    Notes
    -----
    O(n). Releases the interpreter lock; from 10 000 elements of unit
    stride the map is split over the worker pool (other strides are read in
    place on the calling thread). Each element is computed on its own, so
    the result is the same on every run, pool size and processor.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> quorvane.relu(np.array([-1.0, 0.0, 2.5]))
    array([0. , 0. , 2.5])
    """

def relu_derivative(x: _F64) -> _F64:
    """Derivative of `relu` at x, element by element: ``1.0 if v > 0 else 0.0``.

    Parameters
    ----------
    x : 1-D float64 ndarray
        The pre-activation input; any strides.

    Returns
    -------
    ndarray
        New 1-D float64 array of the same length. 0.0, -0.0 and NaN give 0.0.

    Raises
    ------
    TypeError
        "argument 'x': '<type>' object cannot be converted to 'PyArray<T, D>'"
        when `x` is not a 1-D float64 ndarray.
    RuntimeError
        "Already mutably borrowed" when another thread's running call
        updates `x` in place.

    Notes
    -----
    O(n). Releases the interpreter lock; uses the worker pool from 10 000
    unit-stride elements. The same result on every run, pool size and
    processor.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> quorvane.relu_derivative(np.array([-1.0, 0.0, 2.5]))
    array([0., 0., 1.])
    """

def leaky_relu(x: _F64, alpha: _Float = 0.01) -> _F64:
    """Leaky ReLU, element by element: ``v if v > 0 else alpha * v``.

    Parameters
    ----------
    x : 1-D float64 ndarray
        Any strides (reversed or strided views included).
    alpha : float, default 0.01
        Slope for v <= 0. Used as given (not validated).

    Returns
    -------
    ndarray
        New 1-D float64 array of the same length. NaN stays NaN.

    Raises
    ------
    TypeError
        "argument 'x': '<type>' object cannot be converted to 'PyArray<T, D>'"
        when `x` is not a 1-D float64 ndarray; "argument 'alpha': ..." when
        `alpha` is not a number.
    RuntimeError
        "Already mutably borrowed" when another thread's running call
        updates `x` in place.

    Notes
    -----
    O(n). Releases the interpreter lock; uses the worker pool from 10 000
    unit-stride elements. The same result on every run, pool size and
    processor.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> quorvane.leaky_relu(np.array([-2.0, 0.0, 3.0]), alpha=0.1)
    array([-0.2,  0. ,  3. ])
    """

def leaky_relu_derivative(x: _F64, alpha: _Float = 0.01) -> _F64:
    """Derivative of `leaky_relu` at x: ``1.0 if v > 0 else alpha``.

    Parameters
    ----------
    x : 1-D float64 ndarray
        The pre-activation input; any strides.
    alpha : float, default 0.01
        Slope for v <= 0. Used as given (not validated).

    Returns
    -------
    ndarray
        New 1-D float64 array of the same length. 0.0 and NaN give `alpha`.

    Raises
    ------
    TypeError
        "argument 'x': '<type>' object cannot be converted to 'PyArray<T, D>'"
        when `x` is not a 1-D float64 ndarray; "argument 'alpha': ..." when
        `alpha` is not a number.
    RuntimeError
        "Already mutably borrowed" when another thread's running call
        updates `x` in place.

    Notes
    -----
    O(n). Releases the interpreter lock; uses the worker pool from 10 000
    unit-stride elements. The same result on every run, pool size and
    processor.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> quorvane.leaky_relu_derivative(np.array([-2.0, 0.0, 3.0]))
    array([0.01, 0.01, 1.  ])
    """

def elu(x: _F64, alpha: _Float = 1.0) -> _F64:
    """Exponential linear unit: ``v if v > 0 else (exp(v) - 1.0) * alpha``.

    Parameters
    ----------
    x : 1-D float64 ndarray
        Any strides (reversed or strided views included).
    alpha : float, default 1.0
        Scale of the negative branch (elu tends to ``-alpha`` as v goes to
        -inf). Used as given (not validated).

    Returns
    -------
    ndarray
        New 1-D float64 array of the same length. 0.0 gives 0.0; -inf gives
        ``-alpha``.

    Raises
    ------
    TypeError
        "argument 'x': '<type>' object cannot be converted to 'PyArray<T, D>'"
        when `x` is not a 1-D float64 ndarray; "argument 'alpha': ..." when
        `alpha` is not a number.
    RuntimeError
        "Already mutably borrowed" when another thread's running call
        updates `x` in place.

    Notes
    -----
    ``exp(v) - 1.0`` as written, not ``expm1``. `exp` is the module's own
    vectorised one, within one unit in the last place of the C library's.
    O(n). Releases the interpreter lock; uses the worker pool from 10 000
    unit-stride elements. The same result on every run, pool size and
    processor.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> quorvane.elu(np.array([-np.inf, -1.0, 0.0, 2.0]))
    array([-1.        , -0.63212056,  0.        ,  2.        ])
    """

def elu_derivative(x: _F64, alpha: _Float = 1.0) -> _F64:
    """Derivative of `elu` at x: ``1.0 if v > 0 else exp(v) * alpha``.

    Parameters
    ----------
    x : 1-D float64 ndarray
        The pre-activation input; any strides.
    alpha : float, default 1.0
        As for `elu`. Used as given (not validated).

    Returns
    -------
    ndarray
        New 1-D float64 array of the same length. 0.0 gives `alpha`.

    Raises
    ------
    TypeError
        "argument 'x': '<type>' object cannot be converted to 'PyArray<T, D>'"
        when `x` is not a 1-D float64 ndarray; "argument 'alpha': ..." when
        `alpha` is not a number.
    RuntimeError
        "Already mutably borrowed" when another thread's running call
        updates `x` in place.

    Notes
    -----
    O(n). Releases the interpreter lock; uses the worker pool from 10 000
    unit-stride elements. The same result on every run, pool size and
    processor.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> quorvane.elu_derivative(np.array([-1.0, 0.0, 2.0]), alpha=2.0)
    array([0.73575888, 2.        , 1.        ])
    """

def gelu(x: _F64) -> _F64:
    """GELU (tanh approximation), element by element.

    ``0.5 * v * (1 + tanh(sqrt(2 / pi) * (v + 0.044715 * v**3)))``.

    Parameters
    ----------
    x : 1-D float64 ndarray
        Any strides (reversed or strided views included).

    Returns
    -------
    ndarray
        New 1-D float64 array of the same length. 0.0 gives 0.0, +inf gives
        +inf, -inf gives NaN.

    Raises
    ------
    TypeError
        "argument 'x': '<type>' object cannot be converted to 'PyArray<T, D>'"
        when `x` is not a 1-D float64 ndarray.
    RuntimeError
        "Already mutably borrowed" when another thread's running call
        updates `x` in place.

    Notes
    -----
    Evaluated as ``u = ((v * v) * v) * 0.044715 + v``,
    ``w = u * 0.7978845608028654``, ``(v * 0.5) * (tanh(w) + 1.0)``. `tanh`
    is the module's own, faithfully rounded (error below one unit in the
    last place), without fused multiply-add. O(n). Releases the interpreter
    lock; uses the worker pool from 10 000 unit-stride elements. The same
    bits on every run, pool size and processor.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> np.round(quorvane.gelu(np.array([-1.0, 0.0, 1.0, 3.0])), 6)
    array([-0.158808,  0.      ,  0.841192,  2.996363])
    """

def silu(x: _F64) -> _F64:
    """SiLU (swish), element by element: ``v / (exp(-v) + 1.0)``, i.e. v * sigmoid(v).

    Parameters
    ----------
    x : 1-D float64 ndarray
        Any strides (reversed or strided views included).

    Returns
    -------
    ndarray
        New 1-D float64 array of the same length. -1000.0 gives -0.0; -inf
        gives NaN.

    Raises
    ------
    TypeError
        "argument 'x': '<type>' object cannot be converted to 'PyArray<T, D>'"
        when `x` is not a 1-D float64 ndarray.
    RuntimeError
        "Already mutably borrowed" when another thread's running call
        updates `x` in place.

    Notes
    -----
    `exp` is the module's own vectorised one, within one unit in the last
    place of the C library's. O(n). Releases the interpreter lock; uses the
    worker pool from 10 000 unit-stride elements. The same result on every
    run, pool size and processor.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> quorvane.silu(np.array([-1.0, 0.0, 1.0]))
    array([-0.26894142,  0.        ,  0.73105858])
    """

def silu_derivative(x: _F64) -> _F64:
    """Derivative of `silu` at x: ``s + v * s * (1 - s)`` with s = sigmoid(v).

    Parameters
    ----------
    x : 1-D float64 ndarray
        The pre-activation input; any strides.

    Returns
    -------
    ndarray
        New 1-D float64 array of the same length.

    Raises
    ------
    TypeError
        "argument 'x': '<type>' object cannot be converted to 'PyArray<T, D>'"
        when `x` is not a 1-D float64 ndarray.
    RuntimeError
        "Already mutably borrowed" when another thread's running call
        updates `x` in place.

    Notes
    -----
    Evaluated as ``s = 1.0 / (exp(-v) + 1.0)``, then
    ``((1.0 - s) * (v * s)) + s``. O(n). Releases the interpreter lock;
    uses the worker pool from 10 000 unit-stride elements. The same result
    on every run, pool size and processor.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> quorvane.silu_derivative(np.array([-1.0, 0.0, 1.0]))
    array([0.07232949, 0.5       , 0.92767051])
    """

def sigmoid(x: _F64) -> _F64:
    """Logistic sigmoid, element by element: ``1.0 / (exp(-v) + 1.0)``.

    Parameters
    ----------
    x : 1-D float64 ndarray
        Any strides (reversed or strided views included).

    Returns
    -------
    ndarray
        New 1-D float64 array of the same length, in [0, 1]. Large negative
        inputs give 0.0 without any warning (``exp(-v)`` overflows to inf).

    Raises
    ------
    TypeError
        "argument 'x': '<type>' object cannot be converted to 'PyArray<T, D>'"
        when `x` is not a 1-D float64 ndarray.
    RuntimeError
        "Already mutably borrowed" when another thread's running call
        updates `x` in place.

    Notes
    -----
    `exp` is the module's own vectorised one, within one unit in the last
    place of the C library's. O(n). Releases the interpreter lock; uses the
    worker pool from 10 000 unit-stride elements. The same result on every
    run, pool size and processor.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> quorvane.sigmoid(np.array([-1000.0, 0.0, 2.0]))
    array([0.        , 0.5       , 0.88079708])
    """

def sigmoid_derivative(x: _F64) -> _F64:
    """Derivative of `sigmoid` at x: ``(1 - s) * s`` with s = sigmoid(v).

    Parameters
    ----------
    x : 1-D float64 ndarray
        The pre-activation input (not the sigmoid already applied); any
        strides.

    Returns
    -------
    ndarray
        New 1-D float64 array of the same length. 0.0 gives 0.25.

    Raises
    ------
    TypeError
        "argument 'x': '<type>' object cannot be converted to 'PyArray<T, D>'"
        when `x` is not a 1-D float64 ndarray.
    RuntimeError
        "Already mutably borrowed" when another thread's running call
        updates `x` in place.

    Notes
    -----
    O(n). Releases the interpreter lock; uses the worker pool from 10 000
    unit-stride elements. The same result on every run, pool size and
    processor.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> quorvane.sigmoid_derivative(np.array([0.0, 2.0]))
    array([0.25      , 0.10499359])
    """

def tanh(x: _F64) -> _F64:
    """Hyperbolic tangent, element by element.

    Parameters
    ----------
    x : 1-D float64 ndarray
        Any strides (reversed or strided views included).

    Returns
    -------
    ndarray
        New 1-D float64 array of the same length, in [-1, 1]. Signed zeros,
        infinities and NaN behave as in `math.tanh`.

    Raises
    ------
    TypeError
        "argument 'x': '<type>' object cannot be converted to 'PyArray<T, D>'"
        when `x` is not a 1-D float64 ndarray.
    RuntimeError
        "Already mutably borrowed" when another thread's running call
        updates `x` in place.

    Notes
    -----
    The module's own vectorised tanh: faithfully rounded (error below one
    unit in the last place) and without fused multiply-add, so it gives
    identical bits on every processor; it may differ from the C library's
    or NumPy's tanh in the last bit. O(n). Releases the interpreter lock;
    uses the worker pool from 10 000 unit-stride elements.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> np.round(quorvane.tanh(np.array([-1.0, 0.0, 0.5, np.inf])), 6)
    array([-0.761594,  0.      ,  0.462117,  1.      ])
    """

def tanh_derivative(x: _F64) -> _F64:
    """Derivative of `tanh` at x: ``1.0 - t * t`` with t = tanh(v).

    Parameters
    ----------
    x : 1-D float64 ndarray
        The pre-activation input (not tanh already applied); any strides.

    Returns
    -------
    ndarray
        New 1-D float64 array of the same length. 0.0 gives 1.0; +-inf
        give 0.0.

    Raises
    ------
    TypeError
        "argument 'x': '<type>' object cannot be converted to 'PyArray<T, D>'"
        when `x` is not a 1-D float64 ndarray.
    RuntimeError
        "Already mutably borrowed" when another thread's running call
        updates `x` in place.

    Notes
    -----
    Uses the same faithfully rounded tanh as `tanh` (identical bits on every
    processor). O(n). Releases the interpreter lock; uses the worker pool
    from 10 000 unit-stride elements.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> np.round(quorvane.tanh_derivative(np.array([0.0, 1.0, np.inf])), 6)
    array([1.      , 0.419974, 0.      ])
    """

def softmax(x: _F64) -> _F64:
    """Row-wise softmax of a (batch, classes) matrix.

    Parameters
    ----------
    x : 2-D float64 ndarray
        C-contiguous (row-major) logits, one row per sample.

    Returns
    -------
    ndarray
        New float64 array of the same shape; each row sums to 1 (up to
        rounding). A row holding NaN or +inf, or only -inf, becomes all NaN.

    Raises
    ------
    ValueError
        "input must be C-contiguous" for a Fortran-ordered, transposed or
        sliced matrix (use ``np.ascontiguousarray``).
    TypeError
        "argument 'x': '<type>' object cannot be converted to 'PyArray<T, D>'"
        when `x` is not a 2-D float64 ndarray.
    RuntimeError
        "Already mutably borrowed" when another thread's running call
        updates `x` in place.

    Notes
    -----
    Each row subtracts its largest non-NaN element, exponentiates, and
    divides by the sum of the exponentials (added in column order), so
    large logits do not overflow. O(batch * classes). Releases the
    interpreter lock; from 10 000 rows the rows are split over the worker
    pool. Rows are independent, so the result is the same on every run,
    pool size and processor.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> x = np.array([[1.0, 2.0, 3.0], [1000.0, 1001.0, 1002.0]])
    >>> np.round(quorvane.softmax(x), 4)
    array([[0.09  , 0.2447, 0.6652],
           [0.09  , 0.2447, 0.6652]])
    """

def softmax_cross_entropy(logits: _F64, targets: NDArray[np.int64]) -> tuple[float, _F64]:
    """Mean softmax cross-entropy loss and its gradient with respect to the logits.

    Parameters
    ----------
    logits : 2-D float64 ndarray
        C-contiguous (batch, classes) matrix of unnormalised scores.
    targets : 1-D int64 ndarray
        Contiguous; the class index of each row, ``0 <= t < classes`` (not
        one-hot vectors).

    Returns
    -------
    loss : float
        Mean over the rows of ``-log(max(q, 1e-15))``, q being the softmax
        probability of the row's target class; NaN for an empty batch.
    grad : ndarray
        New (batch, classes) float64 array, ``(softmax(logits) -
        one_hot(targets, classes)) / batch``.

    Raises
    ------
    ValueError
        "logits must be C-contiguous", "targets must be contiguous",
        "targets length must match logits batch size", "target class index
        out of range for logits.shape[1]" (a target below 0 or not below
        classes); checked in this order, before any computation.
    TypeError
        "argument 'logits': ..." / "argument 'targets': '<type>' object
        cannot be converted to 'PyArray<T, D>'" for another type, dtype
        (int32 targets included) or number of dimensions.
    RuntimeError
        "Already mutably borrowed" when another thread's running call
        updates one of the arrays in place.

    Notes
    -----
    One pass per row: the softmax of `softmax` is written into the gradient,
    and 1 subtracted at the target. The floor of 1e-15 keeps a vanishing
    target probability from giving an infinite loss (at most about 34.54
    per row). O(batch * classes). Releases the interpreter lock; from
    10 000 rows the rows are split over the worker pool. The row losses are
    then added in row order, so the result is the same on every run, pool
    size and processor.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> logits, targets = np.array([[0.0, 0.0]]), np.array([1])
    >>> loss, grad = quorvane.softmax_cross_entropy(logits, targets)
    >>> round(loss, 6)
    0.693147
    >>> grad
    array([[ 0.5, -0.5]])
    """

def one_hot(indices: NDArray[np.int64], num_classes: SupportsIndex) -> _F64:
    """One-hot rows of class indices.

    Parameters
    ----------
    indices : 1-D int64 ndarray
        Contiguous class indices, each ``0 <= i < num_classes`` (negative
        indices do not wrap around).
    num_classes : int
        Number of columns of the result.

    Returns
    -------
    ndarray
        New float64 array of shape ``(len(indices), num_classes)``: row r is
        1.0 at column ``indices[r]`` and 0.0 elsewhere.

    Raises
    ------
    ValueError
        "indices must be contiguous"; "class index out of range for
        num_classes" for the first index outside [0, num_classes);
        "one_hot result too large: <n> x <num_classes> elements" when the
        result's size cannot be expressed.
    MemoryError
        When the result cannot be allocated.
    TypeError
        "argument 'indices': '<type>' object cannot be converted to
        'PyArray<T, D>'" when `indices` is not a 1-D int64 ndarray;
        "argument 'num_classes': ..." when `num_classes` is not an int.
    OverflowError
        A negative `num_classes`.
    RuntimeError
        "Already mutably borrowed" when another thread's running call
        writes `indices`' memory in place.

    Notes
    -----
    O(n * num_classes) to fill the zeros, O(n) to set the ones. Releases the
    interpreter lock; runs on the calling thread (no worker pool).

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> quorvane.one_hot(np.array([2, 0]), 3)
    array([[0., 0., 1.],
           [1., 0., 0.]])
    """

def mse_loss(predictions: _F64, targets: _F64) -> float:
    """Mean squared error: ``sum((p - y) ** 2) / n``.

    Parameters
    ----------
    predictions, targets : 1-D float64 ndarray
        Of one common, non-zero length n; any strides.

    Returns
    -------
    float
        The mean of the squared differences. NaN and infinities propagate.

    Raises
    ------
    ValueError
        "Predictions and targets must have matching non-zero lengths."
    TypeError
        "argument 'predictions': '<type>' object cannot be converted to
        'PyArray<T, D>'" (or 'targets') for anything but a 1-D float64
        ndarray.
    RuntimeError
        "Already mutably borrowed" when another thread's running call
        updates one of the arrays in place.

    Notes
    -----
    O(n). Releases the interpreter lock. Below 10 000 elements, or when an
    array is not of unit stride, the terms are added in index order from
    -0.0. From 10 000 unit-stride elements the sum runs on the worker pool
    in a fixed grouping (pieces of at most 4 096 elements): the same bits on
    every run, pool size and processor, possibly not those of a
    left-to-right sum.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> quorvane.mse_loss(np.array([1.0, 2.0]), np.array([1.0, 4.0]))
    2.0
    """

def categorical_cross_entropy(predictions: _F64, targets: _F64) -> float:
    """Cross-entropy of probabilities against targets, averaged over all n entries.

    Parameters
    ----------
    predictions : 1-D float64 ndarray
        Predicted probabilities, flattened over samples and classes; any
        strides. Each is clamped to [1e-15, 1 - 1e-15] before the log.
    targets : 1-D float64 ndarray
        Target values (normally one-hot), same length; not validated.

    Returns
    -------
    float
        ``sum(-log(clamp(p)) * y) / n``, n counting every entry (not every
        sample). A NaN prediction gives NaN.

    Raises
    ------
    ValueError
        "Predictions and targets must have matching non-zero lengths."
    TypeError
        "argument 'predictions': '<type>' object cannot be converted to
        'PyArray<T, D>'" (or 'targets') for anything but a 1-D float64
        ndarray.
    RuntimeError
        "Already mutably borrowed" when another thread's running call
        updates one of the arrays in place.

    Notes
    -----
    O(n). Releases the interpreter lock. Summed as `mse_loss` is: in index
    order below 10 000 elements or for strided arrays, else on the worker
    pool in a fixed grouping that gives the same bits on every run, pool
    size and processor.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> predictions, targets = np.array([0.5, 0.5]), np.array([1.0, 0.0])
    >>> round(quorvane.categorical_cross_entropy(predictions, targets), 6)
    0.346574
    """

def mae_loss(predictions: _F64, targets: _F64) -> float:
    """Mean absolute error: ``sum(|p - y|) / n``.

    Parameters
    ----------
    predictions, targets : 1-D float64 ndarray
        Of one common, non-zero length n; any strides.

    Returns
    -------
    float
        The mean of the absolute differences. NaN and infinities propagate.

    Raises
    ------
    ValueError
        "Predictions and targets must have matching non-zero lengths."
    TypeError
        "argument 'predictions': '<type>' object cannot be converted to
        'PyArray<T, D>'" (or 'targets') for anything but a 1-D float64
        ndarray.
    RuntimeError
        "Already mutably borrowed" when another thread's running call
        updates one of the arrays in place.

    Notes
    -----
    O(n). Releases the interpreter lock. Summed as `mse_loss` is: in index
    order below 10 000 elements or for strided arrays, else on the worker
    pool in a fixed grouping that gives the same bits on every run, pool
    size and processor.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> quorvane.mae_loss(np.array([1.0, 2.0]), np.array([1.0, 4.0]))
    1.0
    """

def bce_loss(predictions: _F64, targets: _F64) -> float:
    """Binary cross-entropy: ``-sum(y * log(p) + (1 - y) * log(1 - p)) / n``.

    Parameters
    ----------
    predictions : 1-D float64 ndarray
        Predicted probabilities; any strides. Each is clamped to
        [1e-15, 1 - 1e-15] before the logs, so 0.0 and 1.0 give a finite
        loss.
    targets : 1-D float64 ndarray
        Targets (normally 0.0 or 1.0), same length; not validated.

    Returns
    -------
    float
        The mean loss over the n elements. A NaN prediction gives NaN.

    Raises
    ------
    ValueError
        "Predictions and targets must have matching non-zero lengths."
    TypeError
        "argument 'predictions': '<type>' object cannot be converted to
        'PyArray<T, D>'" (or 'targets') for anything but a 1-D float64
        ndarray.
    RuntimeError
        "Already mutably borrowed" when another thread's running call
        updates one of the arrays in place.

    Notes
    -----
    Each term is ``log(1 - pc) * (1 - y) + log(pc) * y`` with pc the clamped
    prediction; `log` is the module's own vectorised one, within one unit in
    the last place of the C library's. O(n). Releases the interpreter lock.
    Summed as `mse_loss` is: in index order below 10 000 elements or for
    strided arrays, else on the worker pool in a fixed grouping that gives
    the same bits on every run, pool size and processor.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> round(quorvane.bce_loss(np.array([0.9, 0.2]), np.array([1.0, 0.0])), 6)
    0.164252
    """

def sgd_momentum_step(params: _F64, grads: _F64, velocity: _F64, lr: _Float, momentum: _Float) -> None:
    """One step of SGD with momentum, in place on `params` and `velocity`.

    Parameters
    ----------
    params : 1-D float64 ndarray
        Contiguous and writeable; updated in place.
    grads : 1-D float64 ndarray
        Contiguous; read only.
    velocity : 1-D float64 ndarray
        Contiguous and writeable; the momentum buffer the caller keeps
        (zeros at the start), updated in place.
    lr, momentum : float
        Learning rate and momentum factor; used as given.

    Returns
    -------
    None

    Raises
    ------
    ValueError
        "grads must be contiguous", "params must be contiguous", "velocity
        must be contiguous", "params, grads, and velocity must be the same
        length", checked in this order; "argument 'params': array is
        read-only" (or 'velocity'); "argument 'params': array elements are
        not aligned to 8 bytes" (or 'velocity'); "sgd_momentum_step():
        'params' and 'grads' share memory" when two arguments are one array
        or overlapping views.
    TypeError
        "argument 'params': '<type>' object cannot be converted to
        'PyArray<T, D>'" (likewise for the other arrays) for anything but a
        1-D float64 ndarray; "argument 'lr': ..." for a non-number.
    RuntimeError
        "Already borrowed" when another thread's running call holds
        `params` or `velocity`, "Already mutably borrowed" when one updates
        `grads` in place.

    Notes
    -----
    For each i: ``velocity[i] = momentum * velocity[i] + grads[i]``, then
    ``params[i] = params[i] - velocity[i] * lr``. Every check precedes the
    first write: on an error nothing is changed. O(n). Releases the
    interpreter lock; from 10 000 elements the update is split over the
    worker pool. Each element is updated on its own, so the result is the
    same on every run, pool size and processor.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> params, grads, velocity = np.array([1.0]), np.array([0.5]), np.zeros(1)
    >>> quorvane.sgd_momentum_step(params, grads, velocity, 0.1, 0.9)
    >>> params, velocity
    (array([0.95]), array([0.5]))
    """

def adam_step(
    params: _F64,
    grads: _F64,
    m: _F64,
    v: _F64,
    lr: _Float = 0.001,
    beta1: _Float = 0.9,
    beta2: _Float = 0.999,
    eps: _Float = 1e-8,
    t: SupportsIndex = 1,
) -> None:
    """One Adam step, in place on `params`, `m` and `v`.

    Parameters
    ----------
    params : 1-D float64 ndarray
        Contiguous and writeable; updated in place.
    grads : 1-D float64 ndarray
        Contiguous; read only.
    m, v : 1-D float64 ndarray
        Contiguous and writeable; the first and second moment buffers the
        caller keeps (zeros at the start), updated in place.
    lr : float, default 0.001
        Learning rate.
    beta1, beta2 : float, default 0.9 and 0.999
        Decay rates of the moments; used as given.
    eps : float, default 1e-8
        Added to the square root of the corrected second moment.
    t : int, default 1
        The timestep, counted from 1, for the bias correction; a 32-bit
        signed integer. 0 makes every parameter NaN.

    Returns
    -------
    None

    Raises
    ------
    ValueError
        "grads must be contiguous", "params must be contiguous", "m must be
        contiguous", "v must be contiguous", "params, grads, m, and v must
        be the same length", checked in this order; "argument 'm': array is
        read-only" (or 'params', 'v'); "argument 'm': array elements are not
        aligned to 8 bytes"; "adam_step(): 'm' and 'v' share memory" when
        two arguments are one array or overlapping views.
    TypeError
        "argument 'params': '<type>' object cannot be converted to
        'PyArray<T, D>'" (likewise for the other arrays) for anything but a
        1-D float64 ndarray; "argument 't': ..." for a non-integer `t`.
    OverflowError
        "out of range integral type conversion attempted" for `t` outside
        the 32-bit range.
    RuntimeError
        "Already borrowed" when another thread's running call holds
        `params`, `m` or `v`, "Already mutably borrowed" when one updates
        `grads` in place.

    Notes
    -----
    With ``bc1 = 1 - beta1**t`` and ``bc2 = 1 - beta2**t`` (computed once,
    by repeated squaring), for each i and g = grads[i]:
    ``m[i] = (1 - beta1) * g + m[i] * beta1``,
    ``v[i] = (1 - beta2) * g * g + v[i] * beta2``,
    ``params[i] -= (m[i] / bc1) * lr / (sqrt(v[i] / bc2) + eps)``.
    Every check precedes the first write: on an error nothing is changed.
    O(n). Releases the interpreter lock; from 10 000 elements the update is
    split over the worker pool. The same result on every run, pool size and
    processor.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> params, grads, m, v = np.array([1.0]), np.array([0.5]), np.zeros(1), np.zeros(1)
    >>> quorvane.adam_step(params, grads, m, v)
    >>> np.round(params, 6), m, v
    (array([0.999]), array([0.05]), array([0.00025]))
    """

def clip_grad_norm(grads: _F64, max_norm: _Float) -> float:
    """Clip `grads` in place to an L2 norm of at most `max_norm`; return the old norm.

    Parameters
    ----------
    grads : 1-D float64 ndarray
        Contiguous and writeable; scaled in place when its norm exceeds
        `max_norm`.
    max_norm : float
        The largest norm to keep. Not validated: 0.0 zeroes the gradient, a
        negative value also flips its sign, NaN never clips.

    Returns
    -------
    float
        The L2 norm of `grads` before clipping (-0.0 for an empty array).

    Raises
    ------
    ValueError
        "grads must be contiguous"; "argument 'grads': array is read-only";
        "argument 'grads': array elements are not aligned to 8 bytes".
    TypeError
        "argument 'grads': '<type>' object cannot be converted to
        'PyArray<T, D>'" for anything but a 1-D float64 ndarray;
        "argument 'max_norm': ..." for a non-number.
    RuntimeError
        "Already borrowed" when another thread's running call holds `grads`.

    Notes
    -----
    ``norm = sqrt(sum(g * g))``; when the sum is positive and
    ``norm > max_norm`` (strictly) every element is multiplied by
    ``max_norm / norm``. A gradient holding NaN returns NaN and is left
    alone. O(n). Releases the interpreter lock. Below 10 000 elements the
    squares are added in index order from -0.0; from 10 000 the sum and the
    scaling run on the worker pool, the sum in a fixed grouping (pieces of
    at most 4 096 elements) that gives the same bits on every run, pool
    size and processor.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> grads = np.array([3.0, 4.0])
    >>> quorvane.clip_grad_norm(grads, 1.0)
    5.0
    >>> grads
    array([0.6, 0.8])
    """

def dropout(x: _F64, p: _Float, seed: SupportsIndex | None = None) -> _F64:
    """Inverted dropout: zero elements with probability `p`, scale the rest up.

    Parameters
    ----------
    x : 1-D float64 ndarray
        Contiguous activations; read only.
    p : float
        Drop probability, ``0 <= p < 1``. 0 returns a copy of `x`.
    seed : int or None, default None
        A seed in [0, 2**64) for a reproducible mask; None draws a fresh
        mask.

    Returns
    -------
    ndarray
        New 1-D float64 array of the same length; each element is either
        ``x[i] * (1 / (1 - p))`` or +0.0.

    Raises
    ------
    ValueError
        "dropout probability p must be in [0, 1)" (also for NaN; checked
        first), then "input must be contiguous".
    TypeError
        "argument 'x': '<type>' object cannot be converted to
        'PyArray<T, D>'" for anything but a 1-D float64 ndarray;
        "argument 'p': ..." or "argument 'seed': ..." for a wrong type.
    OverflowError
        A negative `seed`, or one of 2**64 or more.
    RuntimeError
        "Already mutably borrowed" when another thread's running call
        updates `x` in place.

    Notes
    -----
    One uniform draw u in [0, 1) per element: the element is kept when
    ``1 - p > u``. With a seed, the draws come from one ChaCha12 generator
    keyed from the seed, in index order on the calling thread: the same
    mask on every run, machine and pool size. Without one, the array is
    split over the worker pool whatever its size, each piece drawing from
    its thread's generator seeded from the operating system: not
    reproducible. O(n). Releases the interpreter lock.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> quorvane.dropout(np.arange(1.0, 9.0), 0.5, seed=7)
    array([ 2.,  4.,  6.,  0., 10.,  0., 14., 16.])
    >>> out = quorvane.dropout(np.ones(1000), 0.25)
    >>> bool(np.all((out == 0.0) | (out == 1.0 / 0.75)))
    True
    """

# --- classes -------------------------------------------------------------------

@final
class Tensor:
    def __new__(cls, array: NDArray[np.float64]) -> Tensor: ...
    @property
    def data(self) -> _F64: ...
    @property
    def shape(self) -> list[int]: ...
    @property
    def strides(self) -> list[int]: ...
    def sub(self, other: Tensor) -> Tensor: ...
    def mul_elementwise(self, other: Tensor) -> Tensor: ...
    def mul_scalar(self, scalar: _Float) -> Tensor: ...
    def reshape(self, new_shape: Sequence[SupportsIndex]) -> Tensor: ...
    def add(self, other: Tensor) -> Tensor: ...
    def matmul(self, other: Tensor, transpose_a: _Flag = False, transpose_b: _Flag = False) -> Tensor: ...
    def to_list(self) -> Any: ...  # nested lists of floats, or a float for rank 0
    @classmethod
    def rand(cls, shape: Sequence[SupportsIndex], seed: SupportsIndex | None = None) -> Tensor: ...
    @classmethod
    def randn(cls, shape: Sequence[SupportsIndex], seed: SupportsIndex | None = None) -> Tensor: ...
    def add_bias_inplace(self, bias: NDArray[np.float64]) -> None: ...
    def relu_inplace(self) -> None: ...
    def relu_derivative(self) -> Tensor: ...

@final
class VaneHashMap:
    def __new__(cls) -> VaneHashMap: ...
    def __len__(self) -> int: ...
    def insert(self, key: SupportsIndex, value: SupportsIndex) -> int | None: ...
    def get(self, key: SupportsIndex) -> int | None: ...
    def remove(self, key: SupportsIndex) -> int | None: ...
    def contains(self, key: SupportsIndex) -> bool: ...
    def keys(self) -> list[int]: ...
    def values(self) -> list[int]: ...
    def items(self) -> list[tuple[int, int]]: ...
