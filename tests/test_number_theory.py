import math

import pytest
from hypothesis import given, settings, strategies as st

import quorvane as q

I64 = st.integers(-(2**63), 2**63 - 1)
U64 = st.integers(0, 2**64 - 1)


def wrap_i64(v):
    v &= (1 << 64) - 1
    return v - (1 << 64) if v >= 1 << 63 else v


@pytest.mark.parametrize(
    "a, b, expected",
    [
        (0, 0, 0),
        (-12, 18, 6),
        (7, 0, 7),
        (0, -7, 7),
        (-(2**63), 0, -(2**63)),
        (0, -(2**63), -(2**63)),
        # -2^63 with a non-zero partner: the wrapping absolute value of the end
        (-(2**63), 6, 2),
        (6, -(2**63), 2),
        (-(2**63), 5, 1),
        (-(2**63), 2**62, 2**62),
        (-(2**63), -(2**63), -(2**63)),
    ],
)
def test_gcd_cases(a, b, expected):
    assert q.gcd(a, b) == expected


@given(I64, I64)
def test_gcd_matches_math(a, b):
    expected = math.gcd(a, b)
    if expected == 2**63:
        expected = -(2**63)  # only representable as its wrapping value
    assert q.gcd(a, b) == expected


@pytest.mark.parametrize("a, b, expected", [(0, 5, 0), (5, 0, 0), (-4, 6, 12), (21, 6, 42), (-(2**63), 5, -(2**63))])
def test_lcm_cases(a, b, expected):
    assert q.lcm(a, b) == expected


@given(I64, I64)
def test_lcm_wraps_like_the_machine_steps(a, b):
    # |(a / g) * b| in wrapping 64-bit arithmetic
    if a == 0 or b == 0:
        expected = 0
    else:
        g = wrap_i64(math.gcd(a, b))
        expected = wrap_i64(abs(wrap_i64(wrap_i64(a // g if a % g == 0 else -(-a // g)) * b)))
    assert q.lcm(a, b) == expected


@given(st.integers(-(2**31), 2**31), st.integers(-(2**31), 2**31))
def test_lcm_in_range_is_exact(a, b):
    assert q.lcm(a, b) == math.lcm(a, b)


@pytest.mark.parametrize(
    "args, expected",
    [((2, 10, 1000), 24), ((5, 0, 1), 0), ((5, 0, 7), 1), ((0, 0, 7), 1), ((2**64 - 1, 2, 2**64 - 1), 0)],
)
def test_mod_pow_cases(args, expected):
    assert q.mod_pow(*args) == expected


@given(U64, U64, st.integers(1, 2**64 - 1))
def test_mod_pow_matches_pow(b, e, m):
    assert q.mod_pow(b, e, m) == pow(b, e, m)


def test_mod_pow_zero_modulus_is_a_value_error():
    with pytest.raises(ValueError, match="modulus"):
        q.mod_pow(3, 4, 0)


def reference_is_prime(n):
    # Miller-Rabin with Python ints, deterministic for n < 3.3e24
    if n < 2:
        return False
    for p in (2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37):
        if n % p == 0:
            return n == p
    d, s = n - 1, 0
    while d % 2 == 0:
        d, s = d // 2, s + 1
    for a in (2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37):
        x = pow(a, d, n)
        if x in (1, n - 1):
            continue
        for _ in range(s - 1):
            x = x * x % n
            if x == n - 1:
                break
        else:
            return False
    return True


@pytest.mark.parametrize(
    "n, expected",
    [
        (0, False), (1, False), (2, True), (37, True), (41, True), (3215031751, False),
        (2**61 - 1, True), (18446744073709551557, True), (2**64 - 1, False),
        (3825123056546413051, False),  # strong pseudoprime to bases 2..23
        (318665857834031151167461, None),
    ],
)
def test_is_prime_cases(n, expected):
    if expected is None:
        with pytest.raises(OverflowError):
            q.is_prime(n)
    else:
        assert q.is_prime(n) is expected


@given(U64)
def test_is_prime_matches_reference(n):
    assert q.is_prime(n) == reference_is_prime(n)


def test_is_prime_small_range():
    assert [n for n in range(2000) if q.is_prime(n)] == [n for n in range(2000) if reference_is_prime(n)]


@pytest.mark.parametrize("limit, expected", [(0, []), (1, []), (2, [2]), (30, [2, 3, 5, 7, 11, 13, 17, 19, 23, 29])])
def test_sieve_cases(limit, expected):
    assert q.sieve(limit) == expected


def test_sieve_agrees_with_is_prime():
    primes = q.sieve(100_000)
    assert primes == [n for n in range(100_001) if q.is_prime(n)]


@pytest.mark.parametrize("limit", [2**64 - 1, 2**62])
def test_sieve_impossible_limit_is_memory_error(limit):
    with pytest.raises(MemoryError):
        q.sieve(limit)


def fib_reference(n):
    a, b = 0, 1
    for _ in range(n):
        a, b = b, a + b
    return a


@pytest.mark.parametrize("n", [0, 1, 2, 10, 92, 93, 94, 200, 1000])
def test_fibonacci_mod_2_64(n):
    assert q.fibonacci(n) == fib_reference(n) % 2**64


def test_fibonacci_known_values():
    assert q.fibonacci(93) == 12200160415121876738
    assert q.fibonacci(94) == 1293530146158671551
    assert isinstance(q.fibonacci(2**64 - 1), int)


@pytest.mark.parametrize("limit", [3, 4, 8, 9, 24, 25, 26, 120, 121, 65536, 65537 + 256, 65537 + 257, 131330, 199999])
def test_sieve_limits_around_squares_and_segments(limit):
    reference = [n for n in range(limit + 1) if reference_is_prime(n)]
    assert q.sieve(limit) == reference
