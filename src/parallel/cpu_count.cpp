#include "parallel/cpu_count.hpp"

#include <sched.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace qv::par {
namespace {

std::size_t affinity_cpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) != 0) return 0;
    return static_cast<std::size_t>(CPU_COUNT(&set));
}

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    if (!in) return {};
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The cgroup path of this process for a controller ("" for v2's unified line).
std::string cgroup_path(const std::string& controller) {
    return cgroup_path_in(read_file("/proc/self/cgroup"), controller);
}

std::size_t quota_cpus() {
    // cgroup v2: walk from our group up to the root; the tightest limit wins.
    std::string rel = cgroup_path("");
    std::size_t best = 0;
    if (!rel.empty() || std::ifstream("/sys/fs/cgroup/cgroup.controllers")) {
        std::string path = rel;
        while (true) {
            std::string text = read_file("/sys/fs/cgroup" + path + "/cpu.max");
            std::size_t c = text.empty() ? 0 : cpus_from_cgroup_v2(text.c_str());
            if (c && (!best || c < best)) best = c;
            if (path.empty() || path == "/") break;
            auto cut = path.rfind('/');
            path = cut == std::string::npos ? std::string() : path.substr(0, cut);
        }
        if (best) return best;
    }
    // cgroup v1
    std::string v1 = cgroup_path("cpu");
    for (const std::string& base : {std::string("/sys/fs/cgroup/cpu"), std::string("/sys/fs/cgroup/cpu,cpuacct")}) {
        for (const std::string& p : {base + v1, base}) {
            std::string q = read_file(p + "/cpu.cfs_quota_us");
            std::string per = read_file(p + "/cpu.cfs_period_us");
            if (q.empty() || per.empty()) continue;
            std::size_t c = cpus_from_cgroup_v1(std::atoll(q.c_str()), std::atoll(per.c_str()));
            if (c) return c;
        }
    }
    return 0;
}

}  // namespace

std::size_t cpus_from_cgroup_v2(const char* cpu_max) {
    char quota[32] = {0};
    long long period = 0;
    if (std::sscanf(cpu_max, "%31s %lld", quota, &period) < 1) return 0;
    if (std::strcmp(quota, "max") == 0) return 0;
    if (period <= 0) period = 100000;
    return cpus_from_cgroup_v1(std::atoll(quota), period);
}

std::string cgroup_path_in(const std::string& proc_cgroup, const std::string& controller) {
    std::istringstream in(proc_cgroup);
    std::string line;
    while (std::getline(in, line)) {
        // hierarchy-id:controller-list:path
        auto a = line.find(':');
        auto b = a == std::string::npos ? a : line.find(':', a + 1);
        if (b == std::string::npos) continue;
        std::string list = line.substr(a + 1, b - a - 1);
        std::string path = line.substr(b + 1);
        if (controller.empty()) {
            if (list.empty()) return path;
            continue;
        }
        std::stringstream ss(list);
        std::string item;
        while (std::getline(ss, item, ','))
            if (item == controller) return path;
    }
    return {};
}

std::size_t cpus_from_cgroup_v1(long long quota, long long period) {
    if (quota <= 0 || period <= 0) return 0;
    long long c = (quota + period - 1) / period;
    return c < 1 ? 1 : static_cast<std::size_t>(c);
}

std::size_t available_cpus() {
    static const std::size_t cached = cpus_within_quota(affinity_cpus(), quota_cpus());
    return cached;
}

std::size_t cpus_within_quota(std::size_t affinity, std::size_t quota) {
    return quota && (!affinity || quota < affinity) ? quota : affinity;
}

}  // namespace qv::par
