#include "numeric/number_theory.hpp"

#include <new>

#include "core/buffer.hpp"
#include "core/error.hpp"

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

// Arithmetic modulo an odd n in Montgomery form (x stands for x * 2^64 mod n):
// a product costs two multiplications instead of a 128-bit division. The
// values it computes are exactly those of the plain 128-bit reductions.
class Montgomery {
public:
    explicit Montgomery(std::uint64_t n) : n_(n) {
        std::uint64_t inv = n;  // Newton's iteration: correct to 2^64 after five steps
        for (int i = 0; i < 5; ++i) inv *= 2 - n * inv;
        inv_ = inv;
        r1_ = (0 - n) % n;                     // 2^64 mod n
        r2_ = static_cast<std::uint64_t>(static_cast<u128>(r1_) * r1_ % n);
    }
    std::uint64_t one() const { return r1_; }
    std::uint64_t minus_one() const { return n_ - r1_; }
    std::uint64_t to(std::uint64_t a) const { return mul(a % n_, r2_); }
    std::uint64_t mul(std::uint64_t a, std::uint64_t b) const {
        u128 t = static_cast<u128>(a) * b;
        std::uint64_t u = static_cast<std::uint64_t>(t) * inv_;
        std::uint64_t hi = static_cast<std::uint64_t>(t >> 64);
        std::uint64_t un = static_cast<std::uint64_t>((static_cast<u128>(u) * n_) >> 64);
        return hi >= un ? hi - un : hi - un + n_;
    }
    std::uint64_t pow(std::uint64_t base_m, std::uint64_t exp) const {
        std::uint64_t result = r1_;
        while (exp) {
            if (exp & 1) result = mul(result, base_m);
            base_m = mul(base_m, base_m);
            exp >>= 1;
        }
        return result;
    }

private:
    std::uint64_t n_, inv_, r1_, r2_;
};

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
    const Montgomery mont(n);  // n is odd here
    const std::uint64_t one = mont.one(), minus_one = mont.minus_one();
    for (std::uint64_t a : bases) {
        std::uint64_t x = mont.pow(mont.to(a), d);
        if (x == one || x == minus_one) continue;
        bool passed = false;
        for (int r = 1; r < s; ++r) {
            x = mont.mul(x, x);
            if (x == minus_one) {
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

    // Even numbers above 2 are never read back, so only odd multiples of the
    // odd primes are crossed out (steps of 2p from p*p).
    // The base primes up to sqrt(limit), crossed out plainly.
    std::uint64_t root = 1;
    while ((root + 1) <= limit / (root + 1)) ++root;
    std::vector<std::uint64_t> base, next;
    for (std::uint64_t j = 3; j <= root; j += 2) {
        if (crossed[j]) continue;
        base.push_back(j);
        for (std::uint64_t m = j * j; m <= root; m += 2 * j) crossed[m] = 1;
        next.push_back(j * j);
    }
    // Every multiple above sqrt(limit), one cache-sized segment at a time:
    // the same bytes are crossed out as by walking each prime's multiples
    // through the whole array, without streaming it once per prime.
    constexpr std::uint64_t kSegment = 1 << 16;
    for (std::uint64_t lo = root + 1; lo <= limit;) {
        std::uint64_t hi = limit - lo < kSegment ? limit : lo + kSegment - 1;  // inclusive
        for (std::size_t k = 0; k < base.size(); ++k) {
            std::uint64_t p = base[k], m = next[k];
            if (m < lo) {
                m = lo + (p - lo % p) % p;  // first multiple >= lo; make it odd
                if (!(m & 1)) m += p;
            }
            for (; m <= hi; m += 2 * p) crossed[m] = 1;
            next[k] = m;
        }
        if (hi == limit) break;
        lo = hi + 1;
    }

    // About limit / (ln(limit) - 1.1) primes at most: reserve that.
    if (limit >= 100) {
        double estimate = static_cast<double>(limit) / (__builtin_log(static_cast<double>(limit)) - 1.1);
        primes.reserve(static_cast<std::size_t>(estimate) + 16);
    }
    primes.push_back(2);
    for (std::uint64_t j = 3; j <= limit; j += 2)
        if (!crossed[j]) primes.push_back(j);
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
