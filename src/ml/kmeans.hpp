// k-means clustering by Lloyd's iteration with evenly spaced initial rows.
// Plain C++.
#pragma once
#include <cstdint>
#include <span>
#include <tuple>
#include <vector>

#include "core/views.hpp"

namespace qv::ml {

// Squared Euclidean distance over the common prefix of a and b, summed from
// 0.0 in index order.
double squared_distance(std::span<const double> a, std::span<const double> b) noexcept;

// (centroids, labels) after at most max_iters iterations; the labels are
// those of the last assignment. ValueError unless 1 <= k <= rows, or when a
// row is shorter than the first. Points are assigned on the worker pool from
// the parallel threshold on.
std::tuple<Matrix, std::vector<std::uint64_t>> kmeans(const Matrix& data, std::uint64_t k, std::uint64_t max_iters,
                                                      double tolerance);

}  // namespace qv::ml
