#include "ml/pairwise.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

typedef double v8 __attribute__((vector_size(64)));
typedef std::int64_t v8i __attribute__((vector_size(64)));
constexpr std::size_t kVectors = kLanes / 8;  // vectors of eight lanes to a block

// What a pair's sum adds for components x of a and y of b.
enum class Term { product, distance };  // x * y from 0.0; |x - y| from -0.0

// R rows of a, each over its first L components (L <= b.len), against every
// row of b: out[r][j] = the sum of term over the pair (row r, row j). The R
// rows share every load of b's lanes.
template <Term T, std::size_t R>
QV_CLONES void sums_of_rows(const double* const* a, std::size_t L, const Lanes& b, double* const* out) noexcept {
    const v8i magnitude = v8i{} + 0x7fffffffffffffff;
    for (std::size_t blk = 0; blk < b.blocks; ++blk) {
        const double* bt = b.block(blk);
        constexpr double start = T == Term::product ? 0.0 : -0.0;
        v8 s[R][kVectors];
        for (std::size_t r = 0; r < R; ++r)
            for (std::size_t v = 0; v < kVectors; ++v) s[r][v] = v8{start, start, start, start, start, start, start, start};
        for (std::size_t k = 0; k < L; ++k) {
            v8 y[kVectors];
            for (std::size_t v = 0; v < kVectors; ++v) std::memcpy(&y[v], bt + k * kLanes + 8 * v, sizeof y[v]);
            for (std::size_t r = 0; r < R; ++r) {
                const double x = a[r][k];
                for (std::size_t v = 0; v < kVectors; ++v) {
                    if constexpr (T == Term::product)
                        s[r][v] = s[r][v] + x * y[v];
                    else
                        s[r][v] = s[r][v] + (v8)((v8i)(x - y[v]) & magnitude);
                }
            }
        }
        const std::size_t first = blk * kLanes, w = b.width(blk);
        for (std::size_t r = 0; r < R; ++r)
            for (std::size_t l = 0; l < w; ++l) out[r][first + l] = s[r][l / 8][l % 8];
    }
}

// Rows i0 .. i1 - 1 of a against b, row i into out + (i - i0) * p: the sums
// of term over each pair, two rows at a time where both cover b's length.
// A row shorter than b's rows goes to short_row(i, its out row) instead.
template <Term T, class Short>
void sums_of_range(const Matrix& a, const Lanes& b, std::size_t i0, std::size_t i1, double* out, Short&& short_row) {
    const std::size_t p = b.rows;
    auto row_out = [&](std::size_t i) { return out + (i - i0) * p; };
    auto full = [&](std::size_t i) { return a.row(i).size() >= b.len; };
    for (std::size_t i = i0; i < i1;) {
        if (!full(i)) {
            short_row(i, row_out(i));
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
QV_CLONES void to_cosines(double* out, double root_na, const double* root_nb, std::size_t p) noexcept {
    for (std::size_t j = 0; j < p; ++j)
        out[j] = root_na == 0.0 || root_nb[j] == 0.0 ? 0.0 : out[j] / (root_na * root_nb[j]);
}

// Cosines of a row shorter than b's rows (L components): b's norms over
// the first L components are summed alongside the dot products.
QV_CLONES void cosine_short_row(const double* a, std::size_t L, const Lanes& b, double* out) noexcept {
    const double na = sum_of_squares(a, L);
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
        for (std::size_t l = 0; l < w; ++l) out[first + l] = cosine_of(dot[l], na, bb[l]);
    }
}

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
            for (std::size_t j = 0; j < p; ++j) out[(i - i0) * p + j] = pair(a.row(i), b.row(j));
    });
}

Matrix pairwise_cosine(const Matrix& a, const Matrix& b) {
    if (a.rows() == 0 || b.rows() == 0) return Matrix{};
    const std::size_t p = b.rows();
    if (!same_lengths(b)) return table_of_pairs(a, b, cosine);
    const Lanes lanes(b);
    std::vector<double> root_nb(p);
    for (std::size_t j = 0; j < p; ++j) root_nb[j] = std::sqrt(sum_of_squares(b.row(j).data(), lanes.len));
    return table(a, b, [&](std::size_t i0, std::size_t i1, double* out) {
        sums_of_range<Term::product>(a, lanes, i0, i1, out, [&](std::size_t i, double* row_out) {
            cosine_short_row(a.row(i).data(), a.row(i).size(), lanes, row_out);
        });
        // The dot products of full rows become cosines.
        for (std::size_t i = i0; i < i1; ++i) {
            if (a.row(i).size() < lanes.len) continue;
            to_cosines(out + (i - i0) * p, std::sqrt(sum_of_squares(a.row(i).data(), lanes.len)), root_nb.data(), p);
        }
    });
}

Matrix pairwise_manhattan(const Matrix& a, const Matrix& b) {
    if (a.rows() == 0 || b.rows() == 0) return Matrix{};
    if (!same_lengths(b)) return table_of_pairs(a, b, manhattan);
    const Lanes lanes(b);
    return table(a, b, [&](std::size_t i0, std::size_t i1, double* out) {
        sums_of_range<Term::distance>(a, lanes, i0, i1, out, [&](std::size_t i, double* row_out) {
            const double* row = a.row(i).data();
            sums_of_rows<Term::distance, 1>(&row, a.row(i).size(), lanes, &row_out);
        });
    });
}

}  // namespace qv::ml
