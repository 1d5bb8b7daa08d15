"""Argument kinds and borrow rules of the call frame, through functions that use them."""
import sys
import threading

import numpy as np
import pytest

import quorvane as q


# --- sequences -----------------------------------------------------------------

@pytest.mark.parametrize(
    "arg, expected",
    [((1, 2.5), 1.75), (np.array([1.0, 2.0]), 1.5), (range(5), 2.0), (np.arange(4), 1.5), ([True, 2], 1.5),
     (np.array([1.0, 2.0, 3.0, 4.0])[::-2], 3.0), (b"\x01\x03", 2.0)],
)
def test_float_list_accepts_any_sequence(arg, expected):
    assert q.mean(arg) == expected


@pytest.mark.parametrize(
    "arr", [np.arange(10, dtype=np.int64)[::-3], np.array([2**63 - 1, -(2**63)]), np.arange(6).reshape(2, 3)[:, 1]]
)
def test_int64_array_fast_path_equals_elementwise_conversion(arr):
    assert q.quicksort(arr) == sorted(int(v) for v in arr)


@pytest.mark.parametrize(
    "arg, text",
    [
        ("123", "argument 'arr': Can't extract `str` to `Vec`"),
        ({1: 2}, "argument 'arr': 'dict' object cannot be converted to 'Sequence'"),
        (5, "argument 'arr': 'int' object cannot be converted to 'Sequence'"),
        ([1, "2"], "argument 'arr': must be real number, not str"),
    ],
)
def test_float_list_refusals(arg, text):
    with pytest.raises(TypeError) as info:
        q.mean(arg)
    assert str(info.value) == text


def test_int_list_element_errors_pass_through():
    with pytest.raises(OverflowError):
        q.quicksort([1, 2**63])
    with pytest.raises(TypeError, match="^argument 'arr': 'float' object cannot be interpreted as an integer$"):
        q.quicksort([1, 2.0])
    with pytest.raises(TypeError, match="^argument 'arr': "):
        q.quicksort(np.array([1.0, 2.0]))  # float64 elements are not integers


def test_list_changed_by_an_element_during_conversion_is_safe():
    lst = []

    class Shrink:
        def __index__(self):
            lst.clear()  # drops every element, this one included
            return 7

    lst.extend([3, Shrink(), 1, 2])
    assert q.quicksort(lst) == [3, 7]  # conversion saw the list as iteration would
    assert lst == []


def test_matrix_rows_are_lists_of_their_own():
    assert q.matmul([(1, 2)], np.array([[3.0], [4.0]])) == [[11.0]]
    assert q.matmul(np.array([[1.0, 2.0], [3.0, 4.0]]).T, [[1, 0], [0, 1]]) == [[1.0, 3.0], [2.0, 4.0]]
    with pytest.raises(TypeError, match="^argument 'b': Can't extract `str` to `Vec`$"):
        q.matmul([[1.0]], ["1"])
    with pytest.raises(TypeError, match="^argument 'a': 'float' object cannot be converted to 'Sequence'$"):
        q.matmul([1.0], [[1.0]])


def test_string_kind():
    assert q.levenshtein("é", "e") == 2
    with pytest.raises(TypeError, match="^argument 'a': 'int' object cannot be converted to 'PyString'$"):
        q.levenshtein(1, "a")
    with pytest.raises(UnicodeEncodeError):
        q.levenshtein("\ud800", "a")


# --- arrays --------------------------------------------------------------------

def test_array_kinds_take_subclasses_and_refuse_other_byte_orders():
    class Sub(np.ndarray):
        pass

    x = np.array([-1.0, 2.0]).view(Sub)
    assert q.relu(x).tolist() == [0.0, 2.0]
    with pytest.raises(TypeError, match="^argument 'x': 'ndarray' object cannot be converted to 'PyArray<T, D>'$"):
        q.relu(np.array([1.0], dtype=">f8"))


def test_new_array_results_own_their_buffer():
    out = q.relu(np.array([-1.0, 3.0]))
    assert out.flags.c_contiguous and out.flags.writeable and out.flags.owndata is False
    assert out.base is not None
    out[0] = 5.0  # the result is the caller's to change
    del out


