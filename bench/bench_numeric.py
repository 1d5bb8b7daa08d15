"""Number theory against the built-ins and the big-number libraries."""
import math
import random

import numpy as np

import quorvane as q
from harness import compare, header


def numpy_sieve(limit):
    flags = np.ones(limit + 1, dtype=bool)
    flags[:2] = False
    for j in range(2, math.isqrt(limit) + 1):
        if flags[j]:
            flags[j * j :: j] = False
    return np.flatnonzero(flags).tolist()


def run():
    header("number theory")
    rng = random.Random(7)
    pairs = [(rng.randrange(1, 1 << 20), rng.randrange(1, 1 << 20)) for _ in range(100_000)]
    qgcd, mgcd = q.gcd, math.gcd
    compare("gcd x 100 000 small pairs", lambda: [qgcd(a, b) for a, b in pairs],
            lambda: [mgcd(a, b) for a, b in pairs], 0.9, "math.gcd")

    nums = [rng.randrange(1 << 63, 1 << 64) | 1 for _ in range(20_000)]
    qp = q.is_prime
    try:
        import gmpy2

        gp = gmpy2.is_prime
        compare("is_prime x 20 000 random 64-bit", lambda: [qp(n) for n in nums],
                lambda: [gp(n) for n in nums], 1.0, "gmpy2.is_prime")
    except ImportError:
        print("  (gmpy2 not installed: row skipped)")
    try:
        import sympy

        sp = sympy.isprime
        compare("is_prime x 20 000 random 64-bit", lambda: [qp(n) for n in nums],
                lambda: [sp(n) for n in nums], 1.0, "sympy.isprime", rounds=3)
    except ImportError:
        print("  (sympy not installed: row skipped)")

    compare("sieve(10**7)", lambda: q.sieve(10**7), lambda: numpy_sieve(10**7), 1.0, "numpy sieve + tolist", rounds=5)
