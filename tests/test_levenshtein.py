"""levenshtein: edit distance over the UTF-8 bytes of two strings."""
import random
import string
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


# Pattern lengths (the shorter string) at the edges of the 64-bit word, of the
# two to four words taken word by word, and of the wavefront's groups of rows
# (4, 8 or 16 lanes of 64 rows by level), each against a text of equal length
# and a longer one.
WORD_AND_GROUP_EDGES = [1, 63, 64, 65, 129, 255, 256, 257, 511, 512, 513, 1023, 1024, 1025, 2049]


@pytest.mark.parametrize("m", WORD_AND_GROUP_EDGES)
@pytest.mark.parametrize("ragged", [False, True])
def test_word_and_group_edges(m, ragged):
    rnd = random.Random(m)
    check("".join(rnd.choices("abc", k=m)), "".join(rnd.choices("abc", k=2 * m + 1 if ragged else m)))


def band_steps(k, n, m, lanes):
    """The steps the wavefront takes over a band of width k: its columns
    summed over the groups of lanes * 64 rows."""
    low, high, rows = -((k - (n - m)) // 2), (k + n - m) // 2, lanes * 64
    return sum(min(n, top + rows - 1 + high) - max(0, top + low - 1) + lanes for top in range(1, m + 1, rows))


def first_band(n, m, lanes):
    """The first band the wavefront tries (text n >= pattern m), or None when
    it goes straight to the whole table."""
    k = n - m + lanes * 32
    if k >= n or 2 * band_steps(k, n, m, lanes) > band_steps(2 * n + 2, n, m, lanes):
        return None
    return k


def band_cases(s):
    """Pairs (t, distance) around each level's first band (k = 64 * lanes / 2
    for strings of equal length): '#' (not in s) substituted for spread
    bytes, from the first to the last so that nothing is stripped, and
    inserted (each '#' costs one edit), for distances one below, at and one
    above k; and s shifted by k / 2 bytes either way, whose cheapest path
    runs along the band's edge."""
    for half in (128, 256, 512):
        for inserted in (0, 37):
            for d in (half - 1, half, half + 1):
                t = list(s)
                for i in range(d):
                    t[i * (len(s) - 1) // (d - 1)] = "#"
                for i in range(inserted):
                    t.insert(1 + (2 * i + 1) * (len(t) - 2) // (2 * inserted), "#")
                yield "".join(t), d + inserted
        shift = "#" * (half // 2)
        yield shift + s[: -half // 2], None
        yield s[half // 2 :] + shift, None


def test_band_edges():
    rnd = random.Random(25)
    s = "".join(rnd.choices(string.ascii_lowercase, k=3000))
    decided = {lanes: [0, 0] for lanes in (4, 8, 16)}  # band enough, band too narrow
    for t, d in band_cases(s):
        d = reference(s, t) if d is None else d
        assert qv.levenshtein(s, t) == qv.levenshtein(t, s) == d
        for lanes, counts in decided.items():
            counts[d > first_band(len(t), len(s), lanes)] += 1
    # Every level's band decides some cases (some exactly at its edge) and is
    # too narrow for others.
    assert decided == {4: [6, 18], 8: [14, 10], 16: [22, 2]}
