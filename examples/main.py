"""The main job: a tour of quorvane on what it offers today.

Run with `make demo`.
"""
import time

import quorvane as q


def timed(label, fn):
    t0 = time.perf_counter()
    result = fn()
    print(f"  {label:<44} {1e3 * (time.perf_counter() - t0):8.2f} ms")
    return result


def number_theory():
    print("number theory")
    primes = timed("sieve(10**7)", lambda: q.sieve(10**7))
    print(f"    {len(primes)} primes up to 10**7, the last {primes[-1]}")
    big = 18446744073709551557
    print(f"    is_prime({big}) = {q.is_prime(big)} (the largest 64-bit prime)")
    print(f"    mod_pow(3, 2**64 - 2, {big}) = {q.mod_pow(3, 2**64 - 2, big)}")
    print(f"    gcd(2**40 * 3**7, 2**35 * 3**12) = {q.gcd(2**40 * 3**7, 2**35 * 3**12)}")
    print(f"    fibonacci(93) = {q.fibonacci(93)} (the largest that fits 64 bits)")


def main():
    print(f"quorvane: {len(q.__all__)} names\n")
    number_theory()


if __name__ == "__main__":
    main()
