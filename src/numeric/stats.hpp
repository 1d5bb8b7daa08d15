// Statistics, vector and list-matrix arithmetic. Sums add one term at a
// time in index order from -0.0. Plain C++.
#pragma once
#include <span>
#include <vector>

#include "core/views.hpp"

namespace qv::numeric {

double mean(std::span<const double> arr) noexcept;
// Population variance (divided by n); 0.0 for no values.
double variance(std::span<const double> arr) noexcept;
double std_dev(std::span<const double> arr) noexcept;
// ValueError "vectors must be same length" unless the lengths agree.
double dot_product(std::span<const double> a, std::span<const double> b);
// Product of two matrices given as rows; ValueError "incompatible matrix
// dimensions" when a or b is empty or a's first row is not len(b) long, and
// a ValueError naming the row when a row is too short.
Matrix matmul(const Matrix& a, const Matrix& b);

}  // namespace qv::numeric
