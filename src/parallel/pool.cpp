#include "parallel/pool.hpp"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "parallel/cpu_count.hpp"

namespace qv::par {
namespace {

// A decimal integer, optional leading '+'; -1 if anything else.
long long parse_count(const char* s) {
    if (!s) return -1;
    if (*s == '+') ++s;
    if (!*s) return -1;
    long long v = 0;
    for (; *s; ++s) {
        if (*s < '0' || *s > '9') return -1;
        v = v * 10 + (*s - '0');
        if (v > (1LL << 40)) return -1;
    }
    return v;
}

}  // namespace

std::size_t pool_size_from(const char* num_threads, const char* rs_num_cpus, std::size_t cpus) {
    std::size_t fallback = cpus ? cpus : 1;
    long long n = parse_count(num_threads);
    if (n >= 1) return static_cast<std::size_t>(n);
    if (n == 0) return fallback;
    long long m = parse_count(rs_num_cpus);
    if (m >= 1) return static_cast<std::size_t>(m);
    return fallback;
}

std::size_t pool_size() {
    static const std::size_t n =
        pool_size_from(std::getenv("RAYON_NUM_THREADS"), std::getenv("RAYON_RS_NUM_CPUS"), available_cpus());
    return n;
}

oneapi::tbb::task_arena& arena() {
    static oneapi::tbb::task_arena* a = [] {
        auto* created = new oneapi::tbb::task_arena(static_cast<int>(pool_size()), 1);
        created->initialize();
        return created;
    }();
    return *a;
}

}  // namespace qv::par
