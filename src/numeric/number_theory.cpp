#include "numeric/number_theory.hpp"

#include <new>

#include "frame/buffer.hpp"
#include "frame/error.hpp"

namespace qv::numeric {
namespace {

using u128 = unsigned __int128;

// Absolute value in wrapping arithmetic: -2^63 stays -2^63.
std::uint64_t wrapping_abs(std::int64_t v) {
    std::uint64_t u = static_cast<std::uint64_t>(v);
    return v < 0 ? 0 - u : u;
}

// Euclid on the wrapping absolute values, with the remainder of signed
// division. Only x = -2^63 is negative, and then x mod y keeps the sign of
// x: the steps can end on a negative value, mended by the caller.
std::int64_t euclid(std::int64_t a, std::int64_t b) {
    std::int64_t x = static_cast<std::int64_t>(wrapping_abs(a));
    std::int64_t y = static_cast<std::int64_t>(wrapping_abs(b));
    while (y != 0) {
        // y is never -1 here (|b| != 1 after wrapping unless b = +-1, and then
        // y = 1), so the signed remainder cannot overflow.
        std::int64_t r = x % y;
        x = y;
        y = r;
    }
    return x;
}

std::uint64_t mul_mod(std::uint64_t a, std::uint64_t b, std::uint64_t m) {
    return static_cast<std::uint64_t>(static_cast<u128>(a) * b % m);
}

// Square-and-multiply from the least significant bit of exp (exp > 0).
std::uint64_t pow_mod(std::uint64_t base, std::uint64_t exp, std::uint64_t m) {
    std::uint64_t result = 1;
    std::uint64_t b = base % m;
    while (exp) {
        if (exp & 1) result = mul_mod(result, b, m);
        b = mul_mod(b, b, m);
        exp >>= 1;
    }
    return result;
}

}  // namespace

std::int64_t gcd(std::int64_t a, std::int64_t b) {
    std::int64_t g = euclid(a, b);
    // gcd(-2^63, 0) is -2^63 (its wrapping absolute value); any other
    // negative end comes from -2^63 mod y and is mended to its magnitude.
    if (g < 0 && a != 0 && b != 0) return static_cast<std::int64_t>(wrapping_abs(g));
    return g;
}

std::int64_t lcm(std::int64_t a, std::int64_t b) {
    if (a == 0 || b == 0) return 0;
    // g >= 1, or -2^63 when a = b = -2^63 (then a / g = 1): never -1, so
    // the exact division a / g cannot overflow.
    std::int64_t g = gcd(a, b);
    std::int64_t q = a / g;
    std::uint64_t prod = static_cast<std::uint64_t>(q) * static_cast<std::uint64_t>(b);
    return static_cast<std::int64_t>(wrapping_abs(static_cast<std::int64_t>(prod)));
}

std::uint64_t mod_pow(std::uint64_t base, std::uint64_t exp, std::uint64_t modulus) {
    if (modulus == 1) return 0;
    if (modulus == 0) value_error("mod_pow() modulus must be at least 1");
    if (exp == 0) return 1;
    return pow_mod(base, exp, modulus);
}

bool is_prime(std::uint64_t n) {
    if (n <= 1) return false;
    if (n == 2) return true;
    if (n % 2 == 0) return false;
    static constexpr std::uint64_t small[] = {3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37};
    for (std::uint64_t p : small) {
        if (n == p) return true;
        if (n % p == 0) return false;
    }
    std::uint64_t d = n - 1;
    int s = 0;
    while ((d & 1) == 0) {
        d >>= 1;
        ++s;
    }
    static constexpr std::uint64_t bases[] = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37};
    for (std::uint64_t a : bases) {
        std::uint64_t x = pow_mod(a, d, n);
        if (x == 1 || x == n - 1) continue;
        bool passed = false;
        for (int r = 1; r < s; ++r) {
            x = mul_mod(x, x, n);
            if (x == n - 1) {
                passed = true;
                break;
            }
        }
        if (!passed) return false;
    }
    return true;
}

std::vector<std::uint64_t> sieve(std::uint64_t limit) {
    std::vector<std::uint64_t> primes;
    if (limit < 2) return primes;
    if (limit == UINT64_MAX) throw std::bad_alloc();  // limit + 1 bytes cannot exist
    auto crossed = Buffer<unsigned char>::zeros(limit + 1);
    // Roughly limit / ln(limit) primes: reserve a little above that bound.
    if (limit >= 100) {
        double estimate = static_cast<double>(limit) / (__builtin_log(static_cast<double>(limit)) - 1.1);
        primes.reserve(static_cast<std::size_t>(estimate) + 16);
    }
    for (std::uint64_t j = 2; j <= limit; ++j) {
        if (crossed[j]) continue;
        primes.push_back(j);
        if (j > limit / j) continue;  // j*j > limit, or does not fit in 64 bits
        for (std::uint64_t m = j * j; m <= limit; m += j) {
            crossed[m] = 1;
            if (m > limit - j) break;  // the next step would wrap
        }
    }
    return primes;
}

std::pair<std::uint64_t, std::uint64_t> fib_pair(std::uint64_t n) {
    if (n == 0) return {0, 1};
    auto [a, b] = fib_pair(n >> 1);
    std::uint64_t c = a * (2 * b - a);
    std::uint64_t d = a * a + b * b;
    if (n & 1) return {d, c + d};
    return {c, d};
}

std::uint64_t fibonacci(std::uint64_t n) { return fib_pair(n).first; }

}  // namespace qv::numeric
