// The process-wide worker pool and the parallel patterns every routine uses.
//
// Work of kParallelThreshold items or more runs on the pool; smaller work
// runs as one plain loop on the calling thread and never touches the pool.
// Pieces are contiguous index ranges. They must not touch Python objects.
// A C++ exception thrown by a piece reaches the calling thread after the
// other pieces have stopped; the pool stays usable.
//
// Patterns:
//   parallel map / for-each over elements  for_ranges(n, body(begin, end))
//   ... over rows or fixed-size chunks      for_ranges(rows, body(row_begin, row_end))
//   map with per-piece state                for_ranges_always(n, body) whose body
//                                           first takes its state (e.g. the
//                                           thread's random generator)
//   sum reduction                           sum(n, partial(begin, end) -> double)
//   ... with leaves summed in lanes         sum_lanes(n, leaf, term), sum_terms(n, term)
//   join                                    join(a, b)
//
// Fork: a process forked while the pool exists gets a fresh pool of its own
// on its first parallel operation. The pool's threads are shut down just
// before the fork and started again on demand. That cannot be done while a
// thread other than the forking one has started parallel work since the pool
// last started and is still alive (the scheduler keeps that thread
// registered); the child then runs every pattern on its calling thread, with
// the same results. Pieces must not fork.
#pragma once
#include <cstddef>
#include <algorithm>
#include <utility>
#include <vector>

#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/parallel_invoke.h>
#include <oneapi/tbb/parallel_reduce.h>
#include <oneapi/tbb/partitioner.h>
#include <oneapi/tbb/task_arena.h>

#include "isa/sums.hpp"

namespace qv::par {

inline constexpr std::size_t kParallelThreshold = 10000;

// Pieces of a parallel sum hold at most this many items. Fixed, so that a
// sum's grouping -- and its bits -- depend only on n.
inline constexpr std::size_t kSumGrain = 4096;

// The pool size N, read once (RAYON_NUM_THREADS, RAYON_RS_NUM_CPUS, CPUs).
std::size_t pool_size();
// N from the two variables' values (nullptr: unset) and the CPU count.
std::size_t pool_size_from(const char* num_threads, const char* rs_num_cpus, std::size_t cpus);

namespace detail {

// One parallel operation's hold on the pool: a fork waits until no operation
// holds it. arena() is the pool's arena, started on first use, or nullptr in
// a forked child whose scheduler could not be shut down before the fork (run
// on the calling thread then).
class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    oneapi::tbb::task_arena* arena() const { return arena_; }

private:
    oneapi::tbb::task_arena* arena_;
};

// The sum's fixed tree, walked on the calling thread: [b, e) is halved at
// its midpoint while it holds more than kSumGrain items; leaves are summed by
// partial, halves combined left + right. The parallel sum groups identically.
template <class Partial>
double tree_sum(std::size_t b, std::size_t e, Partial& partial) {
    if (e - b <= kSumGrain) return partial(b, e);
    std::size_t mid = b + (e - b) / 2;
    double left = tree_sum(b, mid, partial);
    return left + tree_sum(mid, e, partial);
}

}  // namespace detail

