// Pairwise cosine similarities and Manhattan distances between the rows of
// two matrices. Each pair of rows is compared over their common prefix.
// Plain C++.
#pragma once
#include <span>

#include "core/views.hpp"

namespace qv::ml {

// Cosine similarity of a and b over their common prefix L: dot, |a|^2 and
// |b|^2 each summed from 0.0 in index order; 0.0 when either norm is 0.0,
// else dot / (sqrt(|a|^2) * sqrt(|b|^2)).
double cosine(std::span<const double> a, std::span<const double> b) noexcept;
// Sum of |a[k] - b[k]| over the common prefix, from -0.0 in index order.
double manhattan(std::span<const double> a, std::span<const double> b) noexcept;

// The table of values for every row of a (result rows) against every row of
// b (columns); no rows at all when either matrix has none. Rows of a are
// split over the worker pool from the parallel threshold on.
Matrix pairwise_cosine(const Matrix& a, const Matrix& b);
Matrix pairwise_manhattan(const Matrix& a, const Matrix& b);

}  // namespace qv::ml
