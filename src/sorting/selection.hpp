// Selection, search and de-duplication over the call's own copy of a list.
// Plain C++.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

namespace qv::sorting {

// The k-th smallest element, k from 1; IndexError "k out of range" unless
// 1 <= k <= n.
std::int64_t kth_smallest(std::vector<std::int64_t>& arr, std::uint64_t k);
// The min(k, n) largest elements, descending.
std::vector<std::int64_t> top_k(std::vector<std::int64_t>& arr, std::uint64_t k);
// 0.0 for no values; NaN if any value is NaN.
double median(std::vector<double>& arr);
// Index of an element equal to target found by bisection of sorted arr.
std::optional<std::int64_t> binary_search(std::vector<std::int64_t>& arr, std::int64_t target);
// Each distinct value once, in order of first occurrence.
std::vector<std::int64_t> dedup(std::vector<std::int64_t>& arr);

}  // namespace qv::sorting
