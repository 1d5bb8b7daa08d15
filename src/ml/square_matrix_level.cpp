// The determinant's and inverse's row operations for one x86-64 level (see
// isa/per_level.hpp).
#include "isa/per_level.hpp"

#include <cstring>
#include <type_traits>

#include "ml/ml_level.hpp"

namespace qv::ml::QV_ISA_LEVEL {

void sub_scaled(double* __restrict r, const double* __restrict p, double f, std::size_t len) noexcept {
    for (std::size_t c = 0; c < len; ++c) r[c] = r[c] - p[c] * f;
}

void eliminate_below(double* a, std::size_t n, std::size_t i) noexcept {
    const double* pr = a + i * n;
    const double pivot = pr[i];
    for (std::size_t r = i + 1; r < n; ++r) {
        double* rr = a + r * n;
        const double f = rr[i] / pivot;
        sub_scaled(rr + i, pr + i, f, n - i);
    }
}

void divide(double* r, double v, std::size_t len) noexcept {
    for (std::size_t c = 0; c < len; ++c) r[c] = r[c] / v;
}

namespace {

// For each of R rows x = xs[r] and c < len:
// x[c] = (...(x[c] - p0[c] * f[0]) - p1[c] * f[1] ...) - p{steps-1}[c] * f[steps - 1]
// where ps = pivots + s * stride and f = fs + r * kGroup: several steps' row
// operations on several rows, each element held in a register across the
// steps and each pivot element loaded once for all R rows, in vectors of VW
// doubles. S > 0 fixes steps at compile time.
template <std::size_t S, std::size_t R>
[[gnu::always_inline]] inline void sub_scaled_steps(double* const* xs, const double* pivots, std::size_t stride,
                                                    const double* fs, std::size_t steps, std::size_t len) noexcept {
    constexpr std::size_t VW = isa::kWidth;
    using V = isa::F64;
    const std::size_t count = S ? S : steps;
    std::size_t c = 0;
    // B vectors of each row at columns c ..: the arrays stay in registers
    // when every loop over them is unrolled.
    auto block = [&]<std::size_t B>(std::integral_constant<std::size_t, B>) __attribute__((always_inline)) {
        V v[R][B], p[B];
#pragma GCC unroll 8
        for (std::size_t r = 0; r < R; ++r)
#pragma GCC unroll 2
            for (std::size_t b = 0; b < B; ++b) std::memcpy(&v[r][b], xs[r] + c + VW * b, sizeof(V));
#pragma GCC unroll 8
        for (std::size_t s = 0; s < count; ++s) {
#pragma GCC unroll 2
            for (std::size_t b = 0; b < B; ++b) std::memcpy(&p[b], pivots + s * stride + c + VW * b, sizeof(V));
#pragma GCC unroll 8
            for (std::size_t r = 0; r < R; ++r) {
                const double f = fs[r * kGroup + s];
#pragma GCC unroll 2
                for (std::size_t b = 0; b < B; ++b) v[r][b] = v[r][b] - p[b] * f;
            }
        }
#pragma GCC unroll 8
        for (std::size_t r = 0; r < R; ++r)
#pragma GCC unroll 2
            for (std::size_t b = 0; b < B; ++b) std::memcpy(xs[r] + c + VW * b, &v[r][b], sizeof(V));
        c += VW * B;
    };
    while (c + 2 * VW <= len) block(std::integral_constant<std::size_t, 2>{});
    if (c + VW <= len) block(std::integral_constant<std::size_t, 1>{});
    for (; c < len; ++c)
        for (std::size_t r = 0; r < R; ++r) {
            double v = xs[r][c];
            for (std::size_t s = 0; s < count; ++s) v = v - pivots[s * stride + c] * fs[r * kGroup + s];
            xs[r][c] = v;
        }
}

}  // namespace

void group_on_rows(double* const* xs, const double* pivots, std::size_t stride, const double* fs,
                   std::size_t len) noexcept {
    if constexpr (isa::kWidth >= 8) {
        sub_scaled_steps<kGroup, kRows>(xs, pivots, stride, fs, kGroup, len);
    } else {  // too few registers to share the pivot rows' loads
        for (std::size_t r = 0; r < kRows; ++r)
            sub_scaled_steps<kGroup, 1>(xs + r, pivots, stride, fs + r * kGroup, kGroup, len);
    }
}

void steps_on_row(double* x, const double* pivots, std::size_t stride, const double* fs, std::size_t steps,
                  std::size_t len) noexcept {
    sub_scaled_steps<0, 1>(&x, pivots, stride, fs, steps, len);
}

}  // namespace qv::ml::QV_ISA_LEVEL
