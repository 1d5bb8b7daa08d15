#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/error.hpp"
#include "fork_helpers.hpp"
#include "parallel/pool.hpp"
#include "random/random.hpp"

using namespace qv::par;

namespace {

// How many distinct threads run pieces of one operation at the same time:
// every piece waits (up to a common deadline) until `want` threads are in.
std::size_t concurrent_threads(std::size_t want) {
    std::mutex m;
    std::set<std::thread::id> ids;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for_ranges_always(want * 64, [&](std::size_t, std::size_t) {
        {
            std::lock_guard<std::mutex> lock(m);
            ids.insert(std::this_thread::get_id());
        }
        while (std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard<std::mutex> lock(m);
                if (ids.size() >= want) return;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    return ids.size();
}

// Terms of very different magnitudes: any change of grouping changes the sum.
std::vector<double> uneven_terms(std::size_t n) {
    qv::rnd::SeededGenerator g(n);
    std::vector<double> v(n);
    for (auto& x : v) x = (qv::rnd::unit_float(g) - 0.3) * std::ldexp(1.0, static_cast<int>(g.next_word() % 60) - 30);
    return v;
}

double sequential(const std::vector<double>& v, std::size_t b, std::size_t e) {
    double s = -0.0;
    for (std::size_t i = b; i < e; ++i) s += v[i];
    return s;
}

std::uint64_t bits(double d) {
    std::uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

}  // namespace

TEST(Pool, EveryIndexOnceAroundTheThreshold) {
    for (std::size_t n : {std::size_t{1}, kParallelThreshold - 1, kParallelThreshold, kParallelThreshold + 1,
                          std::size_t{1} << 20}) {
        std::vector<std::atomic<int>> seen(n);
        std::atomic<int> calls{0};
        for_ranges(n, [&](std::size_t b, std::size_t e) {
            ++calls;
            ASSERT_LT(b, e);
            for (std::size_t i = b; i < e; ++i) seen[i]++;
        });
        for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(seen[i].load(), 1) << n << " " << i;
        if (n < kParallelThreshold) {
            EXPECT_EQ(calls.load(), 1);
        }
    }
    for_ranges(0, [](std::size_t, std::size_t) { FAIL(); });
    for_ranges_always(0, [](std::size_t, std::size_t) { FAIL(); });
}

TEST(Pool, BelowThresholdRunsOnCallingThread) {
    auto me = std::this_thread::get_id();
    for_ranges(kParallelThreshold - 1, [&](std::size_t, std::size_t) { EXPECT_EQ(std::this_thread::get_id(), me); });
}

TEST(Pool, RunsPoolSizeThreadsAtOnce) {
    // Also when N exceeds the processor count (run under RAYON_NUM_THREADS=3).
    EXPECT_EQ(concurrent_threads(pool_size()), pool_size());
}

TEST(Sum, BelowThresholdIsTheSequentialSum) {
    for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{4097}, kParallelThreshold - 1}) {
        auto v = uneven_terms(n);
        double s = sum(n, [&](std::size_t b, std::size_t e) { return sequential(v, b, e); });
        EXPECT_EQ(bits(s), bits(sequential(v, 0, n))) << n;
    }
}

// The parallel sum groups by a tree fixed by n alone: every run, and every
// pool size (the suite also runs with 1 and 3 threads), gives the same bits.
TEST(Sum, SameBitsEveryRun) {
    for (std::size_t n : {kParallelThreshold, std::size_t{12289}, std::size_t{4096 * 7}, std::size_t{4096 * 7 + 1},
                          std::size_t{1000003}}) {
        auto v = uneven_terms(n);
        auto partial = [&](std::size_t b, std::size_t e) { return sequential(v, b, e); };
        double expect = detail::tree_sum(0, n, partial);
        for (int run = 0; run < 5; ++run) ASSERT_EQ(bits(sum(n, partial)), bits(expect)) << n;
    }
    // Leaves of at most kSumGrain items, split at the midpoint.
    std::mutex m;
    std::vector<std::pair<std::size_t, std::size_t>> leaves;
    sum(3 * kSumGrain + 5, [&](std::size_t b, std::size_t e) {
        std::lock_guard<std::mutex> lock(m);
        leaves.emplace_back(b, e);
        return 0.0;
    });
    std::sort(leaves.begin(), leaves.end());
    std::size_t n = 3 * kSumGrain + 5, h = n / 2, q = h / 2, q2 = h + (n - h) / 2;
    std::vector<std::pair<std::size_t, std::size_t>> expect = {{0, q}, {q, h}, {h, q2}, {q2, n}};
    EXPECT_EQ(leaves, expect);
}

// A leaf in 32 lanes: term i to lane i % 32, lanes combined by halving.
double lanes_reference(const std::vector<double>& v, std::size_t b, std::size_t e) {
    std::vector<double> lane(32, -0.0);
    for (std::size_t i = b; i < e; ++i) lane[(i - b) % 32] += v[i];
    for (std::size_t half = 16; half >= 1; half /= 2)
        for (std::size_t l = 0; l < half; ++l) lane[l] += lane[l + half];
    return lane[0];
}

// sum_terms: the sequential sum below the threshold, from it the fixed tree
// of sum with leaves in lanes.
TEST(Sum, TermsGroupLeavesInLanes) {
    for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{9999}, kParallelThreshold,
                          std::size_t{12289}, std::size_t{4096 * 8 + 3}, std::size_t{4096 * 17}, std::size_t{1000003}}) {
        auto v = uneven_terms(n);
        auto partial = [&](std::size_t b, std::size_t e) { return lanes_reference(v, b, e); };
        double expect = n < kParallelThreshold ? sequential(v, 0, n) : detail::tree_sum(0, n, partial);
        for (int run = 0; run < 3; ++run) ASSERT_EQ(bits(sum_terms(n, [&](std::size_t i) { return v[i]; })), bits(expect)) << n;
    }
    // Every lane starts from -0.0.
    EXPECT_TRUE(std::signbit(sum_terms(20000, [](std::size_t) { return -0.0; })));
}

