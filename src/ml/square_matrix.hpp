// Square-matrix routines: determinant by Gaussian elimination and inverse by
// Gauss-Jordan elimination, both with partial pivoting. Plain C++.
#pragma once
#include <cstddef>
#include <optional>
#include <vector>

#include "core/views.hpp"

namespace qv::ml {

// n x n floats, row-major.
struct SquareMatrix {
    std::size_t n = 0;
    std::vector<double> a;

    double* row(std::size_t i) noexcept { return a.data() + i * n; }
};

// Pivots of a smaller magnitude make the matrix singular (strict compare).
inline constexpr double kPivotThreshold = 1e-12;

// The rows as one n x n block, or nothing when there are no rows or some
// row's length differs from the number of rows. Takes over the rows' storage.
std::optional<SquareMatrix> to_square_matrix(Matrix&& rows);

// Row of the pivot in column i among rows i .. n-1: the largest magnitude,
// the first of equal maxima; a NaN never displaces a candidate.
std::size_t pivot_row(const SquareMatrix& m, std::size_t i) noexcept;

// Determinant of m (any n >= 1); 0.0 as soon as a pivot is below the
// threshold.
double determinant(SquareMatrix m) noexcept;

// Inverse of m; ValueError "Matrix is singular and cannot be inverted." when
// a pivot is below the threshold.
Matrix matrix_inverse(SquareMatrix m);

}  // namespace qv::ml
