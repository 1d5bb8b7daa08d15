// exp, log and tanh as straight-line code: no branches and no library calls,
// so the element loops that use them vectorise. exp and log stay within one
// unit in the last place of the C library's functions, and tanh within one
// unit of the true value (faithfully rounded), over the whole double range
// (NaN, infinities, signed zeros and subnormals included). None of them
// fuses multiply-add, so each gives the same bits at every level. The native
// tests sweep all three.
#pragma once
#include <bit>
#include <cmath>
#include <cstdint>

#include "isa/lanes.hpp"
#include "isa/level.hpp"

namespace qv::dl::vm {

// exp's clamp bounds, 710 and -746. They are read from memory on purpose: as
// literal constants the compiler works out exp's intermediate values for a
// clamped lane ahead and blends them in, which costs a fifth of exp's time.
extern const double exp_upper, exp_lower;

// Built into each level's kernels (see isa/per_level.hpp).
inline namespace QV_ISA_INLINE {

inline std::uint64_t bits_of(double v) { return std::bit_cast<std::uint64_t>(v); }
inline double from_bits(std::uint64_t u) { return std::bit_cast<double>(u); }

namespace detail {

inline constexpr double kShift = 0x1.8p52;  // adding it rounds to an integer
inline constexpr double kInvLn2 = 0x1.71547652b82fep+0;
inline constexpr double kLn2Hi = 0x1.62e42fef80000p-1;  // 34 bits: k * kLn2Hi is exact
inline constexpr double kLn2Lo = 0x1.1cf79abc9e3b4p-36;

// x = k ln2 + r with k the integer nearest x / ln2 (|x| < 2^40), r = h - c
// with h exact and c = k kLn2Lo (rounded far below the last place of r);
// r_hi = h - c rounded, |r_hi| <= ln2/2, and r_lo its rounding error.
// T is a double, a vector of doubles or an isa::Group of vectors (see
// isa/lanes.hpp), with the same bits in every lane.
template <class T>
struct Ln2Reduced {
    isa::Bits<T> k;  // modulo 2^64
    T h, c, r_hi, r_lo;
};

template <class T>
[[gnu::always_inline]] inline Ln2Reduced<T> reduce_ln2(T x) {
    const T shifted = x * kInvLn2 + kShift;
    const T kd = shifted - kShift;
    const T h = x - kd * kLn2Hi;  // exact
    const T c = kd * kLn2Lo;
    const T r_hi = h - c;
    return {isa::bits(shifted) - bits_of(kShift), h, c, r_hi, (h - r_hi) - c};
}

// (exp(r) - 1 - r) / r^2 for |r| <= ln2/2: the Taylor series to r^13 (the
// rest is below 2^-57 relative to exp(r)), its terms taken in pairs
// (Estrin's scheme) so that the additions do not all wait on each other.
template <class T>
[[gnu::always_inline]] inline T exp_series(T r) {
    const T r2 = r * r, r4 = r2 * r2, r8 = r4 * r4;
    const T a0 = 1.0 / 2 + r * (1.0 / 6), a1 = 1.0 / 24 + r * (1.0 / 120);
    const T a2 = 1.0 / 720 + r * (1.0 / 5040), a3 = 1.0 / 40320 + r * (1.0 / 362880);
    const T a4 = 1.0 / 3628800 + r * (1.0 / 39916800), a5 = 1.0 / 479001600 + r * (1.0 / 6227020800);
    return ((a0 + r2 * a1) + r4 * (a2 + r2 * a3)) + r8 * (a4 + r2 * a5);
}

// log(1 + f) - f + f^2/2 over s = f / (2 + f), as R(s^2) with
// log(1 + f) = f - (f^2/2 - s (f^2/2 + R)): R(z) = z q(z), where q is the
// degree-6 polynomial nearest, in the Chebyshev sense, to the series of
// 2 atanh(s) / s - 2 over z for |s| <= 3 - 2 sqrt 2 (its error shows below
// 2^-57 relative in the log). The terms are taken in pairs (Estrin's
// scheme), so that the additions do not all wait on each other.
inline double log_series(double z) {
    const double z2 = z * z, z4 = z2 * z2;
    const double p01 = 0.666666666666667 + z * 0.39999999999899505;
    const double p23 = 0.28571428625975487 + z * 0.2222221113479508;
    const double p45 = 0.18182889125261723 + z * 0.15331721600556042;
    const double q = (p01 + z2 * p23) + z4 * (p45 + z2 * 0.14616449685043406);
    return z * q;
}

}  // namespace detail

// x = k ln2 + r with |r| <= ln2/2, r = r_hi + r_lo; exp(x) = 2^k exp(r)
// with exp(r) = 1 + r_hi + tail rounded once: 1 + r_hi is split exactly
// into a double and its rounding error, which joins the small tail. 2^k is applied as two normal
// factors 2^floor(k/2) and 2^ceil(k/2), so that scaling into the subnormal
// or overflow range rounds only once. T is a double, a vector or a group
// (see reduce_ln2).
template <class T>
[[gnu::always_inline]] inline T exp(T x) {
    using namespace detail;
    // Outside [-746, 710] the result is +0.0 or +inf; clamping keeps k small.
    // NaN fails both comparisons and stays NaN.
    x = isa::no_more_than(exp_upper, x);
    x = isa::no_less_than(exp_lower, x);
    const auto [k, h, c, r_hi, r_lo] = reduce_ln2(x);
    const T one_r = 1.0 + r_hi;
    const T one_r_error = (1.0 - one_r) + r_hi;  // exact: |r_hi| < 1
    const T tail = one_r_error + (r_lo + (r_hi * r_hi) * exp_series(r_hi));
    const auto kb = k + (1ull << 23);  // k + 2^23
    const auto k1 = kb >> 1, k2 = kb - k1;  // halves of k, + 2^22
    const T first = isa::from_bits<T>((k1 - (1ull << 22) + 1023) << 52);
    const T second = isa::from_bits<T>((k2 - (1ull << 22) + 1023) << 52);
    return ((one_r + tail) * first) * second;
}

namespace detail {

// log(x 2^-scale) for a positive normal x: x = 2^k m with
// sqrt(1/2) <= m < sqrt(2), f = m - 1 (exact): (k - scale) ln2 + log(1 + f).
inline double log_scaled(double x, double scale) {
    constexpr std::uint64_t kSqrtHalf = 0x3fe6a09e667f3bcdull;
    const std::uint64_t ix = bits_of(x);
    const std::uint64_t e = (ix - kSqrtHalf + (1023ull << 52)) >> 52;  // k + 1023
    const double m = from_bits(ix - ((e - 1023) << 52));
    // k as a double: e sits in the low bits of 2^52 + e.
    const double kd = (from_bits(0x4330000000000000ull | e) - (0x1p52 + 1023.0)) - scale;
    const double f = m - 1.0;
    const double s = f / (2.0 + f);
    const double hfsq = 0.5 * f * f;
    const double r = log_series(s * s);
    return kd * kLn2Hi - ((hfsq - (s * (hfsq + r) + kd * kLn2Lo)) - f);
}

}  // namespace detail

// log's value for a normal finite x or NaN, without log's steps for zeros,
// subnormals and infinities (clamped probabilities need none of them).
inline double log_of_normal(double x) {
    const double y = detail::log_scaled(x, 0.0);
    return x > 0.0 ? y : __builtin_nan("");
}

namespace detail {

inline constexpr double kTwoInvLn2 = 2 * kInvLn2;
inline constexpr double kHalfLn2Hi = kLn2Hi / 2;  // k * kHalfLn2Hi is exact
inline constexpr double kHalfLn2Lo = kLn2Lo / 2;

// w coth(w) - 1 = z P(z) with z = w^2 for |w| <= ln2/4 (about w^2/3, so
// w coth(w) is near 1). P is the degree-4 polynomial nearest to it in the
// Chebyshev sense (absolute error of z P(z)): the Remez exchange in 120-bit
// arithmetic, the coefficients then rounded to doubles; its error stays
// below 2^-59.8. The terms are taken in pairs (Estrin's scheme), so that the
// additions do not all wait on each other.
template <class T>
[[gnu::always_inline]] inline T tanh_series(T z) {
    const T z2 = z * z, z3 = z2 * z;
    const T p01 = 0x1.555555555553ep-2 + z * -0x1.6c16c16bebdc9p-6;
    const T p23 = 0x1.1566aaf27577fp-9 + z * -0x1.bbd41caae60e1p-13;
    return z * p01 + z3 * (p23 + z2 * 0x1.6376be3248a6dp-16);
}

// v to its upper 26 bits (the rest cut off): the product of two such
// numbers, or of one and a number of 27 bits, is exact.
template <class T>
[[gnu::always_inline]] inline T upper_26_bits(T v) {
    return isa::from_bits<T>(isa::bits(v) & ~((1ull << 27) - 1));
}

}  // namespace detail

// tanh a = (e^2a - 1) / (e^2a + 1) for a = |x|, with a = k ln2/2 + w and
// |w| <= ln2/4. C = w coth(w) = 1 + s gives e^2w = (C + w) / (C - w) = U / V,
// so tanh a = (U - f V) / (U + f V) = N / D with f = 2^-k. w = h - c with h
// exact and c below 2^-31; h = h1 + h2 with h1 a multiple of 2^-52, so that
// u = 1 + h1 and v = 1 - h1 are exact. With g = h2 - c:
//   N = (u - f v) + (g + s) + f (g - s),  D = (u + f v) + (g + s) - f (g - s),
// u -+ f v exactly as sums n + n_err and d + d_err (f v is exact). Every
// other term is far below the last place of N and D. For k = 0 (f = 1),
// N = 2a: s drops out but for roundings far below the last place of N, so
// that small inputs keep every bit. The quotient: q0 = N / D to 26 bits
// (one division, for 1 / D), the residual N - q0 D (q0 times the 26-bit
// upper part of d is exact) and q0 + residual / D rounded once. The terms
// are grouped so that the polynomial joins late and the chain of dependent
// operations stays short. The result is faithfully rounded (below one unit
// in the last place of the true value; the native tests measure it against
// quad precision) and, with no fused multiply-add anywhere, the same at
// every level. From |x| = 19.5 on, tanh rounds to 1: those lanes (and
// infinities) take 1 at the end. tanh_of_abs(x) is |tanh x| (for a NaN, x
// with its sign cleared); tanh puts x's sign back, so that NaN passes
// through unchanged.
//
// T is a double, a vector of doubles or an isa::Group of vectors (see
// isa/lanes.hpp), with the same bits in every lane.
template <class T>
[[gnu::always_inline]] inline T tanh_of_abs(T x) {
    using namespace detail;
    const T a = isa::from_bits<T>(isa::bits(x) & ~(1ull << 63));
    const T shifted = a * kTwoInvLn2 + kShift;
    const T kd = shifted - kShift;
    const T h = a - kd * kHalfLn2Hi;  // exact
    const T c = kd * kHalfLn2Lo;
    const T w = h - c;
    const T s = tanh_series(w * w);
    // p rounds h to a multiple of 2^-52 (|h| <= 0.18); h2 = h - h1 exactly.
    const T p = h + 1.5;
    const T u = p - 0.5, v = 2.5 - p;
    const T g = (h - (p - 1.5)) - c;
    // f = 2^-k, 0 <= k <= 56 below the hold.
    const T f = isa::from_bits<T>(((1023ull + isa::bits(isa::splat<T>(kShift))) - isa::bits(shifted)) << 52);
    const T fv = f * v;
    // u >= f v (k >= 1, or h >= 0): the errors of u - fv and u + fv are exact.
    const T n = u - fv;
    const T d = u + fv;
    const T gs = g + s;
    const T fm = f * (g - s);
    const T n_lo = (((u - n) - fv) + gs) + fm;
    const T d_lo = (((u - d) + fv) + gs) - fm;
    const T y = 1.0 / (d + d_lo);
    const T q0 = upper_26_bits((n + n_lo) * y);
    const T d_upper = upper_26_bits(d);
    // n - q0 d_upper is exact: the two are within a few hundredths.
    const T residual = (n - q0 * d_upper) + (n_lo - q0 * ((d - d_upper) + d_lo));
    const T q = q0 + residual * y;
    // Lanes beyond the hold take 1, NaN lanes |x| itself (whatever NaN the
    // steps above made of it).
    const T beyond = isa::no_more_than(1.0, a);
    return isa::where_at_most(a, 19.5, q, beyond);
}

template <class T>
[[gnu::always_inline]] inline T tanh(T x) {
    const isa::Bits<T> sign = isa::bits(x) & (1ull << 63);
    return isa::from_bits<T>(isa::bits(tanh_of_abs(x)) | sign);
}

}  // namespace QV_ISA_INLINE
}  // namespace qv::dl::vm
