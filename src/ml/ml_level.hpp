// The k-means, pairwise and square-matrix kernels, built once per x86-64
// level (kmeans_level.cpp, pairwise_level.cpp, square_matrix_level.cpp).
#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "isa/level.hpp"

namespace qv {
struct Matrix;
}

namespace qv::ml {

struct Lanes;

constexpr std::size_t kLanes = 32;  // rows to a block of Lanes

// ---- k-means

// Labels of the points in one block of lanes (see Lanes) against k
// centroids of len components each (row-major): a centroid takes a point
// only when strictly nearer than the best so far, so ties go to the lower
// index and a NaN distance never wins.
QV_ISA_DECLARE(void nearest_in_block(const double* pts, std::size_t len, const double* cent, std::size_t k,
                                     std::uint64_t* labels) noexcept)
// The first d components of points 0 .. n - 1 (point i at values +
// starts[i]) added to their cluster's running sums (d to a cluster), in point
// order, and counted.
QV_ISA_DECLARE(void add_points(const double* values, const std::size_t* starts, const std::uint64_t* labels,
                               std::size_t n, std::size_t d, double* sums, std::int64_t* counts) noexcept)

// ---- pairwise tables

// Rows i0 .. i1 - 1 of a against every row of b, row i into out + (i - i0) *
// b.rows: cosines, given the square roots of the norms of b's rows, or
// Manhattan distances.
QV_ISA_DECLARE(void cosine_rows(const Matrix& a, const Lanes& b, const double* root_nb, std::size_t i0,
                                std::size_t i1, double* out))
QV_ISA_DECLARE(void manhattan_rows(const Matrix& a, const Lanes& b, std::size_t i0, std::size_t i1, double* out))

// 0.0 when either squared norm is 0.0, else dot / (sqrt(na) * sqrt(nb)).
[[gnu::always_inline]] inline double cosine_of(double dot, double na, double nb) noexcept {
    if (na == 0.0 || nb == 0.0) return 0.0;
    return dot / (std::sqrt(na) * std::sqrt(nb));
}

// ---- determinant and inverse

constexpr std::size_t kGroup = 8;  // elimination steps that later columns take together
constexpr std::size_t kRows = 4;          // rows that take them together

// r[c] = r[c] - p[c] * f for c < len: the product rounded, then subtracted.
QV_ISA_DECLARE(void sub_scaled(double* __restrict r, const double* __restrict p, double f, std::size_t len) noexcept)
QV_ISA_DECLARE(void divide(double* r, double v, std::size_t len) noexcept)
// Rows i + 1 .. n - 1 of the n x n row-major matrix a take row i times
// a[r][i] / a[i][i] away, from column i on (sub_scaled on each).
QV_ISA_DECLARE(void eliminate_below(double* a, std::size_t n, std::size_t i) noexcept)
// For each of the kRows rows x = xs[r] and c < len, the kGroup steps
// x[c] = x[c] - ps[c] * f[s] in order of s, where ps = pivots + s * stride and
// f = fs + r * kGroup.
QV_ISA_DECLARE(void group_on_rows(double* const* xs, const double* pivots, std::size_t stride, const double* fs,
                                  std::size_t len) noexcept)
// The same for one row x and `steps` steps.
QV_ISA_DECLARE(void steps_on_row(double* x, const double* pivots, std::size_t stride, const double* fs,
                                 std::size_t steps, std::size_t len) noexcept)

}  // namespace qv::ml
