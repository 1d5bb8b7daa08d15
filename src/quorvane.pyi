# Types of the quorvane extension module, installed as the stub package
# quorvane-stubs so that type checkers find them.
from collections.abc import Sequence
from typing import Any, SupportsFloat, SupportsIndex, final

import numpy as np
from numpy.typing import NDArray

__version__: str
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

def quicksort(arr: _Ints) -> list[int]:
    """Sort integers in ascending order by quicksort.

    Parameters
    ----------
    arr : sequence of int
        A list, tuple, range or 1-D int64 array of integers in the signed
        64-bit range. It is copied; the caller's sequence is not changed.

    Returns
    -------
    list of int
        A new list in ascending order. Elements of type ``int`` come back as
        the caller's own objects; others (bools, NumPy integers, objects with
        ``__index__``) as plain ints.

    Raises
    ------
    TypeError
        ``"argument 'arr': Can't extract `str` to `Vec`"`` for a string,
        ``"argument 'arr': '<type>' object cannot be converted to 'Sequence'"``
        for a non-sequence, ``"argument 'arr': '<type>' object cannot be
        interpreted as an integer"`` for an element that is not an integer.
    OverflowError
        An element outside the signed 64-bit range.

    Notes
    -----
    Quicksort with a random pivot and a three-way split (below, equal to and
    above the pivot), insertion sort below 17 elements, recursion into the
    smaller part only (stack depth O(log n)). Expected O(n log n) time,
    close to linear when few values are distinct. Runs on the calling thread
    with the interpreter lock released; never uses the worker pool. The
    pivots come from a per-thread generator seeded from the clock, but the
    result depends on the input alone.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.quicksort([3, -1, 2, 3])
    [-1, 2, 3, 3]
    """

def quicksort_f64(arr: _Floats) -> list[float]:
    """Sort floats in ascending order, NaNs last.

    Parameters
    ----------
    arr : sequence of float
        A list, tuple, range or 1-D float64 or int64 array of numbers
        (anything with ``__float__`` or ``__index__``). It is copied; the
        caller's sequence is not changed.

    Returns
    -------
    list of float
        A new list: the values other than NaN in ascending order, then the
        NaNs. Elements of type ``float`` come back as the caller's own
        objects; others (ints, NumPy scalars) as plain floats.

    Raises
    ------
    TypeError
        ``"argument 'arr': Can't extract `str` to `Vec`"`` for a string,
        ``"argument 'arr': '<type>' object cannot be converted to 'Sequence'"``
        for a non-sequence, ``"argument 'arr': must be real number, not
        <type>"`` for an element with no float value.
    OverflowError
        An int element too large for a float64.

    Notes
    -----
    The NaNs are moved to the end; the rest is sorted by a comparison sort
    below 256 values and, from 256 values, by a least-significant-digit
    radix sort of the values' bit patterns, which takes O(n) time and n
    elements of scratch memory. ``-0.0`` and ``0.0`` compare equal and come
    out in no fixed order. Runs on the calling thread with the interpreter
    lock released; never uses the worker pool.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.quicksort_f64([2.5, float("nan"), -1, 0.5])
    [-1.0, 0.5, 2.5, nan]
    """

def mergesort(arr: _Ints) -> list[int]:
    """Sort integers in ascending order by a stable merge sort.

    Parameters
    ----------
    arr : sequence of int
        Integers in the signed 64-bit range, as for ``quicksort()``.

    Returns
    -------
    list of int
        A new list in ascending order. Elements of type ``int`` come back as
        the caller's own objects, equal values in their input order; others
        (bools, NumPy integers, objects with ``__index__``) as plain ints.

    Raises
    ------
    TypeError
        ``"argument 'arr': ..."`` for a string, a non-sequence or an element
        that is not an integer, as for ``quicksort()``.
    OverflowError
        An element outside the signed 64-bit range.

    Notes
    -----
    Top-down merge sort; on equal values the left half's element is taken
    first, so the sort is stable. O(n log n) time on every input and one
    scratch array of n elements. Runs on the calling thread with the
    interpreter lock released; never uses the worker pool.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.mergesort((5, -2, 5, 0))
    [-2, 0, 5, 5]
    """

def parallel_sort(arr: _Ints) -> list[int]:
    """Sort integers in ascending order, in chunks on several threads.

    Parameters
    ----------
    arr : sequence of int
        Integers in the signed 64-bit range, as for ``quicksort()``.

    Returns
    -------
    list of int
        A new list in ascending order, of the caller's own ``int`` objects
        where the elements are ints, as for ``quicksort()``.

    Raises
    ------
    TypeError
        ``"argument 'arr': ..."`` for a string, a non-sequence or an element
        that is not an integer, as for ``quicksort()``.
    OverflowError
        An element outside the signed 64-bit range.
    BaseException
        ``quorvane.InternalFailure`` (a ``BaseException``, not an
        ``Exception``) with a message starting ``"failed to spawn thread"``
        when the operating system refuses a chunk thread; the threads
        already started are joined first.

    Notes
    -----
    Below 50 000 elements this is ``quicksort()`` on the calling thread.
    From 50 000 elements the copy is cut into t chunks of ceil(n / t)
    elements, t being the number of CPUs available to the process (its
    affinity mask and cgroup CPU quota; 4 if unknown); each chunk is sorted
    by quicksort on a new operating-system thread of its own, and the sorted
    chunks are merged in pairs, round after round, on the calling thread.
    Expected O((n / t) log n + n log t) time and O(n) extra memory for the
    merges. The interpreter lock is released throughout. The worker pool
    and ``RAYON_NUM_THREADS`` play no part. The result depends on the input
    alone.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.parallel_sort(range(5, 0, -1))
    [1, 2, 3, 4, 5]
    """

def binary_search(arr: _Ints, target: SupportsIndex) -> int | None:
    """Find a value in a sorted sequence of integers by bisection.

    Parameters
    ----------
    arr : sequence of int
        Integers in the signed 64-bit range, sorted in ascending order (not
        checked). A list, tuple, range or 1-D int64 array; it is copied.
    target : int
        The value to look for, in the signed 64-bit range.

    Returns
    -------
    int or None
        The index of an element equal to ``target``, or ``None`` if the
        search finds none. With repeated values it is the first equal
        element that the bisection meets, not necessarily the first
        occurrence. On unsorted input the result is whatever the bisection
        finds.

    Raises
    ------
    TypeError
        ``"argument 'arr': ..."`` as for ``quicksort()``;
        ``"argument 'target': ..."`` for a target that is not an integer.
    OverflowError
        An element or ``target`` outside the signed 64-bit range.

    Notes
    -----
    Bisection with inclusive bounds: O(log n) comparisons, but O(n) to copy
    ``arr`` on every call (for many searches in one list, ``bisect`` on a
    list you keep is faster). Runs with the interpreter lock held.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.binary_search([1, 3, 5, 7], 5)
    2
    >>> print(quorvane.binary_search([1, 3, 5, 7], 4))
    None
    """

