#include "ml/square_matrix.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/error.hpp"
#include "isa/lanes.hpp"
#include "ml/ml_level.hpp"

namespace qv::ml {
namespace {

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
    const auto eliminate_below = QV_ISA_PICK(eliminate_below);
    const std::size_t n = m.n;
    double det = 1.0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t p = pivot_row(m, i);
        if (p != i) {
            swap_rows(m.a.data(), n, i, p);
            det = -det;
        }
        const double pivot = m.row(i)[i];
        if (std::fabs(pivot) < kPivotThreshold) return 0.0;
        eliminate_below(m.a.data(), n, i);
        det = det * pivot;
    }
    return isa::canonical_nan(det);
}

Matrix matrix_inverse(SquareMatrix m) {
    const auto sub_scaled = QV_ISA_PICK(sub_scaled);
    const auto divide = QV_ISA_PICK(divide);
    const auto group_on_rows = QV_ISA_PICK(group_on_rows);
    const auto steps_on_row = QV_ISA_PICK(steps_on_row);
    const std::size_t n = m.n;
    // inv starts as the identity; every row operation on m applies to inv too.
    Matrix inv;
    inv.starts.resize(n + 1);
    for (std::size_t r = 0; r < n; ++r) inv.starts[r + 1] = (r + 1) * n;
    double* a = m.a.data();
    double* b = a;  // inv's storage (see below)
    auto at = [&](std::size_t r, std::size_t c) { return a + r * n + c; };

    // The steps go kGroup at a time: first on the group's own columns of m
    // (the panel), which decide the pivots and the factors, then on the later
    // columns of m and on inv, where each row takes the group's steps one
    // after the other while its elements stay in registers. Every element
    // sees the same operations, with the same operands, in the same order as
    // one step at a time. Columns of m left of the current step are never
    // read again (pivots and factors come from later columns, and only inv is
    // returned): the row operations skip them.
    //
    // Most of inv is known without work. A column of the identity whose one
    // has not yet reached a pivot row is zero in the pivot row, so each step
    // subtracts a signed zero from it: with finite factors and a pivot that
    // is not NaN, its other rows at or below the step keep +0.0 and its one,
    // and its rows above the step hold a signed zero that is the same for all
    // such columns (zeros[r], put through the same operations). inv is kept
    // with its columns reordered (column k is inv's column col_of[k]) so
    // that these columns are the last ones, and they are left alone: a row
    // swap below the step exchanges two of them instead. A group whose
    // factors or pivots break the rule fills them in, and from then on every
    // column of inv takes every step.
    //
    // Until then inv needs no storage of its own: the columns of inv that
    // take steps (0 .. end - 1) are those of m that no longer do, so inv's
    // column k lies in m's column k, filled in once the group whose panel
    // held m's column k is done. A fallback moves inv to storage of its own.
    std::vector<std::size_t> id(n), slot(n), col_of(n), others;  // id: the row at each position, named by its position at the group's start
    std::vector<double> factors(kGroup * n), pivots(kGroup * 2 * n), scale(kGroup), f(kGroup * kRows), held, zeros(n, 0.0);
    for (std::size_t k = 0; k < n; ++k) col_of[k] = k;
    bool every_column = false;
    // inv's columns from .. to - 1 before the group at i0: zeros above it, the
    // identity below.
    auto fill_in = [&](std::size_t i0, std::size_t from, std::size_t to) {
        for (std::size_t r = 0; r < n; ++r) {
            double* row = b + r * n;
            std::fill(row + from, row + to, r < i0 ? zeros[r] : 0.0);
            if (r >= i0 && r >= from && r < to) row[r] = 1.0;
        }
    };
    for (std::size_t i0 = 0; i0 < n; i0 += kGroup) {
        const std::size_t end = std::min(n, i0 + kGroup), steps = end - i0;
        for (std::size_t q = 0; q < n; ++q) id[q] = q;
        bool regular = true;  // the factors finite, the pivots not NaN
        for (std::size_t i = i0; i < end; ++i) {
            const std::size_t p = pivot_row(m, i);
            if (std::fabs(*at(p, i)) < kPivotThreshold) value_error("Matrix is singular and cannot be inverted.");
            if (p != i) {
                std::swap_ranges(at(i, i), at(i, end), at(p, i));
                std::swap(id[i], id[p]);
            }
            scale[i - i0] = *at(i, i);
            regular = regular && !std::isnan(scale[i - i0]);
            divide(at(i, i + 1), scale[i - i0], end - i - 1);
            for (std::size_t r = 0; r < n; ++r) {
                if (r == i) continue;
                const double fr = *at(r, i);
                regular = regular && std::isfinite(fr);
                factors[(i - i0) * n + id[r]] = fr;
                // At most kGroup - 1 columns: a plain loop, not a call.
                double* x = at(r, 0);
                const double* pr = at(i, 0);
                for (std::size_t c = i + 1; c < end; ++c) x[c] = x[c] - pr[c] * fr;
            }
        }
        if (!every_column && !regular) {
            inv.values.resize(n * n);
            for (std::size_t r = 0; r < n; ++r) std::copy_n(at(r, 0), i0, inv.values.data() + r * n);
            b = inv.values.data();
            fill_in(i0, i0, n);
            every_column = true;
        }
        // inv's columns that take this group's steps (moved: those that did
        // before it).
        const std::size_t width = every_column ? n : end, moved = every_column ? n : i0;
        if (!every_column) fill_in(i0, i0, end);

        // The later columns: row r is m's columns end .. n - 1, then inv's row.
        const std::size_t tail = n - end, len = tail + width;
        auto rest = [&](std::size_t r, std::size_t w, auto&& op) {
            op(at(r, end), std::size_t{0}, tail);
            op(b + r * n, tail, w);
        };
        // Their rows go where the group's swaps took the panel's rows.
        held.clear();
        for (std::size_t q = 0; q < n; ++q) {
            if (id[q] == q) continue;
            slot[q] = held.size();
            rest(q, moved, [&](double* x, std::size_t, std::size_t k) { held.insert(held.end(), x, x + k); });
        }
        for (std::size_t q = 0; q < n; ++q) {
            if (id[q] == q) continue;
            const double* from = held.data() + slot[id[q]];
            rest(q, moved, [&](double* x, std::size_t off, std::size_t k) { std::copy_n(from + off, k, x); });
        }
        if (!every_column) {
            // The untouched columns stay the identity below the group's start.
            for (std::size_t q = i0; q < n; ++q) slot[q] = col_of[q];
            for (std::size_t q = i0; q < n; ++q) col_of[q] = slot[id[q]];
            for (std::size_t i = i0; i < end; ++i) {
                zeros[i] = zeros[i] / scale[i - i0];
                for (std::size_t r = 0; r < end; ++r)
                    if (r != i) zeros[r] = zeros[r] - zeros[i] * factors[(i - i0) * n + id[r]];
            }
        }
        // The pivot rows, now at i0 .. end - 1, step by step; each is kept as
        // it stands after its own division, for the other rows.
        for (std::size_t i = i0; i < end; ++i) {
            double* kept = pivots.data() + (i - i0) * len;
            rest(i, width, [&](double* x, std::size_t off, std::size_t k) {
                divide(x, scale[i - i0], k);
                std::copy_n(x, k, kept + off);
            });
            for (std::size_t j = i0; j < end; ++j) {
                if (j == i) continue;
                const double fj = factors[(i - i0) * n + id[j]];
                rest(j, width, [&](double* x, std::size_t off, std::size_t k) { sub_scaled(x, kept + off, fj, k); });
            }
        }
        // The other rows, kRows at a time.
        others.clear();
        for (std::size_t q = 0; q < n; ++q)
            if (q < i0 || q >= end) others.push_back(q);
        for (std::size_t o = 0; o < others.size(); o += kRows) {
            const std::size_t rows = std::min(kRows, others.size() - o);
            for (std::size_t r = 0; r < rows; ++r)
                for (std::size_t s = 0; s < steps; ++s) f[r * kGroup + s] = factors[s * n + id[others[o + r]]];
            for (std::size_t part = 0; part < 2; ++part) {
                double* xs[kRows];
                for (std::size_t r = 0; r < rows; ++r)
                    xs[r] = part == 0 ? at(others[o + r], end) : b + others[o + r] * n;
                const double* p = pivots.data() + (part == 0 ? 0 : tail);
                const std::size_t k = part == 0 ? tail : width;
                if (steps == kGroup && rows == kRows)
                    group_on_rows(xs, p, len, f.data(), k);
                else
                    for (std::size_t r = 0; r < rows; ++r) steps_on_row(xs[r], p, len, f.data() + r * kGroup, steps, k);
            }
        }
    }
    // Put inv's columns back in their order.
    bool reordered = false;
    for (std::size_t k = 0; k < n; ++k) reordered = reordered || col_of[k] != k;
    if (reordered) {
        held.resize(n);
        for (std::size_t r = 0; r < n; ++r) {
            double* row = b + r * n;
            std::copy_n(row, n, held.data());
            for (std::size_t k = 0; k < n; ++k) row[col_of[k]] = held[k];
        }
    }
    if (!every_column) inv.values = std::move(m.a);
    for (double& x : inv.values) x = isa::canonical_nan(x);
    return inv;
}

}  // namespace qv::ml
