// Entry points for the benchmarks (loaded with ctypes by bench/bench_pool.py):
// the pool's patterns and the random fills, without the Python module.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "parallel/pool.hpp"
#include "random/random.hpp"

#define QV_BENCH_API extern "C" __attribute__((visibility("default")))

QV_BENCH_API std::size_t qv_bench_pool_size() { return qv::par::pool_size(); }

// A parallel map over elements (the logistic function), threshold as usual.
QV_BENCH_API void qv_bench_map(const double* x, double* out, std::size_t n) {
    qv::par::for_ranges(n, [&](std::size_t b, std::size_t e) {
        for (std::size_t i = b; i < e; ++i) out[i] = 1.0 / (1.0 + std::exp(-x[i]));
    });
}

// A cheap map (ReLU): the pool's hand-off cost is what shows.
QV_BENCH_API void qv_bench_relu(const double* x, double* out, std::size_t n) {
    qv::par::for_ranges(n, [&](std::size_t b, std::size_t e) {
        for (std::size_t i = b; i < e; ++i) out[i] = x[i] > 0.0 ? x[i] : 0.0;
    });
}

// Seeded draws: one generator, element order.
QV_BENCH_API void qv_bench_unit_floats(std::uint64_t seed, double* out, std::size_t n) {
    qv::rnd::SeededGenerator g(seed);
    qv::rnd::fill_unit_floats(g, out, n);
}

QV_BENCH_API void qv_bench_normals(std::uint64_t seed, double* out, std::size_t n) {
    qv::rnd::SeededGenerator g(seed);
    qv::rnd::fill_normals(g, out, n);
}

// Unseeded draws: the thread generators, on the pool whatever n is.
QV_BENCH_API void qv_bench_thread_unit_floats(double* out, std::size_t n) {
    qv::par::for_ranges_always(n, [&](std::size_t b, std::size_t e) {
        qv::rnd::fill_unit_floats(qv::rnd::thread_generator(), out + b, e - b);
    });
}