def kth_smallest(arr: _Ints, k: SupportsIndex) -> int:
    """Return the k-th smallest integer, counting from 1, by quickselect.

    Parameters
    ----------
    arr : sequence of int
        Integers in the signed 64-bit range, as for ``quicksort()``.
    k : int
        The rank, from 1 (the smallest) to ``len(arr)`` (the largest).

    Returns
    -------
    int
        The value that would stand at index ``k - 1`` after sorting.

    Raises
    ------
    IndexError
        ``"k out of range"`` when ``k`` is 0 or greater than ``len(arr)``
        (so for every ``k`` when ``arr`` is empty).
    TypeError
        ``"argument 'arr': ..."`` as for ``quicksort()``;
        ``"argument 'k': ..."`` for a ``k`` that is not an integer.
    OverflowError
        An element outside the signed 64-bit range, or a negative ``k``.

    Notes
    -----
    Iterative quickselect over the random-pivot three-way partition of
    ``quicksort()``: expected O(n) time, in place on the copy. ``k`` is
    checked first; the selection runs on the calling thread with the
    interpreter lock released and never uses the worker pool. The result
    depends on the input alone.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.kth_smallest([5, 1, 4], 2)
    4
    """

def top_k(arr: _Ints, k: SupportsIndex) -> list[int]:
    """Return the k largest integers in descending order.

    Parameters
    ----------
    arr : sequence of int
        Integers in the signed 64-bit range, as for ``quicksort()``.
    k : int
        How many values to return; a ``k`` above ``len(arr)`` returns every
        value.

    Returns
    -------
    list of int
        A new list of the ``min(k, len(arr))`` largest values, largest first
        (repeated values as often as they occur among them).

    Raises
    ------
    TypeError
        ``"argument 'arr': ..."`` as for ``quicksort()``;
        ``"argument 'k': ..."`` for a ``k`` that is not an integer.
    OverflowError
        An element outside the signed 64-bit range, or a negative ``k``.

    Notes
    -----
    Quickselect over the random-pivot three-way partition of
    ``quicksort()`` gathers the k largest values at the end of the copy;
    they are then sorted in descending order. Expected O(n + k log k) time.
    Runs on the calling thread with the interpreter lock released; never
    uses the worker pool. The result depends on the input alone.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.top_k([3, 1, 4, 1, 5], 2)
    [5, 4]
    >>> quorvane.top_k([3, 1, 2], 5)
    [3, 2, 1]
    """

def dedup(arr: _Ints) -> list[int]:
    """Remove repeated integers, keeping the order of first occurrence.

    Parameters
    ----------
    arr : sequence of int
        Integers in the signed 64-bit range, as for ``quicksort()``.

    Returns
    -------
    list of int
        A new list holding each distinct value once, in the order in which
        it first occurs in ``arr``.

    Raises
    ------
    TypeError
        ``"argument 'arr': ..."`` for a string, a non-sequence or an element
        that is not an integer, as for ``quicksort()``.
    OverflowError
        An element outside the signed 64-bit range.

    Notes
    -----
    One pass through an open-addressing hash set (SplitMix64 hash, linear
    probing) sized once to at least 2n slots: expected O(n) time and O(n)
    memory. Runs on the calling thread with the interpreter lock released;
    never uses the worker pool.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.dedup([3, 1, 3, 2, 1])
    [3, 1, 2]
    """

# --- number theory, statistics, vectors, edit distance ------------------------

def levenshtein(a: str, b: str) -> int:
    """Return the edit distance between the UTF-8 bytes of two strings.

    Parameters
    ----------
    a, b : str
        The strings, compared as their UTF-8 encodings: a character of
        several bytes counts as several symbols.

    Returns
    -------
    int
        The least number of single-byte insertions, deletions and
        substitutions that turn ``a`` into ``b``.

    Raises
    ------
    TypeError
        ``"argument 'a': '<type>' object cannot be converted to 'PyString'"``
        (or ``'b'``) for an argument that is not a ``str``.

    Notes
    -----
    The common prefix and suffix are stripped, then the bit-parallel
    algorithm runs over the rest: one machine word holds 64 cells of a
    column of the distance table. For byte lengths m <= n that is
    O(ceil(m / 64) n) word operations; a shorter string of more than 64
    bytes runs its 64-byte blocks side by side in AVX2 or AVX-512 lanes
    where the processor has them. For similar strings only a band around
    the diagonal is computed, widened until it is sure to hold the answer.
    Calls where the shorter string has at most 64 bytes and the longer at
    most 256 keep the interpreter lock (they take under a microsecond); all
    others release it. Never uses the worker pool. The result is exact on
    every processor.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.levenshtein("kitten", "sitting")
    3
    >>> quorvane.levenshtein("é", "e")
    2
    """

def gcd(a: SupportsIndex, b: SupportsIndex) -> int:
    """Return the greatest common divisor of two 64-bit integers.

    Parameters
    ----------
    a, b : int
        Integers in the signed 64-bit range.

    Returns
    -------
    int
        The greatest common divisor of ``abs(a)`` and ``abs(b)``;
        ``gcd(a, 0)`` is ``abs(a)`` and ``gcd(0, 0)`` is 0. Absolute values
        wrap modulo ``2**64``, so ``gcd(-2**63, 0)`` is ``-2**63``.

    Raises
    ------
    TypeError
        ``"argument 'a': '<type>' object cannot be interpreted as an
        integer"`` (or ``'b'``) for a float or another non-integer.
    OverflowError
        An argument outside the signed 64-bit range.

    Notes
    -----
    Euclid's algorithm: O(log min(abs(a), abs(b))) divisions. Runs with the
    interpreter lock held.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.gcd(-12, 18)
    6
    """

