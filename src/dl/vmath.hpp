// exp, log and tanh as straight-line code: no branches and no library calls,
// so the element loops that use them vectorise. exp and log stay within one
// unit in the last place of the C library's functions over the whole double
// range (NaN, infinities, signed zeros and subnormals included). tanh cannot
// be held to that by accuracy alone: the C library's own error reaches two
// units. So tanh repeats the C library's algorithm (tanh from expm1, with its
// reduction, rational approximation and reconstruction), operation for
// operation, and gives its bits. The native tests sweep all three.
#pragma once
#include <bit>
#include <cmath>
#include <cstdint>

namespace qv::dl::vm {

inline std::uint64_t bits_of(double v) { return std::bit_cast<std::uint64_t>(v); }
inline double from_bits(std::uint64_t u) { return std::bit_cast<double>(u); }

// exp's clamp bounds, 710 and -746. They are read from memory on purpose: as
// literal constants the compiler works out exp's intermediate values for a
// clamped lane ahead and blends them in, which costs a fifth of exp's time.
extern const double exp_upper, exp_lower;

namespace detail {

inline constexpr double kShift = 0x1.8p52;  // adding it rounds to an integer
inline constexpr double kInvLn2 = 0x1.71547652b82fep+0;
inline constexpr double kLn2Hi = 0x1.62e42fef80000p-1;  // 34 bits: k * kLn2Hi is exact
inline constexpr double kLn2Lo = 0x1.1cf79abc9e3b4p-36;

// (exp(r) - 1 - r) / r^2 for |r| <= ln2/2: the Taylor series to r^13 (the
// rest is below 2^-57 relative to exp(r)), its terms taken in pairs
// (Estrin's scheme) so that the additions do not all wait on each other.
inline double exp_series(double r) {
    const double r2 = r * r, r4 = r2 * r2, r8 = r4 * r4;
    const double a0 = 1.0 / 2 + r * (1.0 / 6), a1 = 1.0 / 24 + r * (1.0 / 120);
    const double a2 = 1.0 / 720 + r * (1.0 / 5040), a3 = 1.0 / 40320 + r * (1.0 / 362880);
    const double a4 = 1.0 / 3628800 + r * (1.0 / 39916800), a5 = 1.0 / 479001600 + r * (1.0 / 6227020800);
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
// or overflow range rounds only once.
inline double exp(double x) {
    using namespace detail;
    // Outside [-746, 710] the result is +0.0 or +inf; clamping keeps k small.
    // NaN fails both comparisons and stays NaN.
    x = x > exp_upper ? exp_upper : x;
    x = x < exp_lower ? exp_lower : x;
    const double shifted = x * kInvLn2 + kShift;
    const double kd = shifted - kShift;
    const double t = x - kd * kLn2Hi;  // exact
    const double c = kd * kLn2Lo;
    const double r_hi = t - c;
    const double r_lo = (t - r_hi) - c;
    const double one_r = 1.0 + r_hi;
    const double one_r_error = (1.0 - one_r) + r_hi;  // exact: |r_hi| < 1
    const double tail = one_r_error + (r_lo + (r_hi * r_hi) * exp_series(r_hi));
    const std::uint64_t kb = bits_of(shifted) - bits_of(kShift) + (1ull << 23);  // k + 2^23
    const std::uint64_t k1 = kb >> 1, k2 = kb - k1;                              // halves of k, + 2^22
    const double first = from_bits((k1 - (1ull << 22) + 1023) << 52);
    const double second = from_bits((k2 - (1ull << 22) + 1023) << 52);
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

inline double log(double x) {
    constexpr double kInf = __builtin_inf();
    const bool subnormal = bits_of(x) < (1ull << 52);  // and +0.0
    const double y = detail::log_scaled(subnormal ? x * 0x1p52 : x, subnormal ? 52.0 : 0.0);
    // Zeros give -inf; negative numbers and NaN give NaN; +inf stays. (One
    // comparison per select, so that the selects vectorise.)
    const double below = x == 0.0 ? -kInf : __builtin_nan("");
    const double finite = x > 0.0 ? y : below;
    return x == kInf ? kInf : finite;
}

// log's value for a normal finite x or NaN, without log's steps for zeros,
// subnormals and infinities (clamped probabilities need none of them).
inline double log_of_normal(double x) {
    const double y = detail::log_scaled(x, 0.0);
    return x > 0.0 ? y : __builtin_nan("");
}

namespace detail {

// a * b + c, rounded once (Fused) or twice.
template <bool Fused>
inline double mul_add(double a, double b, double c) {
    if constexpr (Fused) {
        return std::fma(a, b, c);
    } else {
        return a * b + c;
    }
}

inline constexpr double kExpm1Ln2Hi = 0x1.62e42fee00000p-1;  // 32 bits: k * kExpm1Ln2Hi is exact
inline constexpr double kExpm1Ln2Lo = 0x1.a39ef35793c76p-33;
// Coefficients of the rational approximation of expm1 on [-ln2/2, ln2/2].
inline constexpr double kQ1 = -0x1.11111111110f4p-5;
inline constexpr double kQ2 = 0x1.a01a019fe5585p-10;
inline constexpr double kQ3 = -0x1.4ce199eaadbb7p-14;
inline constexpr double kQ4 = 0x1.0cfca86e65239p-18;
inline constexpr double kQ5 = -0x1.afdb76e09c32dp-23;
// Below these, the reduction uses k = 0 and k = -1 (the C library compares
// the upper 32 bits of |y|, hence the round bounds).
inline constexpr double kHalfLn2Bound = 0x1.62e4300000000p-2;
inline constexpr double kThreeHalvesLn2Bound = 0x1.0a2b200000000p+0;

// expm1(y) as the C library computes it, for the arguments tanh needs:
// y in [-2, -2^-54] or [2, 39]. y = k ln2 + r + c, expm1(r) from the
// rational approximation, then rebuilt by the case of k: k = 0, -1 or
// <= -2 for the negative range, 3 <= k <= 56 for the positive one.
// NaN gives NaN.
template <bool Fused>
[[gnu::always_inline]] inline double expm1_for_tanh(double y) {
    const double ay = from_bits(bits_of(y) & ~(1ull << 63));
    // k = trunc(y / ln2 +- 0.5), the floor taken on the magnitude.
    const double v = ay * kInvLn2 + 0.5;
    double whole = (v + kShift) - kShift;
    whole = whole > v ? whole - 1.0 : whole;
    double kd = y < 0.0 ? -whole : whole;
    kd = ay < kThreeHalvesLn2Bound ? -1.0 : kd;  // only negative y come this low
    kd = ay < kHalfLn2Bound ? 0.0 : kd;
    const std::uint64_t k = bits_of(kd + kShift) - bits_of(kShift);  // modulo 2^64
    const double two_k = from_bits((k + 1023) << 52);
    const double two_minus_k = from_bits((1023 - k) << 52);

    const double hi = y - kd * kExpm1Ln2Hi;
    const double lo = kd * kExpm1Ln2Lo;
    const double r = hi - lo;
    const double c = (hi - r) - lo;

    const double hfx = 0.5 * r;
    const double hxs = r * hfx;
    const double r1_lead = mul_add<Fused>(hxs, kQ1, 1.0);
    const double h2 = hxs * hxs;
    const double r2 = mul_add<Fused>(hxs, kQ3, kQ2);
    const double h4 = h2 * h2;
    const double r3 = mul_add<Fused>(hxs, kQ5, kQ4);
    const double r1 = mul_add<Fused>(h4, r3, mul_add<Fused>(h2, r2, r1_lead));
    const double t = mul_add<Fused>(-r1, hfx, 3.0);
    const double e = hxs * ((r1 - t) / mul_add<Fused>(-r, t, 6.0));

    const double when_k0 = r - mul_add<Fused>(r, e, -hxs);
    const double big_e = mul_add<Fused>(r, e - c, -c) - hxs;
    const double when_k_minus1 = mul_add<Fused>(0.5, r - big_e, -0.5);
    // Rebuilt as (1 - (E - r)) 2^k - 1 for k <= -2 and as
    // ((1 - 2^-k) - (E - r)) 2^k for k >= 3. (The C library rebuilds k >= 20
    // as ((r - (E + 2^-k)) + 1) 2^k instead; the two differ far below the
    // last place of tanh there, whose 2 / (t + 2) is below 2^-19.)
    const double past_r = big_e - r;
    const double when_k_far = (1.0 - past_r) * two_k - 1.0;
    const double when_k_low = ((1.0 - two_minus_k) - past_r) * two_k;
    double result = kd > 56.0 ? when_k_far : when_k_low;
    result = kd < 0.0 ? when_k_far : result;
    result = kd == -1.0 ? when_k_minus1 : result;
    return kd == 0.0 ? when_k0 : result;
}

}  // namespace detail

// The C library's tanh: x itself below 2^-55, -t / (t + 2) with
// t = expm1(-2|x|) below 1, 1 - 2 / (t + 2) with t = expm1(2|x|) below 22,
// and 1 from there on, with the sign of x. The formula below 1 gives x
// itself below 2^-55 already (t = -2|x| and t + 2 = 2 there); from |x| = 19.5
// on, 2 / (t + 2) is below half a unit of 1 and the result is 1 already, so
// |x| is held at 19.5 there (NaN passes through). Fused says whether the C
// library in use fuses multiply-add in expm1 (see libm_tanh).
template <bool Fused>
[[gnu::always_inline]] inline double tanh(double x) {
    constexpr std::uint64_t kSign = 1ull << 63;
    const double ax = from_bits(bits_of(x) & ~kSign);
    const bool below_one = ax < 1.0;
    const double held = ax > 19.5 ? 19.5 : ax;
    // All ones below 1. The argument's sign and the numerator are chosen bit
    // by bit (a select of the numerator would let the compiler divide both
    // candidates).
    const std::uint64_t pick = 0ull - static_cast<std::uint64_t>(below_one);
    const double t = detail::expm1_for_tanh<Fused>(from_bits(bits_of(held + held) | (pick & kSign)));
    const double numerator = from_bits((bits_of(-t) & pick) | (bits_of(2.0) & ~pick));
    const double q = numerator / (t + 2.0);
    const double z = below_one ? q : 1.0 - q;
    // z >= 0 (a zero may come out as -0.0): the sign is that of x.
    return from_bits((bits_of(z) & ~kSign) | (bits_of(x) & kSign));
}

// Which tanh the C library has here: on x86-64 it picks a build of expm1
// with fused multiply-add when the processor has FMA (and one without
// otherwise); another C library may have another algorithm altogether. The
// answer comes from the C library itself, once, at a few inputs.
enum class LibmTanh { fused, unfused, other };
LibmTanh libm_tanh();

// body(f) with f the tanh above that gives the C library's bits here, or the
// C library's own where its algorithm is not this one.
template <class Body>
auto with_libm_tanh(Body body) {
    switch (libm_tanh()) {
        case LibmTanh::fused:
            return body([](double v) { return tanh<true>(v); });
        case LibmTanh::unfused:
            return body([](double v) { return tanh<false>(v); });
        default:
            return body([](double v) { return std::tanh(v); });
    }
}

}  // namespace qv::dl::vm