TEST(Sum, SignedZeroAndNan) {
    auto zero = [](std::size_t, std::size_t) { return -0.0; };
    EXPECT_TRUE(std::signbit(sum(0, zero)));
    EXPECT_TRUE(std::signbit(sum(20000, zero)));
    std::vector<double> v(20000, 1.0);
    v[12345] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(std::isnan(sum(v.size(), [&](std::size_t b, std::size_t e) { return sequential(v, b, e); })));
}

TEST(Pool, JoinRunsBoth) {
    int a = 0, b = 0;
    join([&] { a = 1; }, [&] { b = 2; });
    EXPECT_EQ(a + b, 3);
}

TEST(Pool, NestedOperations) {
    std::atomic<long> total{0};
    for_ranges(20000, [&](std::size_t b, std::size_t e) {
        double inner = sum(20000, [](std::size_t ib, std::size_t ie) { return static_cast<double>(ie - ib); });
        total += static_cast<long>(inner) * static_cast<long>(e - b);
    });
    EXPECT_EQ(total.load(), 20000L * 20000L);
}

// A failing piece: the caller gets the exception once every piece has
// stopped, and the pool keeps working.
TEST(Pool, FailureReachesCallerAfterPiecesStop) {
    std::atomic<int> running{0};
    std::atomic<int> after_catch{-1};
    for (int round = 0; round < 3; ++round) {
        try {
            for_ranges(1 << 20, [&](std::size_t b, std::size_t) {
                ++running;
                std::this_thread::sleep_for(std::chrono::microseconds(50));
                if (b >= (1 << 19)) {
                    --running;
                    qv::value_error("piece failed");
                }
                --running;
            });
            FAIL() << "no exception";
        } catch (const qv::Error& e) {
            after_catch = running.load();
            EXPECT_EQ(e.message, "piece failed");
        }
        EXPECT_EQ(after_catch.load(), 0);
    }
    EXPECT_THROW(sum(50000, [](std::size_t b, std::size_t) -> double {
                     if (b > 30000) throw std::runtime_error("x");
                     return 0.0;
                 }),
                 std::runtime_error);
    EXPECT_THROW(join([] {}, [] { throw std::bad_alloc(); }), std::bad_alloc);
    EXPECT_EQ(concurrent_threads(pool_size()), pool_size());
    std::vector<int> out(1 << 16);
    for_ranges(out.size(), [&](std::size_t b, std::size_t e) {
        for (std::size_t i = b; i < e; ++i) out[i] = static_cast<int>(i);
    });
    for (std::size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], static_cast<int>(i));
}

