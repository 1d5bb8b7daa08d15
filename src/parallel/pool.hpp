// The process-wide worker pool and the parallel patterns every routine uses.
//
// Work of kParallelThreshold items or more runs on the pool; smaller work
// runs as one plain loop on the calling thread and never touches the pool.
// Pieces are contiguous index ranges. They must not touch Python objects.
// A C++ exception thrown by a piece reaches the calling thread after the
// other pieces have stopped; the pool stays usable.
#pragma once
#include <cstddef>
#include <utility>

#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/parallel_invoke.h>
#include <oneapi/tbb/parallel_reduce.h>
#include <oneapi/tbb/partitioner.h>
#include <oneapi/tbb/task_arena.h>

namespace qv::par {

inline constexpr std::size_t kParallelThreshold = 10000;

// Pieces of a parallel sum hold this many items (the last may hold fewer).
// Fixed, so that a sum's grouping -- and its bits -- depend only on n.
inline constexpr std::size_t kSumGrain = 4096;

// The pool size N, read once (RAYON_NUM_THREADS, RAYON_RS_NUM_CPUS, CPUs).
std::size_t pool_size();
// N from the two variables' values (nullptr: unset) and the CPU count.
std::size_t pool_size_from(const char* num_threads, const char* rs_num_cpus, std::size_t cpus);

// The pool's arena, started on first use.
oneapi::tbb::task_arena& arena();

// body(begin, end) over contiguous pieces of [0, n), always on the pool.
template <class Body>
void for_ranges_always(std::size_t n, Body&& body) {
    if (n == 0) return;
    arena().execute([&] {
        oneapi::tbb::parallel_for(oneapi::tbb::blocked_range<std::size_t>(0, n),
                                  [&](const oneapi::tbb::blocked_range<std::size_t>& r) { body(r.begin(), r.end()); });
    });
}

// body(begin, end) over [0, n): on the pool from the threshold on, else one
// call body(0, n) on the calling thread. Parallel map and for-each.
template <class Body>
void for_ranges(std::size_t n, Body&& body) {
    if (n < kParallelThreshold) {
        if (n) body(std::size_t{0}, n);
        return;
    }
    for_ranges_always(n, std::forward<Body>(body));
}

// Sum of partial(begin, end) over [0, n), each partial summing its items
// from -0.0 in index order. Below the threshold exactly the sequential sum;
// from it, pieces of kSumGrain items combined left + right up a fixed tree:
// the same bits on every run and for every pool size.
template <class Partial>
double sum(std::size_t n, Partial&& partial) {
    if (n < kParallelThreshold) return n ? partial(std::size_t{0}, n) : -0.0;
    double total = -0.0;
    arena().execute([&] {
        total = oneapi::tbb::parallel_deterministic_reduce(
            oneapi::tbb::blocked_range<std::size_t>(0, n, kSumGrain), -0.0,
            [&](const oneapi::tbb::blocked_range<std::size_t>& r, double acc) {
                // A range at or below the grain is one piece of the fixed tree.
                return acc + partial(r.begin(), r.end());
            },
            [](double left, double right) { return left + right; }, oneapi::tbb::simple_partitioner());
    });
    return total;
}

// Run a and b, possibly at the same time.
template <class A, class B>
void join(A&& a, B&& b) {
    arena().execute([&] { oneapi::tbb::parallel_invoke(a, b); });
}

}  // namespace qv::par
