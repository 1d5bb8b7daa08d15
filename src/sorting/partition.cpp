#include "sorting/partition.hpp"

#include <time.h>

#include <utility>

namespace qv::sorting {

std::atomic<std::uint64_t> SEED_COUNTER{0};

namespace {

// Sub-second part of the wall clock in nanoseconds. For a clock set before
// the epoch the normalised timespec still carries a part in [0, 1e9).
std::uint64_t clock_nanoseconds() noexcept {
    timespec ts{};
    if (clock_gettime(CLOCK_REALTIME, &ts) != 0) return 0;
    long ns = ts.tv_nsec % 1000000000L;
    return static_cast<std::uint64_t>(ns < 0 ? -ns : ns);
}

struct LazyRng {
    bool seeded = false;
    Rng rng{0};
};

thread_local LazyRng RNG;

}  // namespace

Rng& thread_rng() {
    if (!RNG.seeded) {
        std::uint64_t ns = clock_nanoseconds();
        std::uint64_t c = SEED_COUNTER.fetch_add(1, std::memory_order_seq_cst);
        RNG.rng.state = Rng::seed_from(ns, c);
        RNG.seeded = true;
    }
    return RNG.rng;
}

std::pair<std::size_t, std::size_t> partition_at(std::span<std::int64_t> values, std::size_t pivot_index) noexcept {
    std::int64_t* a = values.data();
    const std::int64_t p = a[pivot_index];
    std::size_t lt = 0, j = 0, gt = values.size();
    while (j < gt) {
        if (a[j] < p) {
            std::swap(a[lt], a[j]);
            ++lt;
            ++j;
        } else if (a[j] > p) {
            --gt;
            std::swap(a[j], a[gt]);
        } else {
            ++j;
        }
    }
    return {lt, gt};
}

std::pair<std::size_t, std::size_t> three_way_partition(std::span<std::int64_t> values) noexcept {
    std::uint64_t r = thread_rng().next();
    return partition_at(values, static_cast<std::size_t>(r % values.size()));
}

}  // namespace qv::sorting