TEST(Pool, ConcurrentCallers) {
    auto v = uneven_terms(200000);
    auto partial = [&](std::size_t b, std::size_t e) { return sequential(v, b, e); };
    double expect = detail::tree_sum(0, v.size(), partial);
    std::atomic<int> wrong{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < 4; ++t)
        callers.emplace_back([&] {
            for (int i = 0; i < 20; ++i) wrong += bits(sum(v.size(), partial)) != bits(expect);
        });
    for (auto& t : callers) t.join();
    EXPECT_EQ(wrong.load(), 0);
}

// A process forked after the pool ran gets a working pool with all its threads.
TEST(PoolFork, ChildRunsParallelWork) {
    auto v = uneven_terms(100000);
    auto partial = [&](std::size_t b, std::size_t e) { return sequential(v, b, e); };
    double expect = sum(v.size(), partial);
    int rc = qv::test::run_in_child([&] {
        if (bits(sum(v.size(), partial)) != bits(expect)) return 1;
        if (concurrent_threads(pool_size()) != pool_size()) return 3;
        // and its own children too
        return qv::test::run_in_child([&] { return concurrent_threads(pool_size()) == pool_size() ? 0 : 4; });
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(bits(sum(v.size(), partial)), bits(expect));
    EXPECT_EQ(concurrent_threads(pool_size()), pool_size());
}

// Another parent thread still registered with the scheduler at the fork: the
// child cannot get a scheduler of its own but must still finish, with the
// same results, on its calling thread.
TEST(PoolFork, ChildFinishesWhenAnotherThreadUsedThePool) {
    auto v = uneven_terms(100000);
    auto partial = [&](std::size_t b, std::size_t e) { return sequential(v, b, e); };
    double expect = sum(v.size(), partial);
    std::mutex m;
    std::condition_variable cv;
    bool used = false, done = false;
    std::thread other([&] {
        sum(v.size(), partial);
        std::unique_lock<std::mutex> lock(m);
        used = true;
        cv.notify_all();
        cv.wait(lock, [&] { return done; });
    });
    {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return used; });
    }
    int rc = qv::test::run_in_child([&] {
        if (bits(sum(v.size(), partial)) != bits(expect)) return 1;
        std::vector<char> seen(50000, 0);
        for_ranges(seen.size(), [&](std::size_t b, std::size_t e) { std::fill(&seen[b], &seen[e - 1] + 1, 1); });
        int a = 0;
        join([&] { a += 1; }, [&] { a += 2; });
        return std::count(seen.begin(), seen.end(), 1) == 50000 && a == 3 ? 0 : 3;
    });
    EXPECT_EQ(rc, 0);
    {
        std::lock_guard<std::mutex> lock(m);
        done = true;
    }
    cv.notify_all();
    other.join();
    EXPECT_EQ(concurrent_threads(pool_size()), pool_size());
}

// The thread generators of the pool's workers, one per piece's thread.
TEST(Pool, PiecesDrawFromTheirThreadsGenerators) {
    std::vector<double> out(100000);
    for_ranges_always(out.size(), [&](std::size_t b, std::size_t e) {
        auto& g = qv::rnd::thread_generator();
        qv::rnd::fill_unit_floats(g, &out[b], e - b);
    });
    std::sort(out.begin(), out.end());
    EXPECT_GE(out.front(), 0.0);
    EXPECT_LT(out.back(), 1.0);
    EXPECT_EQ(std::adjacent_find(out.begin(), out.end()), out.end());  // no repeats across threads
}
