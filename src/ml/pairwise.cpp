#include "ml/pairwise.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "dl/clones.hpp"
#include "ml/lanes.hpp"
#include "parallel/pool.hpp"

namespace qv::ml {
namespace {

double sum_of_squares(const double* x, std::size_t len) noexcept {
    double s = 0.0;
    for (std::size_t k = 0; k < len; ++k) s = s + x[k] * x[k];
    return s;
}

double cosine_of(double dot, double na, double nb) noexcept {
    if (na == 0.0 || nb == 0.0) return 0.0;
    return dot / (std::sqrt(na) * std::sqrt(nb));
}

// One result row: a (its first L components, L <= b.len) against every row
// of b. With Prefix (L < b.len), the norms of b's rows are summed over the
// first L components alongside the dot products; otherwise they are nb.
template <bool Prefix>
QV_CLONES void cosine_row(const double* a, std::size_t L, const Lanes& b, const double* nb, double* out) noexcept {
    const double na = sum_of_squares(a, L);
    for (std::size_t blk = 0; blk < b.blocks; ++blk) {
        const double* bt = b.block(blk);
        double dot[kLanes], bb[kLanes];
        for (std::size_t l = 0; l < kLanes; ++l) dot[l] = bb[l] = 0.0;
        for (std::size_t k = 0; k < L; ++k) {
            const double x = a[k];
            const double* y = bt + k * kLanes;
            for (std::size_t l = 0; l < kLanes; ++l) dot[l] = dot[l] + x * y[l];
            if constexpr (Prefix)
                for (std::size_t l = 0; l < kLanes; ++l) bb[l] = bb[l] + y[l] * y[l];
        }
        const std::size_t first = blk * kLanes, w = b.width(blk);
        for (std::size_t l = 0; l < w; ++l) out[first + l] = cosine_of(dot[l], na, Prefix ? bb[l] : nb[first + l]);
    }
}

QV_CLONES void manhattan_row(const double* a, std::size_t L, const Lanes& b, double* out) noexcept {
    for (std::size_t blk = 0; blk < b.blocks; ++blk) {
        const double* bt = b.block(blk);
        double s[kLanes];
        for (std::size_t l = 0; l < kLanes; ++l) s[l] = -0.0;
        for (std::size_t k = 0; k < L; ++k) {
            const double x = a[k];
            const double* y = bt + k * kLanes;
            for (std::size_t l = 0; l < kLanes; ++l) s[l] = s[l] + std::fabs(x - y[l]);
        }
        const std::size_t first = blk * kLanes, w = b.width(blk);
        for (std::size_t l = 0; l < w; ++l) out[first + l] = s[l];
    }
}

// An m x p table whose row i is filled by row(i, out_row).
template <class Row>
Matrix table(const Matrix& a, const Matrix& b, Row&& row) {
    const std::size_t m = a.rows(), p = b.rows();
    Matrix out;
    if (m == 0 || p == 0) return out;
    resize_values(out.values, m * p);
    out.starts.resize(m + 1);
    for (std::size_t i = 0; i <= m; ++i) out.starts[i] = i * p;
    double* values = out.values.data();
    par::for_ranges(m, [&](std::size_t i0, std::size_t i1) {
        for (std::size_t i = i0; i < i1; ++i) row(i, values + i * p);
    });
    return out;
}

}  // namespace

double cosine(std::span<const double> a, std::span<const double> b) noexcept {
    const std::size_t L = std::min(a.size(), b.size());
    double dot = 0.0, na = 0.0, nb = 0.0;
    for (std::size_t k = 0; k < L; ++k) dot = dot + a[k] * b[k];
    for (std::size_t k = 0; k < L; ++k) na = na + a[k] * a[k];
    for (std::size_t k = 0; k < L; ++k) nb = nb + b[k] * b[k];
    return cosine_of(dot, na, nb);
}

double manhattan(std::span<const double> a, std::span<const double> b) noexcept {
    const std::size_t L = std::min(a.size(), b.size());
    double s = -0.0;
    for (std::size_t k = 0; k < L; ++k) s = s + std::fabs(a[k] - b[k]);
    return s;
}

Matrix pairwise_cosine(const Matrix& a, const Matrix& b) {
    if (a.rows() == 0 || b.rows() == 0) return Matrix{};
    const std::size_t p = b.rows();
    if (!same_lengths(b)) {
        return table(a, b, [&](std::size_t i, double* out) {
            for (std::size_t j = 0; j < p; ++j) out[j] = cosine(a.row(i), b.row(j));
        });
    }
    const Lanes lanes(b);
    std::vector<double> nb(p);
    for (std::size_t j = 0; j < p; ++j) nb[j] = sum_of_squares(b.row(j).data(), lanes.len);
    return table(a, b, [&](std::size_t i, double* out) {
        const auto row = a.row(i);
        if (row.size() < lanes.len)
            cosine_row<true>(row.data(), row.size(), lanes, nb.data(), out);
        else
            cosine_row<false>(row.data(), lanes.len, lanes, nb.data(), out);
    });
}

Matrix pairwise_manhattan(const Matrix& a, const Matrix& b) {
    if (a.rows() == 0 || b.rows() == 0) return Matrix{};
    const std::size_t p = b.rows();
    if (!same_lengths(b)) {
        return table(a, b, [&](std::size_t i, double* out) {
            for (std::size_t j = 0; j < p; ++j) out[j] = manhattan(a.row(i), b.row(j));
        });
    }
    const Lanes lanes(b);
    return table(a, b, [&](std::size_t i, double* out) {
        const auto row = a.row(i);
        manhattan_row(row.data(), std::min(row.size(), lanes.len), lanes, out);
    });
}

}  // namespace qv::ml
