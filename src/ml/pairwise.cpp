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

// What a pair's sum adds for components x of a and y of b.
enum class Term { product, distance };  // x * y from 0.0; |x - y| from -0.0

// R rows of a, each over its first L components (L <= b.len), against every
// row of b: out[r][j] = the sum of term over the pair (row r, row j). The R
// rows share every load of b's lanes. A block's lanes are taken 4 * W at a
// time, so that the sums stay in registers at every width.
template <std::size_t W, Term T, std::size_t R>
[[gnu::always_inline]] inline void sums_of_rows(const double* const* a, std::size_t L, const Lanes& b,
                                                double* const* out) noexcept {
    typedef typename Vec<W>::f64 V;
    typedef typename Vec<W>::i64 VI;
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
                for (std::size_t l = 0; l < n; ++l) out[r][first + h + l] = s[r][l / W][l % W];
        }
    }
}

// Rows i0 .. i1 - 1 of a against b, row i into out + (i - i0) * p: the sums
// of term over each pair, two rows at a time where both cover b's length.
// Rows shorter than b's rows are left to the caller.
template <std::size_t W, Term T>
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
            sums_of_rows<W, T, 2>(rows, b.len, b, outs);
            i += 2;
        } else {
            const double* rows[1] = {a.row(i).data()};
            double* outs[1] = {row_out(i)};
            sums_of_rows<W, T, 1>(rows, b.len, b, outs);
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

// Rows i0 .. i1 - 1 of the cosine table, given the square roots of the norms
// of b's rows.
template <std::size_t W>
[[gnu::always_inline]] inline void cosine_rows_at(const Matrix& a, const Lanes& b, const double* root_nb, std::size_t i0,
                                                  std::size_t i1, double* out) {
    const std::size_t p = b.rows;
    sums_of_range<W, Term::product>(a, b, i0, i1, out);
    for (std::size_t i = i0; i < i1; ++i) {
        double* row_out = out + (i - i0) * p;
        if (a.row(i).size() < b.len)
            cosine_short_row(a.row(i).data(), a.row(i).size(), b, row_out);
        else  // the dot products of a full row become cosines
            to_cosines(row_out, std::sqrt(sum_of_squares(a.row(i).data(), b.len)), root_nb, p);
    }
}
QV_CLONES void cosine_rows(const Matrix& a, const Lanes& b, const double* root_nb, std::size_t i0, std::size_t i1,
                           double* out) {
    QV_WIDEST(cosine_rows_at<W>(a, b, root_nb, i0, i1, out));
}

// Rows i0 .. i1 - 1 of the Manhattan table.
template <std::size_t W>
[[gnu::always_inline]] inline void manhattan_rows_at(const Matrix& a, const Lanes& b, std::size_t i0, std::size_t i1,
                                                     double* out) {
    sums_of_range<W, Term::distance>(a, b, i0, i1, out);
    for (std::size_t i = i0; i < i1; ++i) {
        if (a.row(i).size() >= b.len) continue;
        const double* row = a.row(i).data();
        double* row_out = out + (i - i0) * b.rows;
        sums_of_rows<W, Term::distance, 1>(&row, a.row(i).size(), b, &row_out);
    }
}
QV_CLONES void manhattan_rows(const Matrix& a, const Lanes& b, std::size_t i0, std::size_t i1, double* out) {
    QV_WIDEST(manhattan_rows_at<W>(a, b, i0, i1, out));
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
        cosine_rows(a, lanes, root_nb.data(), i0, i1, out);
    });
}

Matrix pairwise_manhattan(const Matrix& a, const Matrix& b) {
    if (a.rows() == 0 || b.rows() == 0) return Matrix{};
    if (!same_lengths(b)) return table_of_pairs(a, b, manhattan);
    const Lanes lanes(b);
    return table(a, b, [&](std::size_t i0, std::size_t i1, double* out) { manhattan_rows(a, lanes, i0, i1, out); });
}

}  // namespace qv::ml
