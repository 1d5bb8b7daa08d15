// The random-pivot three-way partition that the integer sorts and the
// selection routines rest on, and its per-thread pivot generator.
#pragma once
#include <atomic>
#include <cstdint>
#include <span>
#include <utility>

#include "core/items.hpp"

namespace qv::sorting {

// xorshift64 (13, 7, 17) with the xorshift64* output multiplier. Seeded from
// the clock and SEED_COUNTER, never from the user; unrelated to the random
// sources of the tensors and dropout.
struct Rng {
    std::uint64_t state;

    // The seed for the sub-second nanoseconds of the clock and the counter
    // value c taken by this seeding (never 0).
    static std::uint64_t seed_from(std::uint64_t nanoseconds, std::uint64_t c) noexcept {
        std::uint64_t seed = nanoseconds ^ (c * 0x9E3779B97F4A7C15ull);
        return seed == 0 ? 0xDEADBEEFull : seed;
    }

    std::uint64_t next() noexcept {
        std::uint64_t x = state;
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        state = x;
        return x * 0x2545F4914F6CDD1Dull;
    }
};

// Advanced once per seeding, i.e. once per thread that ever partitions.
extern std::atomic<std::uint64_t> SEED_COUNTER;

// This thread's generator, seeded at its first use.
Rng& thread_rng();

// Split values (n >= 1) around a randomly chosen element p: afterwards
// values[0, lt) < p, values[lt, gt) == p and values[gt, n) > p. Returns
// (lt, gt); lt < gt. Steps this thread's generator once. Int items end where
// their values would.
std::pair<std::size_t, std::size_t> three_way_partition(std::span<std::int64_t> values) noexcept;
std::pair<std::size_t, std::size_t> three_way_partition(std::span<IntItem> values) noexcept;

// The partition around the element at pivot_index (exposed for the tests).
std::pair<std::size_t, std::size_t> partition_at(std::span<std::int64_t> values, std::size_t pivot_index) noexcept;
std::pair<std::size_t, std::size_t> partition_at(std::span<IntItem> values, std::size_t pivot_index) noexcept;

}  // namespace qv::sorting
