#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <system_error>
#include <thread>
#include <vector>

#include "core/error.hpp"
#include "hashmap/hash_map.hpp"
#include "sorting/sorts.hpp"

namespace qs = qv::sorting;

namespace {

std::vector<std::int64_t> random_values(std::size_t n, std::uint64_t seed, std::uint64_t range) {
    std::mt19937_64 g(seed);
    std::vector<std::int64_t> v(n);
    for (auto& x : v) x = static_cast<std::int64_t>(g() % range);
    return v;
}

int g_started = 0;
// Lets two chunk threads start, then refuses like an exhausted system.
std::thread start_two(std::function<void()> body) {
    if (g_started++ == 2) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::thread(std::move(body));
}

}  // namespace

TEST(ParallelSort, ChunkArithmetic) {
    EXPECT_EQ(qs::chunk_length(50001, 4), 12501u);
    EXPECT_EQ(qs::chunk_length(50000, 1), 50000u);
    EXPECT_EQ(qs::chunk_length(50000, 3), 16667u);
}

TEST(ParallelSort, AnyChunkCountSortsAndMergesPairwise) {
    for (std::size_t t : {1, 2, 3, 4, 5, 7, 8}) {
        auto v = random_values(50001, t, 1000);
        auto want = v;
        std::sort(want.begin(), want.end());
        EXPECT_EQ(qs::parallel_sort_chunked(v, t, qs::start_thread), want) << "t=" << t;
    }
}

TEST(ParallelSort, RefusedThreadJoinsStartedOnesAndFails) {
    auto v = random_values(60000, 1, 1u << 20);
    g_started = 0;
    try {
        qs::parallel_sort_chunked(v, 4, start_two);
        FAIL() << "expected a failure";
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.kind, qv::ErrorKind::Internal);
        EXPECT_EQ(e.message.rfind("failed to spawn thread", 0), 0u) << e.message;
    }
    EXPECT_EQ(g_started, 3);
}

TEST(Mergesort, EveryLengthSortsWithinItsScratch) {
    // Every length up to 70 gives odd and even halves at every depth.
    std::vector<std::size_t> lengths{1000, 4097, 65537};
    for (std::size_t n = 0; n <= 70; ++n) lengths.push_back(n);
    for (std::size_t n : lengths) {
        for (std::uint64_t range : {3u, 1u << 30}) {
            auto v = random_values(n, n, range);
            auto want = v;
            std::sort(want.begin(), want.end());
            std::vector<std::int64_t> scratch(n + 1, 7);  // one guard element
            qs::mergesort_worker<std::int64_t>(v, std::span(scratch).first(n));
            ASSERT_EQ(v, want) << "n=" << n;
            ASSERT_EQ(scratch[n], 7) << "n=" << n;
        }
    }
}

TEST(MergeTwo, AppendsBehindExistingAndPrefersA) {
    std::vector<std::int64_t> out{-1};
    std::vector<std::int64_t> a{1, 3, 3}, b{0, 3, 4};
    qs::merge_two<std::int64_t>(a, b, out);
    EXPECT_EQ(out, (std::vector<std::int64_t>{-1, 0, 1, 3, 3, 3, 4}));
}

TEST(HashMap, ChurnOfNewKeysKeepsTerminatingAndFindsEverything) {
    qv::hashmap::HashMap m;
    // A small live set and ever new keys: without reclaiming, every slot
    // would end up occupied or deleted.
    for (std::int64_t k = 0; k < 200000; ++k) {
        ASSERT_FALSE(m.insert(k, -k).has_value());
        if (k >= 5) {
            ASSERT_EQ(m.remove(k - 5), -(k - 5));
        }
        if (k % 997 == 0) {
            std::size_t empty = 0;
            for (std::size_t i = 0; i < m.capacity(); ++i) empty += m.slot(i).state == qv::hashmap::HashMap::kEmpty;
            ASSERT_GT(empty, 0u);
        }
    }
    EXPECT_EQ(m.size(), 5u);
    EXPECT_EQ(m.capacity(), 16u);
    for (std::int64_t k = 199995; k < 200000; ++k) EXPECT_EQ(m.get(k), -k);
    EXPECT_FALSE(m.contains(199994));
}

TEST(HashMap, GrowthAtSevenTenthsDropsTombstones) {
    qv::hashmap::HashMap m;
    for (std::int64_t k = 0; k <= 10; ++k) m.insert(k, k);
    m.remove(3);
    EXPECT_EQ(m.capacity(), 16u);
    EXPECT_EQ(m.deleted(), 1u);
    m.insert(3, 3);  // reuses the tombstone; 11 live entries now
    m.insert(0, 1);  // an update also grows first
    EXPECT_EQ(m.capacity(), 32u);
    EXPECT_EQ(m.deleted(), 0u);
    EXPECT_EQ(m.size(), 11u);
}
