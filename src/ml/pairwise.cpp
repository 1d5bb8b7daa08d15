#include "ml/pairwise.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "isa/lanes.hpp"
#include "isa/sums.hpp"
#include "ml/lanes.hpp"
#include "ml/ml_level.hpp"
#include "parallel/pool.hpp"

namespace qv::ml {
namespace {

// An m x p table whose rows i0 .. i1 - 1 are filled by rows(i0, i1, out),
// row i at out + (i - i0) * p. On the calling thread the rows go through a
// small scratch block onto the end of the table, which is then written once.
template <class Rows>
Matrix table(const Matrix& a, const Matrix& b, Rows&& rows) {
    const std::size_t m = a.rows(), p = b.rows();
    Matrix out;
    if (m == 0 || p == 0) return out;
    out.starts.resize(m + 1);
    for (std::size_t i = 0; i <= m; ++i) out.starts[i] = i * p;
    if (m >= par::kParallelThreshold) {
        resize_values(out.values, m * p);
        double* values = out.values.data();
        par::for_ranges(m, [&](std::size_t i0, std::size_t i1) { rows(i0, i1, values + i0 * p); });
        return out;
    }
    reserve_values(out.values, m * p);
    const std::size_t block = std::max<std::size_t>(1, (std::size_t{1} << 15) / p);  // rows of at most 256 KiB
    std::vector<double> scratch(block * p);
    for (std::size_t i0 = 0; i0 < m; i0 += block) {
        const std::size_t i1 = std::min(m, i0 + block);
        rows(i0, i1, scratch.data());
        out.values.insert(out.values.end(), scratch.begin(), scratch.begin() + (i1 - i0) * p);
    }
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

// Rows of b of different lengths: each pair on its own, over its common prefix.
template <class Pair>
Matrix table_of_pairs(const Matrix& a, const Matrix& b, Pair pair) {
    const std::size_t p = b.rows();
    return table(a, b, [&](std::size_t i0, std::size_t i1, double* out) {
        for (std::size_t i = i0; i < i1; ++i)
            for (std::size_t j = 0; j < p; ++j) out[(i - i0) * p + j] = isa::canonical_nan(pair(a.row(i), b.row(j)));
    });
}

Matrix pairwise_cosine(const Matrix& a, const Matrix& b) {
    if (a.rows() == 0 || b.rows() == 0) return Matrix{};
    const std::size_t p = b.rows();
    if (!same_lengths(b)) return table_of_pairs(a, b, cosine);
    const Lanes lanes(b);
    std::vector<double> root_nb(p);
    for (std::size_t j = 0; j < p; ++j) root_nb[j] = std::sqrt(isa::sum_of_squares(b.row(j).data(), lanes.len));
    const auto cosine_rows = QV_ISA_PICK(cosine_rows);
    return table(a, b, [&](std::size_t i0, std::size_t i1, double* out) {
        cosine_rows(a, lanes, root_nb.data(), i0, i1, out);
    });
}

Matrix pairwise_manhattan(const Matrix& a, const Matrix& b) {
    if (a.rows() == 0 || b.rows() == 0) return Matrix{};
    if (!same_lengths(b)) return table_of_pairs(a, b, manhattan);
    const Lanes lanes(b);
    const auto manhattan_rows = QV_ISA_PICK(manhattan_rows);
    return table(a, b, [&](std::size_t i0, std::size_t i1, double* out) { manhattan_rows(a, lanes, i0, i1, out); });
}

}  // namespace qv::ml
