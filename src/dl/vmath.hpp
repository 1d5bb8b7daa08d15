// exp and log as straight-line code: no branches and no library calls, so
// the element loops that use them vectorise. Each stays within one unit in
// the last place of the C library's function over the whole double range
// (NaN, infinities, signed zeros and subnormals included); the native tests
// sweep that. (tanh stays the C library's: its own error reaches two units,
// which no accurate replacement can track to within one.)
#pragma once
#include <bit>
#include <cstdint>

namespace qv::dl::vm {

inline std::uint64_t bits_of(double v) { return std::bit_cast<std::uint64_t>(v); }
inline double from_bits(std::uint64_t u) { return std::bit_cast<double>(u); }

// 2^(j/128), j = 0..127, as a double `scale` and the relative remainder
// tail = (2^(j/128) - scale) / scale.
struct ExpTable {
    std::uint64_t scale_bits[128];
    double tail[128];
};
extern const ExpTable exp_table;

namespace detail {

inline constexpr double kInvLn2N = 0x1.71547652b82fep+7;  // 128 / ln 2
inline constexpr double kLn2HiN = 0x1.62e42fef80000p-8;   // ln 2 / 128, 34 bits: k * kLn2HiN is exact
inline constexpr double kLn2LoN = 0x1.1cf79abc9e3b4p-43;  // the rest of ln 2 / 128
inline constexpr double kShift = 0x1.8p52;                // adding it rounds to an integer
inline constexpr std::uint64_t kBias = 1ull << 22;

// x = (128 k + j) ln2/128 + r with |r| <= ln2/256 and r = r_hi + r_lo.
struct Reduced {
    double r_hi, r_lo;
    std::uint64_t kj;  // 128 k + j, modulo 2^64
};

inline Reduced reduce(double x) {
    const double shifted = x * kInvLn2N + kShift;
    const double kd = shifted - kShift;
    const double t = x - kd * kLn2HiN;  // exact
    const double c = kd * kLn2LoN;
    const double r = t - c;
    return {r, (t - r) - c, bits_of(shifted) - bits_of(kShift)};
}

// exp(r) - 1 - r for |r| <= ln2/256 (Taylor to r^5; the remainder is below
// 2^-60 relative).
inline double expm1_tail(double r) {
    const double r2 = r * r;
    return r2 * (0.5 + r * (1.0 / 6.0)) + (r2 * r2) * ((1.0 / 24.0) + r * (1.0 / 120.0));
}

// 2^k as two normal factors 2^floor(k/2) and 2^ceil(k/2), |k| <= 1100,
// so that scaling into the subnormal or overflow range rounds only once.
struct Scales {
    double first, second;
};
inline Scales scales(std::uint64_t kj) {
    const std::uint64_t kb = (kj + (1ull << 30)) >> 7;  // k + 2^23
    const std::uint64_t k1 = kb >> 1;                   // floor(k/2) + 2^22
    const std::uint64_t k2 = kb - k1;                   // ceil(k/2) + 2^22
    const std::uint64_t j = kj & 127;
    return {from_bits(exp_table.scale_bits[j] + ((k1 - kBias) << 52)), from_bits((k2 - kBias + 1023) << 52)};
}

// log(1 + f) - f + f^2/2 over s = f / (2 + f), as R(s^2) with
// log(1 + f) = f - (f^2/2 - s (f^2/2 + R)): the series of 2 atanh(s) to
// s^21, for |s| <= 3 - 2 sqrt 2 (the rest is below 2^-60 relative).
inline double log_series(double z) {
    double q = 2.0 / 21.0;
    q = q * z + 2.0 / 19.0;
    q = q * z + 2.0 / 17.0;
    q = q * z + 2.0 / 15.0;
    q = q * z + 2.0 / 13.0;
    q = q * z + 2.0 / 11.0;
    q = q * z + 2.0 / 9.0;
    q = q * z + 2.0 / 7.0;
    q = q * z + 2.0 / 5.0;
    q = q * z + 2.0 / 3.0;
    return z * q;
}

inline constexpr double kLn2Hi = 0x1.62e42fef80000p-1;  // 34 bits: k * kLn2Hi is exact
inline constexpr double kLn2Lo = 0x1.1cf79abc9e3b4p-36;

}  // namespace detail

inline double exp(double x) {
    using namespace detail;
    // Outside [-746, 710] the result is +0.0 or +inf; clamping keeps the
    // integer parts small. NaN fails both comparisons and stays NaN.
    x = x > 710.0 ? 710.0 : x;
    x = x < -746.0 ? -746.0 : x;
    const Reduced red = reduce(x);
    const Scales s = scales(red.kj);
    const double p = red.r_hi + ((expm1_tail(red.r_hi) + red.r_lo) + exp_table.tail[red.kj & 127]);
    return (s.first + s.first * p) * s.second;
}

// x = 2^k m with sqrt(1/2) <= m < sqrt(2), f = m - 1 (exact):
// log x = k ln2 + log(1 + f).
inline double log(double x) {
    using namespace detail;
    constexpr std::uint64_t kSqrtHalf = 0x3fe6a09e667f3bcdull;
    constexpr double kInf = __builtin_inf();
    const bool subnormal = bits_of(x) < (1ull << 52);  // and +0.0
    const std::uint64_t ix = bits_of(subnormal ? x * 0x1p52 : x);
    const std::uint64_t e = (ix - kSqrtHalf + (1023ull << 52)) >> 52;  // k + 1023
    const double m = from_bits(ix - ((e - 1023) << 52));
    // k as a double: e sits in the low bits of 2^52 + e.
    const double kd = (from_bits(0x4330000000000000ull | e) - (0x1p52 + 1023.0)) - (subnormal ? 52.0 : 0.0);
    const double f = m - 1.0;
    const double s = f / (2.0 + f);
    const double hfsq = 0.5 * f * f;
    const double r = log_series(s * s);
    const double y = kd * kLn2Hi - ((hfsq - (s * (hfsq + r) + kd * kLn2Lo)) - f);
    // Zeros give -inf; negative numbers and NaN give NaN; +inf stays. (One
    // comparison per select, so that the selects vectorise.)
    const double below = x == 0.0 ? -kInf : __builtin_nan("");
    const double finite = x > 0.0 ? y : below;
    return x == kInf ? kInf : finite;
}

}  // namespace qv::dl::vm