// body(begin, end) over contiguous pieces of [0, n), always on the pool.
template <class Body>
void for_ranges_always(std::size_t n, Body&& body) {
    if (n == 0) return;
    detail::Session session;
    if (!session.arena()) {
        body(std::size_t{0}, n);
        return;
    }
    session.arena()->execute([&] {
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
// from -0.0 in index order. Below the threshold exactly the sequential sum
// (one call partial(0, n); -0.0 for n = 0); from it, leaves of at most
// kSumGrain items combined left + right up a fixed tree: the same bits on
// every run and for every pool size.
template <class Partial>
double sum(std::size_t n, Partial&& partial) {
    if (n < kParallelThreshold) return n ? partial(std::size_t{0}, n) : -0.0;
    detail::Session session;
    if (!session.arena()) return detail::tree_sum(0, n, partial);
    double total = -0.0;
    session.arena()->execute([&] {
        // simple_partitioner halves exactly like tree_sum: at the midpoint,
        // while a range holds more than the grain.
        total = oneapi::tbb::parallel_deterministic_reduce(
            oneapi::tbb::blocked_range<std::size_t>(0, n, kSumGrain), -0.0,
            [&](const oneapi::tbb::blocked_range<std::size_t>& r, double acc) { return acc + partial(r.begin(), r.end()); },
            [](double left, double right) { return left + right; }, oneapi::tbb::simple_partitioner());
    });
    return total;
}

namespace detail {

// The leaves of the sum's fixed tree over [b, e), in order.
inline void tree_leaves(std::size_t b, std::size_t e, std::vector<std::size_t>& starts) {
    if (e - b <= kSumGrain) {
        starts.push_back(b);
        return;
    }
    std::size_t mid = b + (e - b) / 2;
    tree_leaves(b, mid, starts);
    tree_leaves(mid, e, starts);
}

// Combine leaf sums (in leaf order) up the fixed tree, left + right.
inline double tree_combine(std::size_t b, std::size_t e, const double*& leaf) {
    if (e - b <= kSumGrain) return *leaf++;
    std::size_t mid = b + (e - b) / 2;
    double left = tree_combine(b, mid, leaf);
    return left + tree_combine(mid, e, leaf);
}

}  // namespace detail

// Inside a leaf, the terms of the lane-grouped sums below are added in
// kSumLanes interleaved lanes (see isa/sums.hpp).
using isa::kSumLanes;

namespace detail {

using isa::combine_lanes;

// The lane grouping of terms term(b) .. term(e - 1), one term at a time.
template <class Term>
double lane_sum(std::size_t b, std::size_t e, Term& term) {
    double acc[kSumLanes];
    for (double& a : acc) a = -0.0;
    for (std::size_t i = b; i < e; ++i) acc[(i - b) % kSumLanes] = acc[(i - b) % kSumLanes] + term(i);
    return combine_lanes(acc);
}

}  // namespace detail

// Sum of term(i) over [0, n). Below the threshold the sequential sum from
// -0.0 in index order. From it, the leaves of sum(n, ...)'s fixed tree, each
// summed in lanes -- leaf(b, e) must give detail::lane_sum(b, e, term), a
// kernel's faster form of it -- on the pool, then combined left + right up
// the tree: the same bits on every run and for every pool size.
template <class Leaf, class Term>
double sum_lanes(std::size_t n, Leaf&& leaf, Term&& term) {
    if (n < kParallelThreshold) {
        double acc = -0.0;
        for (std::size_t i = 0; i < n; ++i) acc = acc + term(i);
        return acc;
    }
    std::vector<std::size_t> starts;
    starts.reserve(2 * (n / kSumGrain) + 2);
    detail::tree_leaves(0, n, starts);
    const std::size_t leaves = starts.size();
    starts.push_back(n);
    std::vector<double> sums(leaves);
    for_ranges_always(leaves, [&](std::size_t l0, std::size_t l1) {
        for (std::size_t l = l0; l < l1; ++l) sums[l] = leaf(starts[l], starts[l + 1]);
    });
    const double* first = sums.data();
    return detail::tree_combine(0, n, first);
}

// sum_lanes with each leaf summed by detail::lane_sum.
template <class Term>
double sum_terms(std::size_t n, Term&& term) {
    return sum_lanes(n, [&](std::size_t b, std::size_t e) { return detail::lane_sum(b, e, term); }, term);
}

// Run a and b, possibly at the same time; both have finished on return.
template <class A, class B>
void join(A&& a, B&& b) {
    detail::Session session;
    if (!session.arena()) {
        a();
        b();
        return;
    }
    session.arena()->execute([&] { oneapi::tbb::parallel_invoke(a, b); });
}

}  // namespace qv::par