def lcm(a: SupportsIndex, b: SupportsIndex) -> int:
    """Return the least common multiple of two 64-bit integers.

    Parameters
    ----------
    a, b : int
        Integers in the signed 64-bit range.

    Returns
    -------
    int
        The non-negative least common multiple, 0 if either argument is 0.
        A result above ``2**63 - 1`` wraps modulo ``2**64`` without an
        error.

    Raises
    ------
    TypeError
        ``"argument 'a': '<type>' object cannot be interpreted as an
        integer"`` (or ``'b'``) for a float or another non-integer.
    OverflowError
        An argument outside the signed 64-bit range.

    Notes
    -----
    ``abs(a // gcd(a, b) * b)`` in wrapping 64-bit arithmetic: O(log
    min(abs(a), abs(b))) divisions. Runs with the interpreter lock held.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.lcm(-4, 6)
    12
    """

def mod_pow(base: SupportsIndex, exp: SupportsIndex, modulus: SupportsIndex) -> int:
    """Return ``base ** exp % modulus`` for unsigned 64-bit integers.

    Parameters
    ----------
    base, exp : int
        Integers in [0, ``2**64 - 1``].
    modulus : int
        An integer in [1, ``2**64 - 1``].

    Returns
    -------
    int
        The modular power, as ``pow(base, exp, modulus)`` gives it: 0 when
        ``modulus`` is 1, else 1 when ``exp`` is 0.

    Raises
    ------
    ValueError
        ``"mod_pow() modulus must be at least 1"`` when ``modulus`` is 0.
    TypeError
        ``"argument 'base': '<type>' object cannot be interpreted as an
        integer"`` (or ``'exp'``, ``'modulus'``) for a non-integer.
    OverflowError
        A negative argument, or one above ``2**64 - 1``.

    Notes
    -----
    Square-and-multiply over the bits of ``exp``, every product formed
    exactly in 128 bits before it is reduced, so no modulus overflows:
    O(log exp) multiplications. Runs with the interpreter lock held.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.mod_pow(2, 10, 1000)
    24
    """

def is_prime(n: SupportsIndex) -> bool:
    """Test whether a 64-bit unsigned integer is prime, deterministically.

    Parameters
    ----------
    n : int
        An integer in [0, ``2**64 - 1``].

    Returns
    -------
    bool
        Whether ``n`` is prime; exact for every ``n`` in range (no
        probability of error).

    Raises
    ------
    TypeError
        ``"argument 'n': '<type>' object cannot be interpreted as an
        integer"`` for a non-integer.
    OverflowError
        A negative ``n``, or one above ``2**64 - 1``.

    Notes
    -----
    Trial division by the primes up to 37, then Miller-Rabin with the twelve
    bases 2, 3, 5, ..., 37, which together decide every 64-bit number. At
    most 12 modular powers with 128-bit products: O(log n) multiplications
    each. Runs with the interpreter lock held.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.is_prime(2**61 - 1)
    True
    >>> quorvane.is_prime(3215031751)
    False
    """

def sieve(limit: SupportsIndex) -> list[int]:
    """Return the primes up to ``limit`` by the sieve of Eratosthenes.

    Parameters
    ----------
    limit : int
        The largest candidate, in [0, ``2**64 - 1``] (in practice bounded by
        memory: the sieve takes ``limit + 1`` bytes).

    Returns
    -------
    list of int
        The primes p with 2 <= p <= ``limit``, ascending; empty for a
        ``limit`` below 2.

    Raises
    ------
    MemoryError
        When the sieve or the result cannot be allocated (for example
        ``sieve(2**62)``).
    TypeError
        ``"argument 'limit': '<type>' object cannot be interpreted as an
        integer"`` for a non-integer.
    OverflowError
        A negative ``limit``, or one above ``2**64 - 1``.

    Notes
    -----
    One byte per candidate; each prime p crosses out ``p * p``,
    ``p * p + p``, and so on. O(limit log log limit) time. Runs on the
    calling thread with the interpreter lock released; never uses the
    worker pool.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.sieve(30)
    [2, 3, 5, 7, 11, 13, 17, 19, 23, 29]
    """

def fibonacci(n: SupportsIndex) -> int:
    """Return the Fibonacci number F(n) modulo ``2**64``.

    Parameters
    ----------
    n : int
        The index, in [0, ``2**64 - 1``]; F(0) = 0, F(1) = 1.

    Returns
    -------
    int
        F(n) mod ``2**64``: the exact Fibonacci number for ``n <= 93``, the
        wrapped one beyond.

    Raises
    ------
    TypeError
        ``"argument 'n': '<type>' object cannot be interpreted as an
        integer"`` for a non-integer.
    OverflowError
        A negative ``n``, or one above ``2**64 - 1``.

    Notes
    -----
    Fast doubling (F(2k) and F(2k + 1) from F(k) and F(k + 1)) in wrapping
    64-bit arithmetic: O(log n) multiplications. Runs with the interpreter
    lock held.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.fibonacci(93)
    12200160415121876738
    >>> quorvane.fibonacci(94)  # F(94) mod 2**64
    1293530146158671551
    """

def mean(arr: _Floats) -> float:
    """Return the arithmetic mean of a sequence of floats.

    Parameters
    ----------
    arr : sequence of float
        A list, tuple, range or 1-D float64 or int64 array of numbers
        (anything with ``__float__`` or ``__index__``). It is copied.

    Returns
    -------
    float
        The sum divided by the length; 0.0 for an empty sequence. NaN and
        infinities propagate.

    Raises
    ------
    TypeError
        ``"argument 'arr': Can't extract `str` to `Vec`"`` for a string,
        ``"argument 'arr': '<type>' object cannot be converted to 'Sequence'"``
        for a non-sequence, ``"argument 'arr': must be real number, not
        <type>"`` for an element with no float value.

    Notes
    -----
    The sum adds the elements one at a time in index order, starting from
    -0.0 (no compensated or pairwise summation), so its bits are the same on
    every run and processor. O(n). Runs with the interpreter lock held.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.mean([1, 2, 3, 4])
    2.5
    """

def median(arr: _Floats) -> float:
    """Return the median of a sequence of floats.

    Parameters
    ----------
    arr : sequence of float
        Numbers, as for ``mean()``.

    Returns
    -------
    float
        The middle value of the sorted values for an odd length, the mean
        of the two middle values (summed, then halved) for an even length;
        0.0 for an empty sequence, NaN if any value is NaN.

    Raises
    ------
    TypeError
        ``"argument 'arr': ..."`` for a string, a non-sequence or an element
        with no float value, as for ``mean()``.

    Notes
    -----
    Selection of the middle value (and, for an even length, the largest
    value below it) on the copy, without a full sort: expected O(n) time.
    Runs with the interpreter lock held.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.median([3.0, 1.0, 2.0])
    2.0
    >>> quorvane.median([1, 4])
    2.5
    """

