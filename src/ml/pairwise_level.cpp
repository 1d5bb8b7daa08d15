// The pairwise tables' kernels for one x86-64 level (see isa/per_level.hpp).
#include "isa/per_level.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "isa/lanes.hpp"
#include "isa/sums.hpp"
#include "ml/lanes.hpp"
#include "ml/ml_level.hpp"

namespace qv::ml::QV_ISA_LEVEL {
namespace {

// What a pair's sum adds for components x of a and y of b.
enum class Term { product, distance };  // x * y from 0.0; |x - y| from -0.0

// R rows of a, each over its first L components (L <= b.len), against every
// row of b: out[r][j] = the sum of term over the pair (row r, row j). The R
// rows share every load of b's lanes. A block's lanes are taken 4 * W at a
// time, so that the sums stay in registers at every width.
template <Term T, std::size_t R>
[[gnu::always_inline]] inline void sums_of_rows(const double* const* a, std::size_t L, const Lanes& b,
                                                double* const* out) noexcept {
    constexpr std::size_t W = isa::kWidth;
    using V = isa::F64;
    using VI = isa::I64;
    constexpr std::size_t N = 4, C = N * W;  // vectors, lanes to a pass
    static_assert(kLanes % C == 0);
    const VI magnitude = VI{} + 0x7fffffffffffffff;
    for (std::size_t blk = 0; blk < b.blocks; ++blk) {
        const std::size_t first = blk * kLanes, w = b.width(blk);
        for (std::size_t h = 0; h < w; h += C) {
            const double* bt = b.block(blk) + h;
            V s[R][N];
#pragma GCC unroll 8
            for (std::size_t r = 0; r < R; ++r)
#pragma GCC unroll 8
                for (std::size_t v = 0; v < N; ++v) s[r][v] = T == Term::product ? V{} : -V{};  // 0.0 or -0.0
            for (std::size_t k = 0; k < L; ++k) {
                V y[N];
#pragma GCC unroll 8
                for (std::size_t v = 0; v < N; ++v) std::memcpy(&y[v], bt + k * kLanes + W * v, sizeof y[v]);
#pragma GCC unroll 8
                for (std::size_t r = 0; r < R; ++r) {
                    const double x = a[r][k];
#pragma GCC unroll 8
                    for (std::size_t v = 0; v < N; ++v) {
                        if constexpr (T == Term::product)
                            s[r][v] = s[r][v] + x * y[v];
                        else
                            s[r][v] = s[r][v] + (V)((VI)(x - y[v]) & magnitude);
                    }
                }
            }
            const std::size_t n = std::min(C, w - h);
#pragma GCC unroll 8
            for (std::size_t r = 0; r < R; ++r)
                for (std::size_t l = 0; l < n; ++l) out[r][first + h + l] = isa::canonical_nan(s[r][l / W][l % W]);
        }
    }
}

// Rows i0 .. i1 - 1 of a against b, row i into out + (i - i0) * p: the sums
// of term over each pair, two rows at a time where both cover b's length.
// Rows shorter than b's rows are left to the caller.
template <Term T>
[[gnu::always_inline]] inline void sums_of_range(const Matrix& a, const Lanes& b, std::size_t i0, std::size_t i1,
                                                 double* out) {
    const std::size_t p = b.rows;
    auto row_out = [&](std::size_t i) { return out + (i - i0) * p; };
    auto full = [&](std::size_t i) { return a.row(i).size() >= b.len; };
    for (std::size_t i = i0; i < i1;) {
        if (!full(i)) {
            ++i;
        } else if (i + 1 < i1 && full(i + 1)) {
            const double* rows[2] = {a.row(i).data(), a.row(i + 1).data()};
            double* outs[2] = {row_out(i), row_out(i + 1)};
            sums_of_rows<T, 2>(rows, b.len, b, outs);
            i += 2;
        } else {
            const double* rows[1] = {a.row(i).data()};
            double* outs[1] = {row_out(i)};
            sums_of_rows<T, 1>(rows, b.len, b, outs);
            ++i;
        }
    }
}

// Dot products of one row of a with the rows of b become cosines, given the
// square roots of the norms (sqrt is exact, so this is cosine_of).
[[gnu::always_inline]] inline void to_cosines(double* out, double root_na, const double* root_nb, std::size_t p) noexcept {
    for (std::size_t j = 0; j < p; ++j)
        out[j] = root_na == 0.0 || root_nb[j] == 0.0 ? 0.0 : isa::canonical_nan(out[j] / (root_na * root_nb[j]));
}

// Cosines of a row shorter than b's rows (L components): b's norms over
// the first L components are summed alongside the dot products.
void cosine_short_row(const double* a, std::size_t L, const Lanes& b, double* out) noexcept {
    const double na = isa::sum_of_squares(a, L);
    for (std::size_t blk = 0; blk < b.blocks; ++blk) {
        const double* bt = b.block(blk);
        double dot[kLanes], bb[kLanes];
        for (std::size_t l = 0; l < kLanes; ++l) dot[l] = bb[l] = 0.0;
        for (std::size_t k = 0; k < L; ++k) {
            const double x = a[k];
            const double* y = bt + k * kLanes;
            for (std::size_t l = 0; l < kLanes; ++l) dot[l] = dot[l] + x * y[l];
            for (std::size_t l = 0; l < kLanes; ++l) bb[l] = bb[l] + y[l] * y[l];
        }
        const std::size_t first = blk * kLanes, w = b.width(blk);
        for (std::size_t l = 0; l < w; ++l) out[first + l] = isa::canonical_nan(cosine_of(dot[l], na, bb[l]));
    }
}

}  // namespace

void cosine_rows(const Matrix& a, const Lanes& b, const double* root_nb, std::size_t i0, std::size_t i1,
                 double* out) {
    const std::size_t p = b.rows;
    sums_of_range<Term::product>(a, b, i0, i1, out);
    for (std::size_t i = i0; i < i1; ++i) {
        double* row_out = out + (i - i0) * p;
        if (a.row(i).size() < b.len)
            cosine_short_row(a.row(i).data(), a.row(i).size(), b, row_out);
        else  // the dot products of a full row become cosines
            to_cosines(row_out, std::sqrt(isa::sum_of_squares(a.row(i).data(), b.len)), root_nb, p);
    }
}

void manhattan_rows(const Matrix& a, const Lanes& b, std::size_t i0, std::size_t i1, double* out) {
    sums_of_range<Term::distance>(a, b, i0, i1, out);
    for (std::size_t i = i0; i < i1; ++i) {
        if (a.row(i).size() >= b.len) continue;
        const double* row = a.row(i).data();
        double* row_out = out + (i - i0) * b.rows;
        sums_of_rows<Term::distance, 1>(&row, a.row(i).size(), b, &row_out);
    }
}

}  // namespace qv::ml::QV_ISA_LEVEL
