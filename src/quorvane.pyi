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
) -> tuple[list[list[float]], list[int]]: ...
def pairwise_manhattan(matrix_a: _Matrix, matrix_b: _Matrix) -> list[list[float]]: ...
def pairwise_cosine(matrix_a: _Matrix, matrix_b: _Matrix) -> list[list[float]]: ...
def determinant(matrix: _Matrix) -> float: ...
def matrix_inverse(matrix: _Matrix) -> list[list[float]]: ...

# --- deep-learning formulas over float64 arrays ---------------------------------

def relu(x: _F64) -> _F64: ...
def relu_derivative(x: _F64) -> _F64: ...
def leaky_relu(x: _F64, alpha: _Float = 0.01) -> _F64: ...
def leaky_relu_derivative(x: _F64, alpha: _Float = 0.01) -> _F64: ...
def elu(x: _F64, alpha: _Float = 1.0) -> _F64: ...
def elu_derivative(x: _F64, alpha: _Float = 1.0) -> _F64: ...
def gelu(x: _F64) -> _F64: ...
def silu(x: _F64) -> _F64: ...
def silu_derivative(x: _F64) -> _F64: ...
def sigmoid(x: _F64) -> _F64: ...
def sigmoid_derivative(x: _F64) -> _F64: ...
def tanh(x: _F64) -> _F64: ...
def tanh_derivative(x: _F64) -> _F64: ...
def softmax(x: _F64) -> _F64: ...
def softmax_cross_entropy(logits: _F64, targets: NDArray[np.int64]) -> tuple[float, _F64]: ...
def one_hot(indices: NDArray[np.int64], num_classes: SupportsIndex) -> _F64: ...
def mse_loss(predictions: _F64, targets: _F64) -> float: ...
def categorical_cross_entropy(predictions: _F64, targets: _F64) -> float: ...
def mae_loss(predictions: _F64, targets: _F64) -> float: ...
def bce_loss(predictions: _F64, targets: _F64) -> float: ...
def sgd_momentum_step(params: _F64, grads: _F64, velocity: _F64, lr: _Float, momentum: _Float) -> None: ...
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
) -> None: ...
def clip_grad_norm(grads: _F64, max_norm: _Float) -> float: ...
def dropout(x: _F64, p: _Float, seed: SupportsIndex | None = None) -> _F64: ...

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
