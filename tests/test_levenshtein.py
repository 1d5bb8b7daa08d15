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


def edited(rnd, s, edits):
    """s with `edits` random single-letter substitutions, insertions and deletions."""
    out = list(s)
    for _ in range(edits):
        i = rnd.randrange(len(out) + 1)
        out[i:i + rnd.randrange(2)] = rnd.choice(["", "#"])
    return "".join(out)


# The long paths (word by word, wavefront, band) and all-equal bytes; the
# native tests run them on every instruction-set level.
@pytest.mark.parametrize("n, edits", [(150, 3), (700, 0), (700, 1), (3000, 60), (3000, 700), (3000, None)])
@pytest.mark.parametrize("alphabet", ["x", "ab", "acgt"])
def test_long_strings(n, edits, alphabet):
    rnd = random.Random(n + len(alphabet))
    s = "".join(rnd.choices(alphabet, k=n))
    check(s, "".join(rnd.choices(alphabet, k=n // 3)) if edits is None else edited(rnd, s, edits))


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
