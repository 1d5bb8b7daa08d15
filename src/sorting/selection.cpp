#include "sorting/selection.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <span>

#include "core/buffer.hpp"
#include "core/error.hpp"
#include "hashmap/key_hash.hpp"
#include "hashmap/table_memory.hpp"
#include "isa/lanes.hpp"
#include "sorting/partition.hpp"

namespace qv::sorting {

std::int64_t kth_smallest(std::vector<std::int64_t>& arr, std::uint64_t k) {
    const std::size_t n = arr.size();
    if (k == 0 || k > n) index_error("k out of range");
    std::int64_t* a = arr.data();
    std::size_t len = n, c = k - 1;
    // Narrow [a, a + len) to the part that holds position c.
    while (len > 1) {
        auto [lt, gt] = three_way_partition({a, len});
        if (c < lt) {
            len = lt;
        } else if (c < gt) {
            return a[c];
        } else {
            a += gt;
            len -= gt;
            c -= gt;
        }
    }
    return a[0];
}

std::vector<std::int64_t> top_k(std::vector<std::int64_t>& arr, std::uint64_t k) {
    const std::size_t n = arr.size();
    const std::size_t m = static_cast<std::size_t>(std::min<std::uint64_t>(k, n));
    if (m == 0) return {};
    // Quickselect until the m largest stand from position n - m on.
    std::int64_t* a = arr.data();
    std::size_t len = n, e = n - m;
    while (e > 0) {
        auto [lt, gt] = three_way_partition({a, len});
        if (e <= lt) {
            len = lt;
        } else if (e <= gt) {
            break;
        } else {
            a += gt;
            len -= gt;
            e -= gt;
        }
        if (len < 2) break;
    }
    std::vector<std::int64_t> out(arr.end() - static_cast<std::ptrdiff_t>(m), arr.end());
    std::sort(out.begin(), out.end(), std::greater<>());
    return out;
}

double median(std::vector<double>& arr) {
    const std::size_t n = arr.size();
    if (n == 0) return 0.0;
    if (n == 1) return arr[0];
    if (std::any_of(arr.begin(), arr.end(), [](double x) { return std::isnan(x); })) return std::nan("");
    // The middle order statistics: the values a full sort would put at n / 2
    // and, for even n, n / 2 - 1.
    auto mid = arr.begin() + static_cast<std::ptrdiff_t>(n / 2);
    std::nth_element(arr.begin(), mid, arr.end());
    if (n % 2) return *mid;
    const double below = *std::max_element(arr.begin(), mid);
    return isa::canonical_nan((below + *mid) * 0.5);
}

std::optional<std::int64_t> binary_search(std::vector<std::int64_t>& arr, std::int64_t target) {
    const std::size_t n = arr.size();
    if (n == 0) return std::nullopt;
    std::size_t lo = 0, hi = n - 1;
    while (lo <= hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (arr[mid] > target) {
            if (mid == 0) return std::nullopt;
            hi = mid - 1;
        } else if (arr[mid] < target) {
            lo = mid + 1;
        } else {
            return static_cast<std::int64_t>(mid);
        }
    }
    return std::nullopt;
}

std::vector<std::int64_t> dedup(std::vector<std::int64_t>& arr) {
    const std::size_t n = arr.size();
    // Smallest power of two >= max(16, 2n): at most half full, never grown.
    const std::size_t slots = std::bit_ceil(std::max<std::size_t>(16, 2 * n));
    const std::size_t mask = slots - 1;
    struct Slot {
        std::uint64_t occupied;
        std::int64_t key;
    };
    auto set = hashmap::zeroed_table<Slot>(slots);
    std::vector<std::int64_t> out;
    out.reserve(n);
    for (std::int64_t v : arr) {
        std::size_t i = hashmap::key_hash(v) & mask;
        while (set[i].occupied && set[i].key != v) i = (i + 1) & mask;
        if (!set[i].occupied) {
            set[i] = {1, v};
            out.push_back(v);
        }
    }
    return out;
}

}  // namespace qv::sorting
