"""Edit distance against rapidfuzz, the fastest thing a Python user can call."""
import random
import string

import quorvane as qv
from harness import compare, header, machine

try:
    from rapidfuzz.distance import Levenshtein
except ImportError:  # a bench-only peer (requirements-bench.txt)
    Levenshtein = None

PEER = "rapidfuzz Levenshtein.distance"


def random_text(rnd, n, alphabet):
    return "".join(rnd.choices(alphabet, k=n))


def edited(rnd, s, share, alphabet):
    """s with about share * len(s) single-character edits (a third each
    substitutions, insertions and deletions) at random places."""
    out = list(s)
    for _ in range(int(len(s) * share)):
        i = rnd.randrange(len(out))
        kind = rnd.randrange(3)
        if kind == 0:
            out[i] = rnd.choice(alphabet)
        elif kind == 1:
            out.insert(i, rnd.choice(alphabet))
        else:
            del out[i]
    return "".join(out)


def run():
    if Levenshtein is None:
        print("levenshtein: rapidfuzz not installed, rows skipped")
        return
    rnd = random.Random(7)
    ascii_chars = "".join(map(chr, range(128)))
    dist = Levenshtein.distance
    lev = qv.levenshtein

    header("levenshtein")
    # Long random pairs: 2.5 where the processor has AVX-512, 2 with AVX2.
    wide = 2.5 if machine()[1].startswith("x86-64-v4") else 2.0
    s = random_text(rnd, 2000, "abcdefghij")
    t = random_text(rnd, 3000, "abcdefghij")
    compare("2 000 x 3 000, ten letters", lambda: lev(s, t), lambda: dist(s, t), wide, PEER)
    s = random_text(rnd, 2000, ascii_chars)
    t = random_text(rnd, 3000, ascii_chars)
    compare("2 000 x 3 000 random ASCII", lambda: lev(s, t), lambda: dist(s, t), wide, PEER)

    letters = string.ascii_lowercase
    pairs = [(random_text(rnd, rnd.randint(8, 24), letters), random_text(rnd, rnd.randint(8, 24), letters))
             for _ in range(20_000)]
    compare("20 000 pairs of 8-24 letters, Python loop", lambda: [lev(a, b) for a, b in pairs],
            lambda: [dist(a, b) for a, b in pairs], 1.0, PEER)

    s = random_text(rnd, 20_000, string.ascii_letters + " ")
    t = edited(rnd, s, 0.02, string.ascii_letters + " ")
    compare("20 000 characters, 2 % edited", lambda: lev(s, t), lambda: dist(s, t), 4.0, PEER)
