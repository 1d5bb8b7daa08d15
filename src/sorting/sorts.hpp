// The sorting functions: in-place workers over spans and the routines behind
// quicksort, mergesort, parallel_sort and quicksort_f64. Plain C++.
#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <thread>
#include <vector>

namespace qv::sorting {

// Random-pivot three-way quicksort, insertion sort below 17 elements,
// recursing only into the smaller part.
void quicksort_worker(std::span<std::int64_t> values) noexcept;
// Top-down stable merge sort; scratch has the length of values.
void mergesort_worker(std::span<std::int64_t> values, std::span<std::int64_t> scratch) noexcept;
// Append the merge of sorted a and b to out (ties taken from a).
void merge_two(std::span<const std::int64_t> a, std::span<const std::int64_t> b, std::vector<std::int64_t>& out);

// parallel_sort goes parallel from this many elements.
inline constexpr std::size_t kParallelSortThreshold = 50000;

// Each routine sorts the call's own copy and hands it back.
std::vector<std::int64_t> quicksort(std::vector<std::int64_t>& arr);
std::vector<std::int64_t> mergesort(std::vector<std::int64_t>& arr);
std::vector<std::int64_t> parallel_sort(std::vector<std::int64_t>& arr);
// NaNs go last; the other values ascending.
std::vector<double> quicksort_f64(std::vector<double>& arr);

// Starts one chunk thread; throws std::system_error when the system refuses.
using ThreadStarter = std::thread (*)(std::function<void()>);
std::thread start_thread(std::function<void()> body);
// The chunked path with t chunk threads (exposed for the tests).
std::vector<std::int64_t> parallel_sort_chunked(std::vector<std::int64_t>& arr, std::size_t t, ThreadStarter start);
// Chunk length for n elements over t threads: ceil(n / t).
inline std::size_t chunk_length(std::size_t n, std::size_t t) noexcept { return (n + t - 1) / t; }

}  // namespace qv::sorting
