// Sixteen leaves of a parallel sum added side by side (the side(begins, len,
// acc) of par::sum_side_by_side): four leaves to a vector, each leaf's terms
// in index order. Call these from a QV_CLONES function, so that they are
// built for each x86-64 level.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "parallel/pool.hpp"

namespace qv::dl::side {

static_assert(par::kSumSide == 16);

typedef double v4 __attribute__((vector_size(32)));
typedef long long v4i __attribute__((vector_size(32)));

// The sixteen running sums, lane l of sums[k] for leaf 4k + l.
struct Sums {
    v4 v[4];
    explicit Sums(const double* acc) {
        for (int k = 0; k < 4; ++k) v[k] = v4{acc[4 * k], acc[4 * k + 1], acc[4 * k + 2], acc[4 * k + 3]};
    }
    void store(double* acc) const {
        for (int k = 0; k < 4; ++k)
            for (int l = 0; l < 4; ++l) acc[4 * k + l] = v[k][l];
    }
};

// What add_rows adds for an element v of a row: v itself or v * v.
enum class Term { value, square };

// sums[j] = (...((sums[j] + term(rows[j][0])) + term(rows[j][1])) ...) + term(rows[j][m - 1])
// for j < 16. Four elements of four rows are loaded as rows and transposed,
// so that each addition takes the next term of all four.
template <Term term>
[[gnu::always_inline]] inline void add_rows(const double* const* rows, std::size_t m, Sums& sums) {
    std::size_t t = 0;
    for (; t + 4 <= m; t += 4) {
        for (int k = 0; k < 4; ++k) {
            v4 r0, r1, r2, r3;
            std::memcpy(&r0, rows[4 * k] + t, sizeof r0);
            std::memcpy(&r1, rows[4 * k + 1] + t, sizeof r1);
            std::memcpy(&r2, rows[4 * k + 2] + t, sizeof r2);
            std::memcpy(&r3, rows[4 * k + 3] + t, sizeof r3);
            if constexpr (term == Term::square) r0 = r0 * r0, r1 = r1 * r1, r2 = r2 * r2, r3 = r3 * r3;
            const v4 t0 = __builtin_shuffle(r0, r1, v4i{0, 4, 2, 6}), t1 = __builtin_shuffle(r0, r1, v4i{1, 5, 3, 7});
            const v4 t2 = __builtin_shuffle(r2, r3, v4i{0, 4, 2, 6}), t3 = __builtin_shuffle(r2, r3, v4i{1, 5, 3, 7});
            v4& a = sums.v[k];
            a = a + __builtin_shuffle(t0, t2, v4i{0, 1, 4, 5});  // term t
            a = a + __builtin_shuffle(t1, t3, v4i{0, 1, 4, 5});  // t + 1
            a = a + __builtin_shuffle(t0, t2, v4i{2, 3, 6, 7});  // t + 2
            a = a + __builtin_shuffle(t1, t3, v4i{2, 3, 6, 7});  // t + 3
        }
    }
    for (; t < m; ++t) {
        for (int k = 0; k < 4; ++k) {
            const v4 r = {rows[4 * k][t], rows[4 * k + 1][t], rows[4 * k + 2][t], rows[4 * k + 3][t]};
            sums.v[k] = sums.v[k] + (term == Term::square ? r * r : r);
        }
    }
}

inline constexpr std::size_t kBlock = 64;  // terms of one leaf per block

// For terms that a vectorised loop computes: fill(begin, m, row) writes
// terms begin .. begin + m - 1 to row[0 .. m); the sixteen leaves' terms are
// made a block at a time into a small buffer and added from there.
template <class Fill>
[[gnu::always_inline]] inline void add_filled(const std::size_t* begins, std::size_t len, double* acc, Fill&& fill) {
    alignas(32) double block[16][kBlock];
    const double* rows[16];
    for (int j = 0; j < 16; ++j) rows[j] = block[j];
    Sums sums(acc);
    for (std::size_t i = 0; i < len; i += kBlock) {
        const std::size_t m = std::min(kBlock, len - i);
        for (std::size_t j = 0; j < 16; ++j) fill(begins[j] + i, m, block[j]);
        add_rows<Term::value>(rows, m, sums);
    }
    sums.store(acc);
}

}  // namespace qv::dl::side