def variance(arr: _Floats) -> float:
    """Return the population variance of a sequence of floats.

    Parameters
    ----------
    arr : sequence of float
        Numbers, as for ``mean()``.

    Returns
    -------
    float
        The mean squared deviation from the mean, divided by n (not
        n - 1); 0.0 for an empty sequence. NaN and infinities propagate.

    Raises
    ------
    TypeError
        ``"argument 'arr': ..."`` for a string, a non-sequence or an element
        with no float value, as for ``mean()``.

    Notes
    -----
    Two passes: the mean as in ``mean()``, then the squared deviations
    summed one at a time in index order from -0.0. O(n); the same bits on
    every run and processor. Runs with the interpreter lock held.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.variance([1, 2, 3, 4])
    1.25
    """

def std_dev(arr: _Floats) -> float:
    """Return the population standard deviation of a sequence of floats.

    Parameters
    ----------
    arr : sequence of float
        Numbers, as for ``mean()``.

    Returns
    -------
    float
        The correctly rounded square root of ``variance(arr)``; 0.0 for an
        empty sequence.

    Raises
    ------
    TypeError
        ``"argument 'arr': ..."`` for a string, a non-sequence or an element
        with no float value, as for ``mean()``.

    Notes
    -----
    As ``variance()``: two passes summed in index order, O(n), the same
    bits on every run and processor. Runs with the interpreter lock held.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.std_dev([2, 4, 4, 4, 5, 5, 7, 9])
    2.0
    """

def dot_product(a: _Floats, b: _Floats) -> float:
    """Return the dot product of two equally long sequences of floats.

    Parameters
    ----------
    a, b : sequence of float
        Lists, tuples, ranges or 1-D float64 or int64 arrays of numbers, of
        the same length. Both are copied.

    Returns
    -------
    float
        The sum of ``a[i] * b[i]``; -0.0 for two empty sequences.

    Raises
    ------
    ValueError
        ``"vectors must be same length"`` when the lengths differ.
    TypeError
        ``"argument 'a': ..."`` (or ``'b'``) for a string, a non-sequence or
        an element with no float value; ``a`` is converted first.

    Notes
    -----
    Each product is rounded, then added, one term at a time in index order
    from -0.0 (no fused multiply-add), so the bits are the same on every
    run and processor. O(n). Runs with the interpreter lock held.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.dot_product([1, 2, 3], [4, 5, 6])
    32.0
    """

