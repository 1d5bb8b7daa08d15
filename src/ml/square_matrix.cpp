#include "ml/square_matrix.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
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

constexpr std::size_t kGroup = 8;  // elimination steps that later columns take together

typedef double v8 __attribute__((vector_size(64)));

// x[c] = (...(x[c] - p0[c] * f[0]) - p1[c] * f[1] ...) - p{steps-1}[c] * f[steps - 1]
// for c < len, where ps = pivots + s * stride: several steps' row operations
// on one row, each element held in a register across them. S > 0 fixes
// steps at compile time.
template <std::size_t S>
QV_CLONES void sub_scaled_steps(double* x, const double* pivots, std::size_t stride, const double* f, std::size_t steps,
                                std::size_t len) noexcept {
    const std::size_t count = S ? S : steps;
    std::size_t c = 0;
    for (; c + 16 <= len; c += 16) {
        v8 v0, v1, p0, p1;
        std::memcpy(&v0, x + c, sizeof v0);
        std::memcpy(&v1, x + c + 8, sizeof v1);
        for (std::size_t s = 0; s < count; ++s) {
            std::memcpy(&p0, pivots + s * stride + c, sizeof p0);
            std::memcpy(&p1, pivots + s * stride + c + 8, sizeof p1);
            v0 = v0 - p0 * f[s];
            v1 = v1 - p1 * f[s];
        }
        std::memcpy(x + c, &v0, sizeof v0);
        std::memcpy(x + c + 8, &v1, sizeof v1);
    }
    for (; c < len; ++c) {
        double v = x[c];
        for (std::size_t s = 0; s < count; ++s) v = v - pivots[s * stride + c] * f[s];
        x[c] = v;
    }
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

std::size_t pivot_row(const SquareMatrix& m, std::size_t i) noexcept {
    const double* col = m.a.data() + i;
    std::size_t p = i;
    double best = std::fabs(col[i * m.n]);
    for (std::size_t r = i + 1; r < m.n; ++r) {
        const double v = std::fabs(col[r * m.n]);
        if (v > best) {
            best = v;
            p = r;
        }
    }
    return p;
}

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
    const std::size_t n = m.n;
    // inv starts as the identity; every row operation on m applies to inv too.
    Matrix inv;
    inv.values.assign(n * n, 0.0);
    inv.starts.resize(n + 1);
    for (std::size_t r = 0; r < n; ++r) {
        inv.values[r * n + r] = 1.0;
        inv.starts[r + 1] = (r + 1) * n;
    }
    double* a = m.a.data();
    double* b = inv.values.data();
    auto at = [&](std::size_t r, std::size_t c) { return a + r * n + c; };

    // The steps go kGroup at a time: first on the group's own columns of m
    // (the panel), which decide the pivots and the factors, then on the later
    // columns of m and all of inv, where each row takes the group's steps one
    // after the other while its elements stay in registers. Every element
    // sees the same operations, with the same operands, in the same order as
    // one step at a time. Columns of m left of the current step are never
    // read again (pivots and factors come from later columns, and only inv is
    // returned): the row operations skip them.
    std::vector<std::size_t> id(n), slot(n);  // the row at each position, named by its position at the group's start
    std::vector<double> factors(kGroup * n), pivots(kGroup * 2 * n), scale(kGroup), f(kGroup), held;
    for (std::size_t i0 = 0; i0 < n; i0 += kGroup) {
        const std::size_t end = std::min(n, i0 + kGroup), steps = end - i0;
        for (std::size_t q = 0; q < n; ++q) id[q] = q;
        for (std::size_t i = i0; i < end; ++i) {
            const std::size_t p = pivot_row(m, i);
            if (std::fabs(*at(p, i)) < kPivotThreshold) value_error("Matrix is singular and cannot be inverted.");
            if (p != i) {
                std::swap_ranges(at(i, i), at(i, end), at(p, i));
                std::swap(id[i], id[p]);
            }
            scale[i - i0] = *at(i, i);
            divide(at(i, i + 1), scale[i - i0], end - i - 1);
            for (std::size_t r = 0; r < n; ++r) {
                if (r == i) continue;
                const double fr = *at(r, i);
                factors[(i - i0) * n + id[r]] = fr;
                // At most kGroup - 1 columns: a plain loop, not a call.
                double* x = at(r, 0);
                const double* pr = at(i, 0);
                for (std::size_t c = i + 1; c < end; ++c) x[c] = x[c] - pr[c] * fr;
            }
        }

        // The later columns: row r is m's columns end .. n - 1, then inv's row.
        const std::size_t tail = n - end, len = tail + n;
        auto rest = [&](std::size_t r, auto&& op) {
            op(at(r, end), std::size_t{0}, tail);
            op(b + r * n, tail, n);
        };
        // Their rows go where the group's swaps took the panel's rows.
        held.clear();
        for (std::size_t q = 0; q < n; ++q) {
            if (id[q] == q) continue;
            slot[q] = held.size();
            rest(q, [&](double* x, std::size_t, std::size_t k) { held.insert(held.end(), x, x + k); });
        }
        for (std::size_t q = 0; q < n; ++q) {
            if (id[q] == q) continue;
            const double* from = held.data() + slot[id[q]];
            rest(q, [&](double* x, std::size_t off, std::size_t k) { std::copy_n(from + off, k, x); });
        }
        // The pivot rows, now at i0 .. end - 1, step by step; each is kept as
        // it stands after its own division, for the other rows.
        for (std::size_t i = i0; i < end; ++i) {
            double* kept = pivots.data() + (i - i0) * len;
            rest(i, [&](double* x, std::size_t off, std::size_t k) {
                divide(x, scale[i - i0], k);
                std::copy_n(x, k, kept + off);
            });
            for (std::size_t j = i0; j < end; ++j) {
                if (j == i) continue;
                const double fj = factors[(i - i0) * n + id[j]];
                rest(j, [&](double* x, std::size_t off, std::size_t k) { sub_scaled(x, kept + off, fj, k); });
            }
        }
        for (std::size_t q = 0; q < n; ++q) {
            if (q >= i0 && q < end) continue;
            for (std::size_t s = 0; s < steps; ++s) f[s] = factors[s * n + id[q]];
            rest(q, [&](double* x, std::size_t off, std::size_t k) {
                if (steps == kGroup)
                    sub_scaled_steps<kGroup>(x, pivots.data() + off, len, f.data(), steps, k);
                else
                    sub_scaled_steps<0>(x, pivots.data() + off, len, f.data(), steps, k);
            });
        }
    }
    return inv;
}

}  // namespace qv::ml
