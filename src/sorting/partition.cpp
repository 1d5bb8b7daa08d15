#include "sorting/partition.hpp"

#include <time.h>

#include <algorithm>
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

namespace {

// The single-pass three-way loop: values[j] against p; smaller swaps with
// values[lt], lt and j advance; greater swaps with values[--gt], j stays;
// equal, j advances. Fast while its branches are predictable.
template <class T>
std::pair<std::size_t, std::size_t> partition_swapping(T* a, std::size_t n, T p) noexcept {
    std::size_t lt = 0, j = 0, gt = n;
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

// The same arrangement without branches on the comparisons, which random
// data would mispredict about every second time. The swapping loop has a
// closed form: the smaller elements end up at the front in the order the
// loop meets them, the greater ones at the back from the end inwards in that
// order, and the equal run between them holds copies of p. The loop meets
// the elements left to right, except that after a greater one it takes the
// next from the right end (the one the swap brings to j). This follows that
// order with one store per element and picks the next element by a select.
std::pair<std::size_t, std::size_t> partition_selecting(std::int64_t* a, std::size_t n, std::int64_t p) noexcept {
    const std::size_t last = n - 1;
    std::size_t lt = 0, j = 0, gt = n;
    std::int64_t x = a[0];  // the element the loop examines at j
    while (j < gt) {
        // Both candidates for the next element, read before x is placed.
        const std::int64_t from_right = a[gt - 1];
        const std::int64_t from_left = a[std::min(j + 1, last)];
        const bool less = x < p, greater = x > p;
        gt -= greater;
        // A greater x goes to gt, any other to lt (an equal one is
        // overwritten later by a smaller element or by the equal run).
        a[lt ^ ((lt ^ gt) & -std::size_t{greater})] = x;
        lt += less;
        j += !greater;
        x = greater ? from_right : from_left;
    }
    std::fill(a + lt, a + gt, p);
    return {lt, gt};
}

// Items cannot be refilled with copies of p: each is a distinct element. So
// the element at j is held in x and its slot is written only when x
// settles, as the swaps would leave it: a smaller x trades places with the
// first equal element (values[lt], or x itself when lt == j), an equal one
// stays at j, a greater one goes to values[gt - 1] while the element there
// becomes the next x. The store to a[j] before a greater x settles writes a
// slot that is rewritten before it counts.
std::pair<std::size_t, std::size_t> partition_selecting(IntItem* a, std::size_t n, IntItem p) noexcept {
    const std::size_t last = n - 1;
    std::size_t lt = 0, j = 0, gt = n;
    IntItem x = a[0];
    while (j < gt) {
        const IntItem from_right = a[gt - 1];
        const IntItem from_left = a[std::min(j + 1, last)];
        const IntItem first_equal = a[lt];
        const bool less = x < p, greater = x > p;
        gt -= greater;
        a[j] = less ? first_equal : x;
        a[less ? lt : (greater ? gt : j)] = x;
        lt += less;
        j += !greater;
        x = greater ? from_right : from_left;
    }
    return {lt, gt};
}

// Whether the slice starts with an ascending or descending run (at most one
// step in sixteen against it): there the swapping loop's branches are
// predictable and it is the faster of the two.
template <class T>
bool looks_ordered(const T* a, std::size_t n) noexcept {
    const std::size_t m = std::min<std::size_t>(n, 32);
    std::size_t descents = 0;
    for (std::size_t i = 1; i < m; ++i) descents += a[i] < a[i - 1];
    return descents * 16 <= m || descents * 16 >= 15 * m;
}

template <class T>
std::pair<std::size_t, std::size_t> split_at(std::span<T> values, std::size_t pivot_index) noexcept {
    T* a = values.data();
    const std::size_t n = values.size();
    const T p = a[pivot_index];
    return looks_ordered(a, n) ? partition_swapping(a, n, p) : partition_selecting(a, n, p);
}

template <class T>
std::pair<std::size_t, std::size_t> split_randomly(std::span<T> values) noexcept {
    std::uint64_t r = thread_rng().next();
    return split_at(values, static_cast<std::size_t>(r % values.size()));
}

}  // namespace

std::pair<std::size_t, std::size_t> partition_at(std::span<std::int64_t> values, std::size_t pivot_index) noexcept {
    return split_at(values, pivot_index);
}
std::pair<std::size_t, std::size_t> partition_at(std::span<IntItem> values, std::size_t pivot_index) noexcept {
    return split_at(values, pivot_index);
}
std::pair<std::size_t, std::size_t> three_way_partition(std::span<std::int64_t> values) noexcept {
    return split_randomly(values);
}
std::pair<std::size_t, std::size_t> three_way_partition(std::span<IntItem> values) noexcept {
    return split_randomly(values);
}

}  // namespace qv::sorting
