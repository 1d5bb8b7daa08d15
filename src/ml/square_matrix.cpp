#include "ml/square_matrix.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "dl/clones.hpp"
#include "frame/error.hpp"

namespace qv::ml {
namespace {

// r[c] = r[c] - p[c] * f for c < len: the product rounded, then subtracted.
QV_CLONES void sub_scaled(double* __restrict r, const double* __restrict p, double f, std::size_t len) noexcept {
    for (std::size_t c = 0; c < len; ++c) r[c] = r[c] - p[c] * f;
}

QV_CLONES void divide(double* r, double v, std::size_t len) noexcept {
    for (std::size_t c = 0; c < len; ++c) r[c] = r[c] / v;
}

// The pivot search over rows i .. rows-1 of column i of a block whose rows
// are `width` long.
std::size_t pivot_in(const double* a, std::size_t width, std::size_t rows, std::size_t i) noexcept {
    std::size_t p = i;
    double best = std::fabs(a[i * width + i]);
    for (std::size_t r = i + 1; r < rows; ++r) {
        const double v = std::fabs(a[r * width + i]);
        if (v > best) {
            best = v;
            p = r;
        }
    }
    return p;
}

void swap_rows(double* a, std::size_t width, std::size_t i, std::size_t p) noexcept {
    std::swap_ranges(a + i * width, a + (i + 1) * width, a + p * width);
}

}  // namespace

std::optional<SquareMatrix> to_square_matrix(Matrix&& rows) {
    const std::size_t n = rows.rows();
    if (n == 0) return std::nullopt;
    for (std::size_t i = 0; i < n; ++i)
        if (rows.row(i).size() != n) return std::nullopt;
    // Rows of n floats each lie back to back.
    return SquareMatrix{n, std::move(rows.values)};
}

std::size_t pivot_row(const SquareMatrix& m, std::size_t i) noexcept { return pivot_in(m.a.data(), m.n, m.n, i); }

double determinant(SquareMatrix m) noexcept {
    const std::size_t n = m.n;
    double det = 1.0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t p = pivot_row(m, i);
        if (p != i) {
            swap_rows(m.a.data(), n, i, p);
            det = -det;
        }
        const double* pr = m.row(i);
        const double pivot = pr[i];
        if (std::fabs(pivot) < kPivotThreshold) return 0.0;
        for (std::size_t r = i + 1; r < n; ++r) {
            double* rr = m.row(r);
            const double f = rr[i] / pivot;
            sub_scaled(rr + i, pr + i, f, n - i);
        }
        det = det * pivot;
    }
    return det;
}

Matrix matrix_inverse(SquareMatrix m) {
    const std::size_t n = m.n, w = 2 * n;
    // Rows of [m | identity]: every row operation applies to both halves.
    std::vector<double> aug(n * w, 0.0);
    for (std::size_t r = 0; r < n; ++r) {
        std::copy_n(m.row(r), n, aug.data() + r * w);
        aug[r * w + n + r] = 1.0;
    }
    double* a = aug.data();
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t p = pivot_in(a, w, n, i);
        if (std::fabs(a[p * w + i]) < kPivotThreshold) value_error("Matrix is singular and cannot be inverted.");
        if (p != i) swap_rows(a, w, i, p);
        // Columns 0 .. i of m are never read again (pivots and factors come
        // from later columns, and only inv is returned): the row operations
        // skip them.
        double* pr = a + i * w;
        divide(pr + i + 1, pr[i], w - i - 1);
        for (std::size_t r = 0; r < n; ++r) {
            if (r == i) continue;
            double* rr = a + r * w;
            sub_scaled(rr + i + 1, pr + i + 1, rr[i], w - i - 1);
        }
    }
    Matrix inv;
    inv.values.resize(n * n);
    inv.starts.resize(n + 1);
    for (std::size_t r = 0; r < n; ++r) {
        std::copy_n(a + r * w + n, n, inv.values.data() + r * n);
        inv.starts[r + 1] = (r + 1) * n;
    }
    return inv;
}

}  // namespace qv::ml
