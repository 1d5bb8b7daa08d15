// Softmax, the losses and one_hot's check for one x86-64 level (see
// isa/per_level.hpp).
#include "isa/per_level.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "dl/dl_level.hpp"
#include "dl/lane_sum.hpp"
#include "dl/vmath.hpp"
#include "isa/lanes.hpp"

namespace qv::dl::QV_ISA_LEVEL {
namespace {

// Probabilities are kept inside [1e-15, 1 - 1e-15] before a log; NaN stays NaN.
// Such a probability and 1 minus it are normal numbers, which
// vm::log_of_normal takes.
constexpr double kProbCeil = 0.999999999999999;

struct ProbabilityClamp {
    double floor, ceil;
    double operator()(double p) const {
        double r = p < floor ? floor : p;
        return r > ceil ? ceil : r;
    }
};

// The bounds go through an empty asm, so that the element loops see two
// values rather than two constants: with constants the compiler works out
// the logs of a clamped lane ahead and blends them in, which costs more than
// the clamp (a quarter of bce_loss's time).
ProbabilityClamp probability_clamp() {
    double floor = kProbFloor, ceil = kProbCeil;
    asm("" : "+m"(floor), "+m"(ceil));
    return {floor, ceil};
}

// The lane-grouped sum of f(a[i], b[i]) over i < m (see par::sum_lanes).
template <class F>
[[gnu::always_inline]] inline double pair_leaf_sum(const double* a, const double* b, std::size_t m, F f) {
    auto fill = [&](std::size_t i, std::size_t count, double* __restrict row) __attribute__((always_inline)) {
        for (std::size_t t = 0; t < count; ++t) row[t] = f(a[i + t], b[i + t]);
    };
    return lanes::leaf_sum_filled<isa::kWidth>(m, fill);
}

// f(a[(i + t) * sa], b[(i + t) * sb]) to row[t] for t < count.
template <class F>
[[gnu::always_inline]] inline void fill_terms(const double* a, std::int64_t sa, const double* b, std::int64_t sb,
                                              std::size_t i, std::size_t count, double* __restrict row, F f) {
    if (sa == 1 && sb == 1) {
        for (std::size_t t = 0; t < count; ++t) row[t] = f(a[i + t], b[i + t]);
    } else {
        for (std::size_t t = 0; t < count; ++t) {
            const auto k = static_cast<std::int64_t>(i + t);
            row[t] = f(a[k * sa], b[k * sb]);
        }
    }
}

// s + t. The empty asm keeps GCC from vectorising a chain of these as an
// in-order reduction.
[[gnu::always_inline]] inline double add_in_order(double s, double t) {
    s = s + t;
    asm("" : "+x"(s));
    return s;
}

// The sum of f(a[i * sa], b[i * sb]) over i < m from -0.0 in index order.
// The terms are made a short row at a time by a loop that vectorises, then
// added one after another. The rows are short so that the processor, while
// the chain of additions of one row waits on itself, already computes the
// terms of the next: the additions then cost little beyond the terms.
template <class F>
[[gnu::always_inline]] inline double pair_ordered_sum(const double* a, std::int64_t sa, const double* b, std::int64_t sb, std::size_t m,
                                  F f) {
    constexpr std::size_t kRow = 16;
    alignas(64) double row[kRow];
    double s = -0.0;
    std::size_t i = 0;
    for (; i + kRow <= m; i += kRow) {
        fill_terms(a, sa, b, sb, i, kRow, row, f);
        for (std::size_t t = 0; t < kRow; ++t) s = add_in_order(s, row[t]);
    }
    fill_terms(a, sa, b, sb, i, m - i, row, f);
    for (std::size_t t = 0; t < m - i; ++t) s = add_in_order(s, row[t]);
    return s;
}

// The bce and categorical cross-entropy terms.
[[gnu::always_inline]] inline auto bce_term() {
    return [clamp = probability_clamp()](double p, double y) {
        double pc = clamp(p);
        return (vm::log_of_normal(1.0 - pc) * (1.0 - y)) + (vm::log_of_normal(pc) * y);
    };
}
[[gnu::always_inline]] inline auto cross_entropy_term() {
    return [clamp = probability_clamp()](double p, double y) {
        double pc = clamp(p);
        return -(vm::log_of_normal(pc) * y);
    };
}

// The largest non-NaN element of x[0..n), -inf if there is none. Any
// grouping gives the same value (up to the sign of a zero maximum, which the
// subtraction x - m does not show), so eight running maxima, 8 / W vectors,
// share the work.
[[gnu::always_inline]] inline double row_max(const double* x, std::size_t n) {
    constexpr std::size_t W = isa::kWidth;
    using V = isa::F64;
    constexpr std::size_t K = 8 / W;
    constexpr double kMinusInf = -std::numeric_limits<double>::infinity();
    V m[K];
#pragma GCC unroll 4
    for (std::size_t k = 0; k < K; ++k) m[k] = V{} + kMinusInf;
    std::size_t j = 0;
    for (; j + 8 <= n; j += 8) {
#pragma GCC unroll 4
        for (std::size_t k = 0; k < K; ++k) {
            V v;
            std::memcpy(&v, x + j + k * W, sizeof v);
            m[k] = v > m[k] ? v : m[k];
        }
    }
    double best = kMinusInf;
    for (; j < n; ++j) best = x[j] > best ? x[j] : best;
    for (std::size_t k = 0; k < K; ++k)
        for (std::size_t l = 0; l < W; ++l) best = m[k][l] > best ? m[k][l] : best;
    return best;
}

[[gnu::always_inline]] inline void exponentials(const double* __restrict x, double* __restrict o, std::size_t n, double m) {
    for (std::size_t j = 0; j < n; ++j) o[j] = vm::exp(x[j] - m);
}

[[gnu::always_inline]] inline void divide(double* o, std::size_t n, double s) {
    for (std::size_t j = 0; j < n; ++j) o[j] = isa::canonical_nan(o[j] / s);
}

}  // namespace

double loss_leaf_sum(Loss loss, const double* a, const double* b, std::size_t m) {
    switch (loss) {
        case Loss::mse: return lanes::leaf_sum<isa::kWidth, lanes::Term::squared_difference>(a, b, m);
        case Loss::mae: return lanes::leaf_sum<isa::kWidth, lanes::Term::absolute_difference>(a, b, m);
        case Loss::bce: return pair_leaf_sum(a, b, m, bce_term());
        case Loss::categorical_cross_entropy: break;
    }
    return pair_leaf_sum(a, b, m, cross_entropy_term());
}

// The terms of mse and mae are cheap enough to hide under the chain of
// additions: they are made one by one, in scalar registers. (Made in vectors,
// 512 bits wide in the AVX-512 build, they slowed the chain of additions
// beside them to 1.7 times its time.)
double loss_sum(Loss loss, const double* a, std::int64_t sa, const double* b, std::int64_t sb, std::size_t m) {
    auto plain = [&]<lanes::Term term>() {
        double s = -0.0;
        for (std::size_t i = 0; i < m; ++i) {
            const auto k = static_cast<std::int64_t>(i);
            s = add_in_order(s, lanes::term_of<term>(a[k * sa], b[k * sb]));
        }
        return s;
    };
    switch (loss) {
        case Loss::mse: return plain.template operator()<lanes::Term::squared_difference>();
        case Loss::mae: return plain.template operator()<lanes::Term::absolute_difference>();
        case Loss::bce: return pair_ordered_sum(a, sa, b, sb, m, bce_term());
        case Loss::categorical_cross_entropy: break;
    }
    return pair_ordered_sum(a, sa, b, sb, m, cross_entropy_term());
}

// Compared as unsigned numbers against a bound of at most 2^63, a negative
// index is out of range. Whole blocks are tested at once, W indices to a
// vector, and only a failing block is searched.
std::size_t first_out_of_range(const std::int64_t* idx, std::size_t n, std::uint64_t limit) {
    constexpr std::size_t W = isa::kWidth;
    using VU = isa::U64;
    using VI = isa::I64;
    constexpr std::size_t kBlock = 1024;
    limit = std::min(limit, std::uint64_t{1} << 63);
    for (std::size_t b = 0; b < n; b += kBlock) {
        const std::size_t e = std::min(n, b + kBlock);
        VI bad = {};
        std::size_t i = b;
        for (; i + W <= e; i += W) {
            VU v;
            std::memcpy(&v, idx + i, sizeof v);
            bad |= v >= limit;
        }
        for (; i < e; ++i) bad[0] |= static_cast<std::uint64_t>(idx[i]) >= limit;
        bool any = false;
        for (std::size_t l = 0; l < W; ++l) any |= bad[l] != 0;
        if (!any) continue;
        for (i = b; i < e; ++i) {
            if (static_cast<std::uint64_t>(idx[i]) >= limit) return i;
        }
    }
    return n;
}
// Each row's sum is one chain of additions, so eight rows are summed side by
// side: their chains overlap instead of waiting on each other, and each
// keeps its own order.
void softmax_rows(const double* __restrict x, double* __restrict o, std::size_t rows, std::size_t n) {
    constexpr std::size_t kSide = 8;
    for (std::size_t r = 0; r < rows; r += kSide) {
        const std::size_t side = std::min(kSide, rows - r);
        const double* xr = x + r * n;
        double* orow = o + r * n;
        for (std::size_t k = 0; k < side; ++k) exponentials(xr + k * n, orow + k * n, n, row_max(xr + k * n, n));
        double s[kSide];
        if (side == kSide) {
            for (double& sk : s) sk = 0.0;
            for (std::size_t j = 0; j < n; ++j)
                for (std::size_t k = 0; k < kSide; ++k) s[k] = s[k] + orow[k * n + j];
        } else {
            for (std::size_t k = 0; k < side; ++k) {
                s[k] = 0.0;
                for (std::size_t j = 0; j < n; ++j) s[k] = s[k] + orow[k * n + j];
            }
        }
        for (std::size_t k = 0; k < side; ++k) divide(orow + k * n, n, s[k]);
    }
}

}  // namespace qv::dl::QV_ISA_LEVEL
