// The number of CPUs this process may use: its affinity mask, further
// limited by a cgroup CPU quota (v2, then v1) when one is configured.
#pragma once
#include <cstddef>
#include <string>

namespace qv::par {

// 0 when it cannot be determined.
std::size_t available_cpus();

// Parsing helpers, exposed for the native tests.
// cgroup v2 "cpu.max" contents ("max 100000", "150000 100000"): the CPU limit
// rounded up, or 0 for no limit / unreadable.
std::size_t cpus_from_cgroup_v2(const char* cpu_max);
// cgroup v1 quota and period in microseconds (quota -1: no limit).
std::size_t cpus_from_cgroup_v1(long long quota, long long period);
// The path that a /proc/self/cgroup text gives for a cgroup v1 controller,
// or for "" the v2 unified line's; "" when it has none.
std::string cgroup_path_in(const std::string& proc_cgroup, const std::string& controller);
// The affinity count limited by the quota (0: unknown, no limit).
std::size_t cpus_within_quota(std::size_t affinity, std::size_t quota);

}  // namespace qv::par
