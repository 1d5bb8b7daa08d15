#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <span>
#include <thread>
#include <utility>
#include <vector>

#include "sorting/partition.hpp"

using qv::sorting::partition_at;
using qv::sorting::Rng;
using qv::sorting::three_way_partition;

namespace {

// The classic three-case loop, swap for swap.
template <class T>
std::pair<std::size_t, std::size_t> reference(std::vector<T>& a, std::size_t pivot_index) {
    const T p = a[pivot_index];
    std::size_t lt = 0, j = 0, gt = a.size();
    while (j < gt) {
        if (a[j] < p) {
            std::swap(a[lt++], a[j++]);
        } else if (a[j] > p) {
            std::swap(a[j], a[--gt]);
        } else {
            ++j;
        }
    }
    return {lt, gt};
}

void expect_split(const std::vector<std::int64_t>& a, std::pair<std::size_t, std::size_t> r, std::int64_t p) {
    auto [lt, gt] = r;
    ASSERT_LT(lt, gt);
    ASSERT_LE(gt, a.size());
    for (std::size_t i = 0; i < lt; ++i) EXPECT_LT(a[i], p);
    for (std::size_t i = lt; i < gt; ++i) EXPECT_EQ(a[i], p);
    for (std::size_t i = gt; i < a.size(); ++i) EXPECT_GT(a[i], p);
}

}  // namespace

// Items carry their original position as the object: the branch-free loop
// must move every item exactly where the swaps would, equal ones included.
TEST(Partition, ItemsMoveExactlyAsTheSwapsMoveThem) {
    std::mt19937_64 g(7);
    for (int round = 0; round < 2000; ++round) {
        std::size_t n = 1 + g() % 300;
        std::int64_t range = round % 2 ? 3 : 50;
        std::vector<qv::IntItem> a(n);
        for (std::size_t i = 0; i < n; ++i)
            a[i] = {static_cast<std::int64_t>(g() % range), reinterpret_cast<void*>(i + 1)};
        std::size_t pivot = g() % n;
        auto expected = a;
        auto want = reference(expected, pivot);
        ASSERT_EQ(partition_at(a, pivot), want);
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_EQ(a[i].value, expected[i].value) << i;
            ASSERT_EQ(a[i].object, expected[i].object) << i;
        }
    }
}

// Slices that end where an unreadable page begins, the pivot their largest
// element, so that both loops run to the slice's last element: a read past
// it ends the test.
TEST(Partition, ReadsNothingPastTheSlice) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* map = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    char* end = static_cast<char*>(map) + page;
    ASSERT_EQ(mprotect(end, page, PROT_NONE), 0);
    std::mt19937_64 g(5);
    for (std::size_t n : {std::size_t{1}, std::size_t{40}, std::size_t{200}}) {
        std::vector<std::int64_t> values(n);
        for (auto& x : values) x = static_cast<std::int64_t>(g() % 1000);
        const auto top = static_cast<std::size_t>(std::max_element(values.begin(), values.end()) - values.begin());
        std::vector<qv::IntItem> items(n);
        for (std::size_t i = 0; i < n; ++i) items[i] = {values[i], reinterpret_cast<void*>(i + 1)};
        auto* a = reinterpret_cast<std::int64_t*>(end) - n;
        std::copy(values.begin(), values.end(), a);
        auto want = reference(values, top);
        EXPECT_EQ(partition_at(std::span(a, n), top), want);
        auto* b = reinterpret_cast<qv::IntItem*>(end) - n;
        std::copy(items.begin(), items.end(), b);
        EXPECT_EQ(partition_at(std::span(b, n), top), want);
    }
    munmap(map, 2 * page);
}

TEST(Partition, MatchesTheThreeCaseLoopExactly) {
    std::mt19937_64 g(42);
    for (int round = 0; round < 3000; ++round) {
        // Small slices, and large ones with pivots anywhere in the order.
        std::size_t n = round % 2 ? 1 + g() % 200 : 1 + g() % 5000;
        std::int64_t range = round % 3 == 0 ? 4 : (round % 3 == 1 ? 1000 : std::numeric_limits<std::int64_t>::max());
        std::vector<std::int64_t> a(n);
        for (auto& x : a) x = static_cast<std::int64_t>(g() % static_cast<std::uint64_t>(range)) - range / 2;
        std::size_t pivot = g() % n;
        auto expected = a;
        auto want = reference(expected, pivot);
        auto got = partition_at(a, pivot);
        ASSERT_EQ(got, want);
        ASSERT_EQ(a, expected) << "n=" << n << " pivot=" << pivot;
    }
}

TEST(Partition, MatchesTheThreeCaseLoopOnOrderedInputsForEveryPivot) {
    const std::size_t n = 700;
    for (int shape = 0; shape < 4; ++shape) {
        std::vector<std::int64_t> base(n);
        for (std::size_t i = 0; i < n; ++i) {
            const auto v = static_cast<std::int64_t>(i);
            base[i] = shape == 0 ? v : shape == 1 ? -v : shape == 2 ? v % 3 : (i < n / 2 ? v : -v);
        }
        for (std::size_t pivot = 0; pivot < n; pivot += 7) {
            auto a = base, expected = base;
            auto want = reference(expected, pivot);
            ASSERT_EQ(partition_at(a, pivot), want) << shape << " " << pivot;
            ASSERT_EQ(a, expected) << shape << " " << pivot;
        }
    }
}

