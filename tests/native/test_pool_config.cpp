#include <gtest/gtest.h>

#include "parallel/cpu_count.hpp"
#include "parallel/pool.hpp"

using qv::par::pool_size_from;

TEST(PoolSize, NumThreadsWins) {
    EXPECT_EQ(pool_size_from("3", "5", 2), 3u);
    EXPECT_EQ(pool_size_from("+4", nullptr, 2), 4u);
}

TEST(PoolSize, ZeroMeansDefault) {
    EXPECT_EQ(pool_size_from("0", "5", 2), 2u);  // 0: the default, not the fallback variable
    EXPECT_EQ(pool_size_from("0", nullptr, 0), 1u);
}

TEST(PoolSize, InvalidFallsBackToOlderVariable) {
    EXPECT_EQ(pool_size_from("x", "6", 2), 6u);
    EXPECT_EQ(pool_size_from("-1", "6", 2), 6u);
    EXPECT_EQ(pool_size_from(nullptr, "0", 3), 3u);
    EXPECT_EQ(pool_size_from(nullptr, " 2", 3), 3u);
    EXPECT_EQ(pool_size_from(nullptr, "6", 2), 6u);  // unset falls back too
    EXPECT_EQ(pool_size_from("", "", 0), 1u);
}

TEST(CgroupQuota, V2) {
    EXPECT_EQ(qv::par::cpus_from_cgroup_v2("max 100000\n"), 0u);
    EXPECT_EQ(qv::par::cpus_from_cgroup_v2("150000 100000\n"), 2u);
    EXPECT_EQ(qv::par::cpus_from_cgroup_v2("50000 100000"), 1u);
    EXPECT_EQ(qv::par::cpus_from_cgroup_v2("400000 100000"), 4u);
}

TEST(CgroupQuota, V1) {
    EXPECT_EQ(qv::par::cpus_from_cgroup_v1(-1, 100000), 0u);
    EXPECT_EQ(qv::par::cpus_from_cgroup_v1(200000, 100000), 2u);
    EXPECT_GE(qv::par::available_cpus(), 1u);
}

TEST(CgroupQuota, TightestOfAffinityAndQuota) {
    EXPECT_EQ(qv::par::cpus_within_quota(8, 2), 2u);
    EXPECT_EQ(qv::par::cpus_within_quota(2, 8), 2u);
    EXPECT_EQ(qv::par::cpus_within_quota(0, 3), 3u);
    EXPECT_EQ(qv::par::cpus_within_quota(4, 0), 4u);
}

TEST(CgroupQuota, PathOfAController) {
    const std::string text = "12:cpu,cpuacct:/docker/abc\n4:memory:/m\n0::/user.slice\n";
    EXPECT_EQ(qv::par::cgroup_path_in(text, "cpu"), "/docker/abc");
    EXPECT_EQ(qv::par::cgroup_path_in(text, "cpuacct"), "/docker/abc");
    EXPECT_EQ(qv::par::cgroup_path_in(text, ""), "/user.slice");
    EXPECT_EQ(qv::par::cgroup_path_in(text, "pids"), "");
}