def test_same_array_twice_is_refused_untouched():
    p = np.ones(4)
    with pytest.raises(ValueError, match=r"^sgd_momentum_step\(\): 'params' and 'grads' share memory$"):
        q.sgd_momentum_step(p, p, np.zeros(4), 0.1, 0.9)
    assert np.array_equal(p, np.ones(4))
    # disjoint views of one buffer are fine
    buf = np.zeros(8)
    q.adam_step(buf[:4], np.ones(4), buf[4:8], np.zeros(4))


def test_concurrent_calls_meet_the_array_borrow():
    # While one thread's call holds `params` (its `lr` conversion runs Python
    # code, so the lock is free), other threads' calls on that array are
    # refused as for instances -- ordinary exceptions, nothing written.
    p, inside, release = np.ones(4), threading.Event(), threading.Event()

    class SlowRate:
        def __float__(self):
            inside.set()
            release.wait(10)
            return 0.5

    t = threading.Thread(target=lambda: q.sgd_momentum_step(p, np.ones(4), np.zeros(4), SlowRate(), 0.0))
    t.start()
    try:
        assert inside.wait(10)
        with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
            q.relu(p)
        with pytest.raises(RuntimeError, match="^Already borrowed$"):
            q.clip_grad_norm(p[1:3], 1.0)
        assert np.array_equal(p, np.ones(4))
    finally:
        release.set()
        t.join()
    assert np.array_equal(p, np.full(4, 0.5)) and q.relu(p).tolist() == [0.5] * 4


def test_borrows_are_returned_after_a_failure():
    p, v = np.ones(3), np.zeros(3)
    with pytest.raises(ValueError):
        q.sgd_momentum_step(p, np.ones(2), v, 0.1, 0.9)  # length mismatch
    q.sgd_momentum_step(p, np.ones(3), v, 0.1, 0.9)  # same arrays borrowed again


# --- seeds and small integers --------------------------------------------------

@pytest.mark.parametrize(
    "seed, exc", [(-1, OverflowError), (2**64, OverflowError), (1.5, TypeError), ("1", TypeError)]
)
def test_seed_refusals(seed, exc):
    with pytest.raises(exc) as info:
        q.dropout(np.ones(3), 0.5, seed=seed)
    if exc is TypeError:
        assert str(info.value).startswith("argument 'seed': ")


def test_seed_accepts_index_objects_and_the_full_range():
    x = np.arange(1.0, 40.0)
    assert np.array_equal(q.dropout(x, 0.5, seed=np.uint64(2**64 - 1)), q.dropout(x, 0.5, seed=2**64 - 1))


def test_int32_kind_range():
    p, g, m, v = np.ones(1), np.ones(1), np.zeros(1), np.zeros(1)
    q.adam_step(p, g, m, v, t=2**31 - 1)
    with pytest.raises(OverflowError, match="^out of range integral type conversion attempted$"):
        q.adam_step(p, g, m, v, t=-(2**31) - 1)
    with pytest.raises(TypeError, match="^argument 't': "):
        q.adam_step(p, g, m, v, t=1.0)


# --- the instance borrow rule across threads --------------------------------------

def test_other_thread_meets_the_borrow_during_a_conversion():
    m = q.VaneHashMap()
    m.insert(1, 10)
    inside, release = threading.Event(), threading.Event()

    class Slow:
        def __index__(self):
            inside.set()
            release.wait(10)  # the lock is free meanwhile: other threads run
            return 2

    result = {}

    def writer():
        result["insert"] = m.insert(Slow(), 20)

    t = threading.Thread(target=writer)
    t.start()
    try:
        assert inside.wait(10)
        with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
            m.get(1)
        with pytest.raises(RuntimeError, match="^Already borrowed$"):
            m.remove(1)
    finally:
        release.set()
        t.join()
    assert result["insert"] is None and m.get(2) == 20 and m.get(1) == 10


def test_released_sections_let_other_threads_run():
    # sieve releases the lock: a Python thread keeps counting meanwhile
    stop = threading.Event()
    ticks = []

    def counter():
        while not stop.is_set():
            ticks.append(1)

    t = threading.Thread(target=counter)
    t.start()
    try:
        before = len(ticks)
        for _ in range(3):
            q.sieve(3_000_000)
        assert len(ticks) > before
    finally:
        stop.set()
        t.join()
    assert sys.getswitchinterval() > 0
