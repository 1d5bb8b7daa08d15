// The sorting functions: in-place workers over spans and the routines behind
// quicksort, mergesort, parallel_sort and quicksort_f64. Plain C++.
#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <thread>
#include <vector>

#include "core/items.hpp"

namespace qv::sorting {

// The integer sorts work on int64 values or on int items (values with their
// list elements, so that the result can be the caller's own objects); both
// forms are built.

// Random-pivot three-way quicksort, insertion sort below 17 elements,
// recursing only into the smaller part.
template <class T>
void quicksort_worker(std::span<T> values) noexcept;
// Top-down stable merge sort; scratch has the length of values.
template <class T>
void mergesort_worker(std::span<T> values, std::span<T> scratch) noexcept;
// Append the merge of sorted a and b to out (ties taken from a).
template <class T>
void merge_two(std::span<const T> a, std::span<const T> b, std::vector<T>& out);

// parallel_sort goes parallel from this many elements.
inline constexpr std::size_t kParallelSortThreshold = 50000;

// Each routine sorts the call's own copy and hands it back.
template <class T>
std::vector<T> quicksort(std::vector<T>& arr);
template <class T>
std::vector<T> mergesort(std::vector<T>& arr);
template <class T>
std::vector<T> parallel_sort(std::vector<T>& arr);
// NaNs go last; the other values ascending. On doubles or float items.
template <class T>
std::vector<T> quicksort_f64(std::vector<T>& arr);
extern template std::vector<double> quicksort_f64<double>(std::vector<double>&);
extern template std::vector<FloatItem> quicksort_f64<FloatItem>(std::vector<FloatItem>&);

// Starts one chunk thread; throws std::system_error when the system refuses.
using ThreadStarter = std::thread (*)(std::function<void()>);
std::thread start_thread(std::function<void()> body);
// The chunked path with t chunk threads (exposed for the tests).
template <class T>
std::vector<T> parallel_sort_chunked(std::vector<T>& arr, std::size_t t, ThreadStarter start);
// Chunk length for n elements over t threads: ceil(n / t).
inline std::size_t chunk_length(std::size_t n, std::size_t t) noexcept { return (n + t - 1) / t; }

#define QV_INT_SORTS(T)                                                                                   \
    extern template void quicksort_worker<T>(std::span<T>) noexcept;                                      \
    extern template void mergesort_worker<T>(std::span<T>, std::span<T>) noexcept;                        \
    extern template void merge_two<T>(std::span<const T>, std::span<const T>, std::vector<T>&);           \
    extern template std::vector<T> quicksort<T>(std::vector<T>&);                                         \
    extern template std::vector<T> mergesort<T>(std::vector<T>&);                                         \
    extern template std::vector<T> parallel_sort<T>(std::vector<T>&);                                     \
    extern template std::vector<T> parallel_sort_chunked<T>(std::vector<T>&, std::size_t, ThreadStarter);
QV_INT_SORTS(std::int64_t)
QV_INT_SORTS(IntItem)
#undef QV_INT_SORTS

}  // namespace qv::sorting
