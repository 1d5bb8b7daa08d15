"""levenshtein: edit distance over the UTF-8 bytes of two strings."""
import random
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import quorvane as qv


def reference(a, b):
    """The two-row programme over UTF-8 bytes; each row's insertion chain as a
    running minimum, so that long strings stay quick."""
    a, b = np.frombuffer(a.encode(), np.uint8), np.frombuffer(b.encode(), np.uint8)
    cols = np.arange(len(b) + 1)
    prev = cols.copy()
    for i, x in enumerate(a, 1):
        cur = np.empty_like(prev)
        cur[0] = i
        np.minimum(prev[:-1] + (b != x), prev[1:] + 1, out=cur[1:])
        prev = np.minimum.accumulate(cur - cols) + cols
    return int(prev[-1])


def check(a, b):
    expect = reference(a, b)
    assert qv.levenshtein(a, b) == expect
    assert qv.levenshtein(b, a) == expect


# Lengths around the word (64) and block boundaries.
EDGES = [0, 1, 2, 63, 64, 65, 127, 128, 129, 191, 192, 193, 256, 257, 511, 512, 513, 1025]


def texts(alphabet):
    return st.one_of(st.text(alphabet, max_size=140),
                     st.sampled_from(EDGES).flatmap(lambda n: st.text(alphabet, min_size=n, max_size=n)))


@given(a=texts("ab"), b=texts("ab"))
@settings(max_examples=150, deadline=None)
def test_two_letters(a, b):
    check(a, b)


@given(a=texts(st.characters(max_codepoint=255)), b=texts(st.characters(max_codepoint=255)))
@settings(max_examples=100, deadline=None)
def test_bytes_and_two_byte_characters(a, b):
    check(a, b)


@given(a=st.text(max_size=60), b=st.text(max_size=60))
@settings(max_examples=100)
def test_any_unicode(a, b):
    check(a, b)


def mutate(rnd, s, edits, alphabet):
    out = list(s)
    for _ in range(edits):
        i = rnd.randrange(len(out) + 1)
        kind = rnd.randrange(3)
        if kind == 0 and i < len(out):
            out[i] = rnd.choice(alphabet)
        elif kind == 1:
            out.insert(i, rnd.choice(alphabet))
        elif i < len(out):
            del out[i]
    return "".join(out)


@pytest.mark.parametrize("n, edits", [(100, 3), (700, 0), (700, 1), (1500, 30), (3000, 60), (3000, 700)])
@pytest.mark.parametrize("alphabet", ["ab", "abcdefghijklmnopqrstuvwxyz"])
def test_similar_long_strings(n, edits, alphabet):
    rnd = random.Random(n * 1000 + edits + len(alphabet))
    s = "".join(rnd.choices(alphabet, k=n))
    check(s, mutate(rnd, s, edits, alphabet))


@pytest.mark.parametrize("n, m", [(65, 65), (300, 1000), (1000, 1000), (2000, 130), (4000, 600)])
def test_unrelated_long_strings(n, m):
    rnd = random.Random(n + m)
    check("".join(rnd.choices("acgt", k=n)), "".join(rnd.choices("acgt", k=m)))


@pytest.mark.parametrize("n", [64, 65, 600])
def test_all_equal_bytes(n):
    check("x" * n, "x" * n)
    check("x" * n, "x" * (2 * n + 1))
    check("x" * n, "y" * n)
    check("x" * n, "")


def test_threads_share_nothing():
    rnd = random.Random(5)
    pairs = [("".join(rnd.choices("abc", k=rnd.randint(1, 3000))), "".join(rnd.choices("abc", k=rnd.randint(1, 3000))))
             for _ in range(16)]
    expect = [qv.levenshtein(a, b) for a, b in pairs]
    with ThreadPoolExecutor(4) as pool:
        for _ in range(3):
            assert list(pool.map(lambda p: qv.levenshtein(*p), pairs)) == expect


def test_examples():
    assert qv.levenshtein("kitten", "sitting") == 3
    assert qv.levenshtein("", "abc") == 3
    assert qv.levenshtein("", "") == 0
    assert qv.levenshtein("é", "e") == 2
    with pytest.raises(TypeError, match="^argument 'b': 'bytes' object cannot be converted to 'PyString'$"):
        qv.levenshtein("a", b"a")