def matmul(a: _Matrix, b: _Matrix) -> list[list[float]]:
    """Multiply two matrices given as lists of rows.

    Parameters
    ----------
    a : sequence of sequences of float
        The n x k left factor: n rows of at least k numbers (a row's
        entries past the k-th are ignored). A list of lists, a tuple of
        tuples or a 2-D float64 array.
    b : sequence of sequences of float
        The k x m right factor: k rows; m is the length of its first row.

    Returns
    -------
    list of list of float
        The n x m product as n new lists of m floats.

    Raises
    ------
    ValueError
        ``"incompatible matrix dimensions"`` when ``a`` or ``b`` has no rows
        or ``len(a[0]) != len(b)``;
        ``"incompatible matrix dimensions: row <t> of a has <x> entries,
        expected <k>"`` for a later row of ``a`` shorter than k;
        ``"incompatible matrix dimensions: row <p> of b has <x> entries,
        expected <m>"`` for a row of ``b`` shorter than its first row (where
        a non-zero entry of ``a`` meets it).
    TypeError
        ``"argument 'a': ..."`` (or ``'b'``) for a string, a non-sequence, a
        row that is a string or not a sequence, or an entry with no float
        value.

    Notes
    -----
    Row by row (i, k, j order): each non-zero ``a[t][p]`` adds
    ``b[p][c] * a[t][p]`` to ``result[t][c]`` for every column c, the
    product rounded, then added, in increasing p. Zero entries of ``a`` are
    skipped, so an infinity or NaN in the matching row of ``b`` contributes
    nothing. O(n k m) time; the same bits on every run and processor. Runs
    on the calling thread with the interpreter lock held; for large
    matrices, ``numpy.matmul`` or ``Tensor.matmul()`` is faster.

    Examples
    --------
    >>> import quorvane
    >>> quorvane.matmul([[1, 2], [3, 4]], [[5, 6], [7, 8]])
    [[19.0, 22.0], [43.0, 50.0]]
    """

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
    """An n-dimensional array of float64 values.

    A tensor holds its ``shape``, row-major ``strides`` counted in elements,
    and a buffer of the elements in row-major (C) order. ``Tensor(array)``
    copies a NumPy array; ``Tensor.rand`` and ``Tensor.randn`` draw random
    tensors. The arithmetic methods return new tensors; only
    ``relu_inplace`` and ``add_bias_inplace`` change one.

    Notes
    -----
    ``reshape`` shares the buffer; a tensor copies a shared buffer before it
    writes into it, so tensors behave as independent values. The class
    cannot be subclassed; instances have no ``__dict__``, take no weak
    references and do not pickle.

    Threads: methods that read a tensor hold a shared borrow of it for the
    call, the in-place methods an exclusive one, and the heavy methods
    release the interpreter lock. A call that meets a conflicting borrow
    held by another thread's running call raises ``RuntimeError`` (see each
    method) instead of seeing a half-written buffer. Elementwise work runs
    on the worker pool from 10 000 elements and gives the same bits as a
    sequential loop, on every processor.

    Examples
    --------
    >>> import numpy as np
    >>> import quorvane
    >>> t = quorvane.Tensor(np.arange(6.0).reshape(2, 3))
    >>> t.shape, t.strides
    ([2, 3], [3, 1])
    >>> t.matmul(t, transpose_b=True).to_list()
    [[5.0, 14.0], [14.0, 50.0]]
    """

    def __new__(cls, array: NDArray[np.float64]) -> Tensor:
        """Create a tensor holding a copy of a float64 array.

        Parameters
        ----------
        array : numpy.ndarray
            A float64 array of any rank (0-d included) and any layout: C or
            Fortran order, slices, negative strides, broadcast views.
            Subclasses of ``ndarray`` are accepted; other dtypes are not
            cast.

        Returns
        -------
        Tensor
            A new tensor of ``array.shape`` with its own buffer; later
            changes to ``array`` do not reach it.

        Raises
        ------
        TypeError
            ``"argument 'array': '<type>' object cannot be converted to
            'PyArray<T, D>'"`` for anything but a float64 ``ndarray``
            (lists and float32 arrays included).
        RuntimeError
            ``"Already mutably borrowed"`` while another thread's running
            call writes ``array`` in place.
        MemoryError
            When the buffer cannot be allocated.

        Notes
        -----
        A C-contiguous array is copied as one block, any other layout
        element by element in logical order: O(size). Runs with the
        interpreter lock held.

        Examples
        --------
        >>> import numpy as np
        >>> import quorvane
        >>> f = np.asfortranarray([[1.0, 2.0], [3.0, 4.0]])
        >>> quorvane.Tensor(f).to_list()
        [[1.0, 2.0], [3.0, 4.0]]
        """

    @property
    def data(self) -> _F64:
        """A copy of the elements as a new 1-D float64 array.

        Returns
        -------
        numpy.ndarray
            A new C-contiguous float64 array of the tensor's size, in
            row-major order. Writes into it do not reach the tensor, and
            later changes to the tensor do not show in it.

        Raises
        ------
        RuntimeError
            ``"Already mutably borrowed"`` while another thread runs an
            in-place method on the tensor.

        Notes
        -----
        O(size) copy, with the interpreter lock held.

        Examples
        --------
        >>> import numpy as np
        >>> import quorvane
        >>> quorvane.Tensor(np.eye(2)).data
        array([1., 0., 0., 1.])
        """

    @property
    def shape(self) -> list[int]:
        """The extent of each dimension, as a new list of ints.

        Returns
        -------
        list of int
            One entry per dimension; ``[]`` for a rank-0 tensor.

        Raises
        ------
        RuntimeError
            ``"Already mutably borrowed"`` while another thread runs an
            in-place method on the tensor.

        Notes
        -----
        A tensor's shape never changes; ``reshape`` makes a new tensor.
        Read with the interpreter lock held.

        Examples
        --------
        >>> import numpy as np
        >>> import quorvane
        >>> quorvane.Tensor(np.zeros((2, 0, 3))).shape
        [2, 0, 3]
        """

    @property
    def strides(self) -> list[int]:
        """The row-major strides, counted in elements, as a new list of ints.

        Returns
        -------
        list of int
            Entry k is the product of the extents after dimension k, so
            element ``(i0, i1, ...)`` is at flat index ``sum(ik * strides[k])``.
            A zero extent makes every stride to its left 0.

        Raises
        ------
        RuntimeError
            ``"Already mutably borrowed"`` while another thread runs an
            in-place method on the tensor.

        Notes
        -----
        Always computed from the shape: tensors are never strided views.
        Read with the interpreter lock held.

        Examples
        --------
        >>> import numpy as np
        >>> import quorvane
        >>> quorvane.Tensor(np.zeros((2, 3, 4))).strides
        [12, 4, 1]
        >>> quorvane.Tensor(np.zeros((2, 0, 3))).strides
        [0, 3, 1]
        """

    def sub(self, other: Tensor) -> Tensor:
        """Subtract another tensor of the same shape, element by element.

        Parameters
        ----------
        other : Tensor
            A tensor of exactly the same shape (``self`` itself allowed).

        Returns
        -------
        Tensor
            A new tensor of the same shape, element i being
            ``self[i] - other[i]``.

        Raises
        ------
        ValueError
            ``"Shapes must match for subtraction."`` when the shapes differ,
            even with equal sizes (2 x 3 against 3 x 2).
        TypeError
            For an ``other`` that is not a ``Tensor``, as for ``add()``.
        RuntimeError
            ``"Already mutably borrowed"``, as for ``add()``.

        Notes
        -----
        As for ``add()``: O(size), on the worker pool from 10 000 elements.

        Examples
        --------
        >>> import numpy as np
        >>> import quorvane
        >>> a = quorvane.Tensor(np.array([5.0, 7.0]))
        >>> a.sub(quorvane.Tensor(np.array([1.0, 2.0]))).to_list()
        [4.0, 5.0]
        """

    def mul_elementwise(self, other: Tensor) -> Tensor:
        """Multiply by another tensor of the same shape, element by element.

        Parameters
        ----------
        other : Tensor
            A tensor of exactly the same shape (``self`` itself allowed).

        Returns
        -------
        Tensor
            A new tensor of the same shape, element i being
            ``self[i] * other[i]``.

        Raises
        ------
        ValueError
            ``"Shapes must match for element-wise multiplication."`` when
            the shapes differ, even with equal sizes.
        TypeError
            For an ``other`` that is not a ``Tensor``, as for ``add()``.
        RuntimeError
            ``"Already mutably borrowed"``, as for ``add()``.

        Notes
        -----
        As for ``add()``: O(size), on the worker pool from 10 000 elements.

        Examples
        --------
        >>> import numpy as np
        >>> import quorvane
        >>> a = quorvane.Tensor(np.array([1.5, -2.0]))
        >>> a.mul_elementwise(a).to_list()
        [2.25, 4.0]
        """

    def mul_scalar(self, scalar: _Float) -> Tensor:
        """Multiply every element by a number.

        Parameters
        ----------
        scalar : float
            Any number (anything with ``__float__`` or ``__index__``).

        Returns
        -------
        Tensor
            A new tensor of the same shape, element i being
            ``self[i] * scalar``.

        Raises
        ------
        TypeError
            ``"argument 'scalar': must be real number, not <type>"`` for a
            value with no float value.
        RuntimeError
            ``"Already mutably borrowed"`` while another thread runs an
            in-place method on the tensor.

        Notes
        -----
        O(size), computed with the interpreter lock released; on the worker
        pool from 10 000 elements, with the same bits as a sequential loop.

        Examples
        --------
        >>> import numpy as np
        >>> import quorvane
        >>> quorvane.Tensor(np.array([1.0, -2.0])).mul_scalar(3).to_list()
        [3.0, -6.0]
        """

    def reshape(self, new_shape: Sequence[SupportsIndex]) -> Tensor:
        """Return a tensor with the same elements and a new shape.

        Parameters
        ----------
        new_shape : sequence of int
            Non-negative extents whose product equals the tensor's size
            (``[]`` for a one-element tensor).

        Returns
        -------
        Tensor
            A new tensor that shares this one's buffer (no element is
            copied); ``self`` is unchanged.

        Raises
        ------
        ValueError
            ``"Total number of elements cannot change during reshape."``
            when the sizes differ (also when the product of ``new_shape``
            overflows 64 bits).
        TypeError
            ``"argument 'new_shape': ..."`` for a string, a non-sequence or
            a non-integer extent.
        OverflowError
            A negative extent.
        RuntimeError
            ``"Already mutably borrowed"`` while another thread runs an
            in-place method on the tensor.

        Notes
        -----
        O(rank), with the interpreter lock held. A later in-place change to
        either tensor copies the buffer first, so the other one never sees
        it.

        Examples
        --------
        >>> import numpy as np
        >>> import quorvane
        >>> t = quorvane.Tensor(np.arange(6.0))
        >>> t.reshape([3, 2]).to_list()
        [[0.0, 1.0], [2.0, 3.0], [4.0, 5.0]]
        """

    def add(self, other: Tensor) -> Tensor:
        """Add another tensor of the same shape, element by element.

        Parameters
        ----------
        other : Tensor
            A tensor of exactly the same shape (``self`` itself allowed).

        Returns
        -------
        Tensor
            A new tensor of the same shape, element i being
            ``self[i] + other[i]``.

        Raises
        ------
        ValueError
            ``"Shapes must match for element-wise addition."`` when the
            shapes differ, even with equal sizes (2 x 3 against 3 x 2).
        TypeError
            ``"argument 'other': '<type>' object cannot be converted to
            'Tensor'"`` for anything but a ``Tensor``.
        RuntimeError
            ``"Already mutably borrowed"`` while another thread runs an
            in-place method on either tensor.

        Notes
        -----
        O(size), computed with the interpreter lock released; on the worker
        pool from 10 000 elements, with the same bits as a sequential loop.

        Examples
        --------
        >>> import numpy as np
        >>> import quorvane
        >>> a = quorvane.Tensor(np.array([[1.0, 2.0]]))
        >>> a.add(a).to_list()
        [[2.0, 4.0]]
        """

    def matmul(self, other: Tensor, transpose_a: _Flag = False, transpose_b: _Flag = False) -> Tensor:
        """Matrix product of two rank-2 tensors, either one transposed.

        Parameters
        ----------
        other : Tensor
            The right factor, of rank 2 (``self`` itself allowed).
        transpose_a : bool, default False
            Use the transpose of ``self``.
        transpose_b : bool, default False
            Use the transpose of ``other``.

        Returns
        -------
        Tensor
            A new m x n tensor ``op(self) @ op(other)``, ``op`` being the
            transpose where asked for. An inner extent of 0 gives zeros.

        Raises
        ------
        ValueError
            ``"matmul requires rank-2 tensors."`` when either tensor is not
            of rank 2; ``"Dimension mismatch for multiplication: <ka> vs
            <kb>."`` when the inner extents of ``op(self)`` and
            ``op(other)`` differ.
        TypeError
            ``"argument 'other': '<type>' object cannot be converted to
            'Tensor'"`` for anything but a ``Tensor``;
            ``"argument 'transpose_a': 'int' object cannot be converted to
            'PyBool'"`` (or ``'transpose_b'``) for anything but ``True``,
            ``False`` or a NumPy bool: ints are refused.
        RuntimeError
            ``"Already mutably borrowed"`` while another thread runs an
            in-place method on either tensor.

        Notes
        -----
        One call of a blocked double-precision GEMM (Eigen's), which reads
        a transposed operand through its strides instead of copying it:
        O(m n k) time. It runs on the calling thread with the interpreter
        lock released and does not use the worker pool. The build for the
        processor's level (baseline x86-64, AVX2 with FMA, AVX-512) is
        chosen at run time; this is the one method whose products may fuse
        multiply and add, so the last bits can differ between processor
        levels and from a plain triple loop. Repeated calls on one machine
        give the same bits.

        Examples
        --------
        >>> import numpy as np
        >>> import quorvane
        >>> a = quorvane.Tensor(np.arange(6.0).reshape(3, 2))
        >>> b = quorvane.Tensor(np.ones((3, 4)))
        >>> a.matmul(b, transpose_a=True).shape
        [2, 4]
        >>> a.matmul(a, transpose_a=True).to_list()
        [[20.0, 26.0], [26.0, 35.0]]
        """

    def to_list(self) -> Any:  # nested lists of floats, or a float for rank 0
        """Convert the tensor to nested lists of floats.

        Returns
        -------
        list or float
            Nested lists, one level per dimension, holding Python floats in
            row-major order; a single float for a rank-0 tensor. A zero
            extent gives empty lists at its level.

        Raises
        ------
        RuntimeError
            ``"Already mutably borrowed"`` while another thread runs an
            in-place method on the tensor.

        Notes
        -----
        O(size), with the interpreter lock held.

        Examples
        --------
        >>> import numpy as np
        >>> import quorvane
        >>> quorvane.Tensor(np.array(2.5)).to_list()
        2.5
        >>> quorvane.Tensor(np.zeros((2, 0))).to_list()
        [[], []]
        """

    @classmethod
    def rand(cls, shape: Sequence[SupportsIndex], seed: SupportsIndex | None = None) -> Tensor:
        """Draw a tensor of uniform random values in [0, 1).

        Parameters
        ----------
        shape : sequence of int
            Non-negative extents (``[]`` for a rank-0 tensor).
        seed : int or None, default None
            A seed in [0, ``2**64 - 1``] for reproducible values, or
            ``None`` for values from the operating system's entropy.

        Returns
        -------
        Tensor
            A new tensor of ``shape``; each element has 53 random bits and
            is never 1.0.

        Raises
        ------
        TypeError
            ``"argument 'shape': ..."`` for a string, a non-sequence or a
            non-integer extent; ``"argument 'seed': ..."`` for a seed that
            is not an integer or ``None``.
        OverflowError
            A negative extent, or a seed outside [0, ``2**64 - 1``].
        ValueError
            ``"Tensor shape is too large: its element count does not fit in
            64 bits."``
        MemoryError
            When the buffer cannot be allocated.
        BaseException
            ``quorvane.InternalFailure`` (a ``BaseException``, not an
            ``Exception``) when, without a seed, the operating system's
            entropy source fails.

        Notes
        -----
        The values come from a ChaCha12 stream; each element is the top 53
        bits of one 64-bit word, scaled by ``2**-53``. With a seed, one
        generator draws the elements in row-major order on the calling
        thread: equal seeds and shapes give equal tensors on every run,
        machine and processor. Without a seed, the elements are drawn on the
        worker pool whatever the size, each worker from its own generator
        seeded from the operating system (reseeded after a fork); the values
        are not reproducible. O(size), with the interpreter lock released.

        Examples
        --------
        >>> import numpy as np
        >>> import quorvane
        >>> a = quorvane.Tensor.rand([2, 3], seed=7)
        >>> a.to_list() == quorvane.Tensor.rand([2, 3], seed=7).to_list()
        True
        >>> bool(((a.data >= 0.0) & (a.data < 1.0)).all())
        True
        """

    @classmethod
    def randn(cls, shape: Sequence[SupportsIndex], seed: SupportsIndex | None = None) -> Tensor:
        """Draw a tensor of standard normal random values.

        Parameters
        ----------
        shape : sequence of int
            Non-negative extents, as for ``rand()``.
        seed : int or None, default None
            A seed in [0, ``2**64 - 1``] for reproducible values, or
            ``None``, as for ``rand()``.

        Returns
        -------
        Tensor
            A new tensor of ``shape`` with values drawn from the normal
            distribution of mean 0 and standard deviation 1.

        Raises
        ------
        ValueError
            ``"Tensor shape is too large: its element count does not fit in
            64 bits."``
        TypeError
            ``"argument 'shape': ..."`` or ``"argument 'seed': ..."``, as for
            ``rand()``.
        OverflowError
            A negative extent, or a seed outside [0, ``2**64 - 1``].
        MemoryError
            When the buffer cannot be allocated.
        BaseException
            ``quorvane.InternalFailure``, as for ``rand()``.

        Notes
        -----
        Marsaglia and Tsang's ziggurat method with 256 layers over the
        ChaCha12 stream of ``rand()``; a draw usually takes one 64-bit word.
        Seeds, threads and reproducibility are as for ``rand()``: a seed
        gives the same tensor on every run, machine and processor.

        Examples
        --------
        >>> import quorvane
        >>> a = quorvane.Tensor.randn([1000], seed=1)
        >>> a.to_list() == quorvane.Tensor.randn([1000], seed=1).to_list()
        True
        >>> abs(float(a.data.mean())) < 0.1
        True
        """

    def add_bias_inplace(self, bias: NDArray[np.float64]) -> None:
        """Add a bias vector to every row of a rank-2 tensor, in place.

        Parameters
        ----------
        bias : numpy.ndarray
            A C- or Fortran-contiguous float64 array of any rank whose size
            equals the tensor's second extent; its elements are used in
            row-major order.

        Returns
        -------
        None
            Element ``[i][j]`` becomes ``bias[j] + self[i][j]``.

        Raises
        ------
        ValueError
            Checked in this order, before anything is written:
            ``"add_bias_inplace requires a rank-2 tensor."``;
            ``"Bias array must be contiguous."``;
            ``"Bias length must match the second dimension of the tensor:
            <len> vs <cols>."`` (the bias size first).
        TypeError
            ``"argument 'bias': '<type>' object cannot be converted to
            'PyArray<T, D>'"`` for anything but a float64 ``ndarray``.
        RuntimeError
            ``"Already borrowed"`` while another thread's running call uses
            the tensor; ``"Already mutably borrowed"`` while another
            thread's running call writes ``bias`` in place.

        Notes
        -----
        A buffer shared with another tensor (after ``reshape``) is copied
        first, so the other tensor is unchanged. O(size), with the
        interpreter lock released; the rows are spread over the worker pool
        from 10 000 elements, with the same bits as a sequential loop.

        Examples
        --------
        >>> import numpy as np
        >>> import quorvane
        >>> t = quorvane.Tensor(np.zeros((2, 3)))
        >>> t.add_bias_inplace(np.array([1.0, 2.0, 3.0]))
        >>> t.to_list()
        [[1.0, 2.0, 3.0], [1.0, 2.0, 3.0]]
        """

    def relu_inplace(self) -> None:
        """Replace every negative element by 0.0, in place.

        Returns
        -------
        None
            Elements below 0.0 become 0.0; the others, NaN and -0.0
            included, are not touched.

        Raises
        ------
        RuntimeError
            ``"Already borrowed"`` while another thread's running call uses
            the tensor.

        Notes
        -----
        A buffer shared with another tensor (after ``reshape``) is copied
        first, so the other tensor is unchanged. O(size), with the
        interpreter lock released; on the worker pool from 10 000 elements,
        with the same bits as a sequential loop.

        Examples
        --------
        >>> import numpy as np
        >>> import quorvane
        >>> t = quorvane.Tensor(np.array([-1.0, -0.0, 2.0]))
        >>> t.relu_inplace()
        >>> t.to_list()
        [0.0, -0.0, 2.0]
        """

    def relu_derivative(self) -> Tensor:
        """Return the derivative of ReLU at every element: 1.0 or 0.0.

        Returns
        -------
        Tensor
            A new tensor of the same shape, element i being 1.0 if
            ``self[i] > 0.0`` and 0.0 otherwise (0.0, -0.0 and NaN give
            0.0).

        Raises
        ------
        RuntimeError
            ``"Already mutably borrowed"`` while another thread runs an
            in-place method on the tensor.

        Notes
        -----
        O(size), with the interpreter lock released; on the worker pool
        from 10 000 elements, with the same bits as a sequential loop.

        Examples
        --------
        >>> import numpy as np
        >>> import quorvane
        >>> t = quorvane.Tensor(np.array([-1.0, 0.0, float("nan"), 2.0]))
        >>> t.relu_derivative().to_list()
        [0.0, 0.0, 0.0, 1.0]
        """