TEST(Partition, MatchesTheThreeCaseLoopWhereOnlyTheStartIsOrdered) {
    // The start of a slice decides how the loop is run; the rest differs.
    std::mt19937_64 g(9);
    for (int round = 0; round < 400; ++round) {
        std::vector<std::int64_t> a(17 + g() % 400);
        for (auto& x : a) x = static_cast<std::int64_t>(g() % 100);
        const std::size_t run = std::min<std::size_t>(a.size(), 16 + g() % 40);
        if (round % 2)
            std::sort(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(run));
        else
            std::sort(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(run), std::greater<>());
        const std::size_t pivot = g() % a.size();
        auto expected = a;
        auto want = reference(expected, pivot);
        ASSERT_EQ(partition_at(a, pivot), want);
        ASSERT_EQ(a, expected) << "round " << round;
    }
}

TEST(Partition, InvariantsAndMultisetWithRandomPivot) {
    std::mt19937_64 g(7);
    for (int round = 0; round < 500; ++round) {
        std::vector<std::int64_t> a(1 + g() % 500);
        for (auto& x : a) x = static_cast<std::int64_t>(g() % 50);
        auto before = a;
        auto r = three_way_partition(a);
        expect_split(a, r, a[r.first]);
        std::sort(before.begin(), before.end());
        auto after = a;
        std::sort(after.begin(), after.end());
        EXPECT_EQ(before, after);
    }
}

TEST(Partition, OneElement) {
    std::vector<std::int64_t> a{7};
    std::uint64_t state = qv::sorting::thread_rng().state;
    EXPECT_EQ(three_way_partition(a), std::make_pair(std::size_t{0}, std::size_t{1}));
    EXPECT_EQ(a, std::vector<std::int64_t>{7});
    EXPECT_NE(qv::sorting::thread_rng().state, state);  // still stepped
}

TEST(Partition, AllEqualMovesNothing) {
    std::vector<std::int64_t> a(100, -3);
    EXPECT_EQ(three_way_partition(a), std::make_pair(std::size_t{0}, std::size_t{100}));
    EXPECT_EQ(a, std::vector<std::int64_t>(100, -3));
}

TEST(Partition, DistinctValuesGiveOneElementEqualRun) {
    std::vector<std::int64_t> a(300);
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<std::int64_t>((i * 7919) % 300);
    auto [lt, gt] = three_way_partition(a);
    EXPECT_EQ(gt, lt + 1);
    EXPECT_EQ(a[lt], static_cast<std::int64_t>(lt));
}

TEST(Partition, Int64Extremes) {
    const std::int64_t lo = std::numeric_limits<std::int64_t>::min(), hi = std::numeric_limits<std::int64_t>::max();
    for (std::size_t pivot = 0; pivot < 5; ++pivot) {
        std::vector<std::int64_t> a{hi, lo, 0, hi, lo};
        std::int64_t p = a[pivot];
        expect_split(a, partition_at(a, pivot), p);
    }
}

TEST(PivotGenerator, StepIsXorshift13717WithOutputMultiplier) {
    Rng r{1};
    std::uint64_t x = 1;
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    EXPECT_EQ(r.next(), x * 0x2545F4914F6CDD1Dull);
    EXPECT_EQ(r.state, x);
}

TEST(PivotGenerator, Seeding) {
    EXPECT_EQ(Rng::seed_from(123, 0), 123u);                              // first seeding: bare nanoseconds
    EXPECT_EQ(Rng::seed_from(123, 1), 123u ^ 0x9E3779B97F4A7C15ull);      // counter times the golden ratio
    EXPECT_EQ(Rng::seed_from(0, 0), 0xDEADBEEFull);                       // never 0
    EXPECT_NE(Rng::seed_from(5, 1), Rng::seed_from(5, 2));                // same clock, other counter
}

TEST(PivotGenerator, EachThreadSeedsOnceAndAdvancesTheCounter) {
    std::vector<std::int64_t> a{3, 1, 2};
    three_way_partition(a);  // this thread is seeded now
    std::uint64_t before = qv::sorting::SEED_COUNTER.load();
    std::uint64_t s1 = 0, s2 = 0;
    std::thread t1([&] { s1 = qv::sorting::thread_rng().state; });
    std::thread t2([&] { s2 = qv::sorting::thread_rng().state; });
    t1.join();
    t2.join();
    EXPECT_EQ(qv::sorting::SEED_COUNTER.load(), before + 2);
    EXPECT_NE(s1, 0u);
    EXPECT_NE(s2, 0u);
    three_way_partition(a);
    EXPECT_EQ(qv::sorting::SEED_COUNTER.load(), before + 2);
}
