// One leaf of a lane-grouped parallel sum (par::sum_lanes) with vector loads
// and additions: the 32 lanes are 32 / W vectors of W, lane l in
// v[l / W][l % W], so that terms i .. i + 31 of the leaf are added to lanes
// 0 .. 31 by 32 / W loads and additions. Kernels built per level call them
// at the level's width (isa::kWidth).
#pragma once
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "isa/level.hpp"
#include "isa/sums.hpp"
#include "isa/vec.hpp"

namespace qv::dl::lanes {
inline namespace QV_ISA_INLINE {

static_assert(isa::kSumLanes == 32);

// The term made of element i of one or two arrays a and b.
enum class Term {
    value,                // a[i]
    square,               // a[i] * a[i]
    squared_difference,   // d * d with d = a[i] - b[i]
    absolute_difference,  // |a[i] - b[i]|
};

template <Term term>
inline double term_of(double a, double b) {
    if constexpr (term == Term::value) return a;
    if constexpr (term == Term::square) return a * a;
    const double d = a - b;
    if constexpr (term == Term::squared_difference) return d * d;
    return std::fabs(d);
}

template <std::size_t W>
struct Lanes {
    static constexpr std::size_t N = 32 / W;
    typename isa::Vec<W>::f64 v[N];
    [[gnu::always_inline]] Lanes() {
#pragma GCC unroll 16
        for (std::size_t k = 0; k < N; ++k) v[k] = -typename isa::Vec<W>::f64{};  // -0.0
    }
};

// Adds the terms of a[0 .. m), b[0 .. m) to the lanes, starting at lane 0,
// for m a multiple of 32.
template <std::size_t W, Term term>
[[gnu::always_inline]] inline void add_whole(Lanes<W>& lanes, const double* a, const double* b, std::size_t m) {
    typedef typename isa::Vec<W>::f64 V;
    typedef typename isa::Vec<W>::i64 VI;
    for (std::size_t i = 0; i < m; i += 32) {
#pragma GCC unroll 16
        for (std::size_t k = 0; k < Lanes<W>::N; ++k) {
            V x;
            std::memcpy(&x, a + i + W * k, sizeof x);
            if constexpr (term == Term::square) x = x * x;
            if constexpr (term == Term::squared_difference || term == Term::absolute_difference) {
                V y;
                std::memcpy(&y, b + i + W * k, sizeof y);
                x = x - y;
            }
            if constexpr (term == Term::squared_difference) x = x * x;
            if constexpr (term == Term::absolute_difference) x = (V)((VI)x & (VI{} + 0x7fffffffffffffffll));
            lanes.v[k] = lanes.v[k] + x;
        }
    }
}

// The leaf's sum: the last m < 32 terms of a and b go to lanes 0 .. m - 1,
// then the lanes are combined.
template <std::size_t W, Term term>
[[gnu::always_inline]] inline double finish(const Lanes<W>& lanes, const double* a, const double* b, std::size_t m) {
    double acc[32];
    std::memcpy(acc, lanes.v, sizeof acc);
    for (std::size_t l = 0; l < m; ++l) acc[l] = acc[l] + term_of<term>(a[l], b[l]);
    return isa::combine_lanes(acc);
}

// The lane-grouped sum of the terms of a[0 .. m) (and b[0 .. m)).
template <std::size_t W, Term term>
[[gnu::always_inline]] inline double leaf_sum(const double* a, const double* b, std::size_t m) {
    Lanes<W> lanes;
    const std::size_t whole = m - m % 32;
    add_whole<W, term>(lanes, a, b, whole);
    return finish<W, term>(lanes, a + whole, b + whole, m - whole);
}

inline constexpr std::size_t kBlock = 256;  // terms made at a time (a multiple of 32)

// The lane-grouped sum of m terms that a vectorised loop computes:
// fill(i, count, row) writes terms i .. i + count - 1 to row[0 .. count).
template <std::size_t W, class Fill>
[[gnu::always_inline]] inline double leaf_sum_filled(std::size_t m, Fill&& fill) {
    alignas(64) double block[kBlock];
    Lanes<W> lanes;
    std::size_t i = 0;
    for (; i + kBlock <= m; i += kBlock) {
        fill(i, kBlock, block);
        add_whole<W, Term::value>(lanes, block, block, kBlock);
    }
    const std::size_t rest = m - i, whole = rest - rest % 32;
    fill(i, rest, block);
    add_whole<W, Term::value>(lanes, block, block, whole);
    return finish<W, Term::value>(lanes, block + whole, block + whole, rest - whole);
}

}  // namespace QV_ISA_INLINE
}  // namespace qv::dl::lanes