@final
class VaneHashMap:
    """A map from 64-bit signed integer keys to 64-bit signed integer values.

    Use its methods: the class has no ``[]``, ``in`` or iteration, and
    ``get`` and ``remove`` return ``None`` for a missing key instead of
    raising.

    Notes
    -----
    An open-addressing table with linear probing and deleted-slot markers;
    keys are hashed by the SplitMix64 finaliser. It starts with 16 slots
    and doubles before an insertion would bring the live entries to 70 %
    of the slots; deleted markers are dropped when it grows, or when they
    pile up, by a rebuild at the same size. It never shrinks. Expected
    O(1) per ``insert``, ``get``, ``remove`` and ``contains``. ``keys``,
    ``values`` and ``items`` list in slot order, which follows from the
    keys and the history of the map (the same on every run), not insertion
    order.

    Every method runs with the interpreter lock held and never uses the
    worker pool. ``insert`` and ``remove`` hold an exclusive borrow of the
    map while they convert their arguments, the other methods a shared
    one: a call made into the same map from an argument's ``__index__``
    (or from another thread that runs meanwhile) raises ``RuntimeError``.
    The class cannot be subclassed; instances have no ``__dict__``, take
    no weak references and do not pickle.

    Examples
    --------
    >>> import quorvane
    >>> m = quorvane.VaneHashMap()
    >>> print(m.insert(1, 10))
    None
    >>> m.insert(1, 20)
    10
    >>> m.get(1), len(m), m.contains(2)
    (20, 1, False)
    """

    def __new__(cls) -> VaneHashMap:
        """Create an empty map.

        Returns
        -------
        VaneHashMap
            A new map with no entries and 16 slots.

        Raises
        ------
        TypeError
            ``"VaneHashMap.__new__() takes 0 positional arguments but 1 was
            given"`` (and the like) for any argument.

        Notes
        -----
        O(1), with the interpreter lock held.

        Examples
        --------
        >>> import quorvane
        >>> len(quorvane.VaneHashMap())
        0
        """

    def __len__(self) -> int:
        """Return the number of entries.

        Returns
        -------
        int
            The number of keys in the map.

        Raises
        ------
        RuntimeError
            ``"Already mutably borrowed"`` during an ``insert`` or
            ``remove`` on the map whose argument conversion runs Python
            code.

        Notes
        -----
        O(1): the count is kept, not computed.

        Examples
        --------
        >>> import quorvane
        >>> m = quorvane.VaneHashMap()
        >>> m.insert(7, 1)
        >>> len(m)
        1
        """

    def insert(self, key: SupportsIndex, value: SupportsIndex) -> int | None:
        """Set the value of a key.

        Parameters
        ----------
        key, value : int
            Integers in the signed 64-bit range.

        Returns
        -------
        int or None
            The key's previous value if it was present (the value is
            replaced), else ``None`` (the entry is added).

        Raises
        ------
        TypeError
            ``"argument 'key': '<type>' object cannot be interpreted as an
            integer"`` (or ``'value'``) for a non-integer.
        OverflowError
            A key or value outside the signed 64-bit range.
        RuntimeError
            ``"Already borrowed"`` when called while another call on the
            map converts its arguments.

        Notes
        -----
        Expected O(1); the table doubles (O(len) once) before an insertion
        would fill 70 % of its slots.

        Examples
        --------
        >>> import quorvane
        >>> m = quorvane.VaneHashMap()
        >>> print(m.insert(-1, 5))
        None
        >>> m.insert(-1, 6)
        5
        """

    def get(self, key: SupportsIndex) -> int | None:
        """Return the value of a key, or ``None`` if it is absent.

        Parameters
        ----------
        key : int
            An integer in the signed 64-bit range.

        Returns
        -------
        int or None
            The key's value, or ``None``: a missing key is not an error.

        Raises
        ------
        TypeError
            ``"argument 'key': '<type>' object cannot be interpreted as an
            integer"`` for a non-integer.
        OverflowError
            A key outside the signed 64-bit range.
        RuntimeError
            ``"Already mutably borrowed"`` when called while an ``insert``
            or ``remove`` on the map converts its arguments.

        Notes
        -----
        Expected O(1).

        Examples
        --------
        >>> import quorvane
        >>> m = quorvane.VaneHashMap()
        >>> m.insert(3, 30)
        >>> m.get(3)
        30
        >>> print(m.get(4))
        None
        """

    def remove(self, key: SupportsIndex) -> int | None:
        """Remove a key and return its value, or ``None`` if it is absent.

        Parameters
        ----------
        key : int
            An integer in the signed 64-bit range.

        Returns
        -------
        int or None
            The removed value, or ``None``: a missing key is not an error.

        Raises
        ------
        TypeError
            ``"argument 'key': ..."`` for a non-integer, as for ``get()``.
        OverflowError
            A key outside the signed 64-bit range.
        RuntimeError
            ``"Already borrowed"`` when called while another call on the
            map converts its arguments.

        Notes
        -----
        Expected O(1). The slot is marked deleted, not freed: the table
        never shrinks.

        Examples
        --------
        >>> import quorvane
        >>> m = quorvane.VaneHashMap()
        >>> m.insert(3, 30)
        >>> m.remove(3), len(m)
        (30, 0)
        >>> print(m.remove(3))
        None
        """

    def contains(self, key: SupportsIndex) -> bool:
        """Return whether a key is present.

        Parameters
        ----------
        key : int
            An integer in the signed 64-bit range.

        Returns
        -------
        bool
            ``True`` if the map has the key.

        Raises
        ------
        TypeError
            ``"argument 'key': ..."`` for a non-integer, as for ``get()``.
        OverflowError
            A key outside the signed 64-bit range.
        RuntimeError
            ``"Already mutably borrowed"``, as for ``get()``.

        Notes
        -----
        Expected O(1).

        Examples
        --------
        >>> import quorvane
        >>> m = quorvane.VaneHashMap()
        >>> m.insert(3, 30)
        >>> m.contains(3), m.contains(30)
        (True, False)
        """

    def keys(self) -> list[int]:
        """Return the keys, in slot order.

        Returns
        -------
        list of int
            A new list of every key, in the order of the table's slots (the
            order of ``values()`` and ``items()``, not insertion order).

        Raises
        ------
        RuntimeError
            ``"Already mutably borrowed"`` when called while an ``insert``
            or ``remove`` on the map converts its arguments.

        Notes
        -----
        One pass over the slots: O(number of slots).

        Examples
        --------
        >>> import quorvane
        >>> m = quorvane.VaneHashMap()
        >>> for k in (3, 1, 2):
        ...     _ = m.insert(k, 10 * k)
        >>> sorted(m.keys())
        [1, 2, 3]
        """

    def values(self) -> list[int]:
        """Return the values, in slot order.

        Returns
        -------
        list of int
            A new list of every value, in the order of ``keys()``.

        Raises
        ------
        RuntimeError
            ``"Already mutably borrowed"`` when called while an ``insert``
            or ``remove`` on the map converts its arguments.

        Notes
        -----
        One pass over the slots: O(number of slots).

        Examples
        --------
        >>> import quorvane
        >>> m = quorvane.VaneHashMap()
        >>> for k in (3, 1, 2):
        ...     _ = m.insert(k, 10 * k)
        >>> [v // 10 for v in m.values()] == m.keys()
        True
        """

    def items(self) -> list[tuple[int, int]]:
        """Return the entries as (key, value) pairs, in slot order.

        Returns
        -------
        list of tuple of (int, int)
            A new list of 2-tuples, in the order of ``keys()``.

        Raises
        ------
        RuntimeError
            ``"Already mutably borrowed"`` when called while an ``insert``
            or ``remove`` on the map converts its arguments.

        Notes
        -----
        One pass over the slots: O(number of slots).

        Examples
        --------
        >>> import quorvane
        >>> m = quorvane.VaneHashMap()
        >>> m.insert(5, 50)
        >>> m.items()
        [(5, 50)]
        """
