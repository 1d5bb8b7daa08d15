#include "sorting/sorts.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <exception>
#include <functional>
#include <string>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>

#include "core/buffer.hpp"
#include "core/error.hpp"
#include "parallel/cpu_count.hpp"
#include "sorting/partition.hpp"

namespace qv::sorting {
namespace {

// Insertion sort by moving each element left past every strictly greater
// one (equivalent to the adjacent swaps, with one store per step).
template <class T>
void insertion_sort(T* a, std::size_t n) noexcept {
    for (std::size_t i = 1; i < n; ++i) {
        const T x = a[i];
        std::size_t j = i;
        while (j > 0 && a[j - 1] > x) {
            a[j] = a[j - 1];
            --j;
        }
        a[j] = x;
    }
}

template <class T>
void merge_halves(T* v, std::size_t mid, std::size_t n, T* out) noexcept {
    std::size_t i = 0, j = mid, k = 0;
    while (i < mid && j < n) {
        const bool right = v[j] < v[i];
        out[k++] = right ? v[j] : v[i];
        j += right;
        i += !right;
    }
    while (i < mid) out[k++] = v[i++];
    while (j < n) out[k++] = v[j++];
}

}  // namespace

template <class T>
void quicksort_worker(std::span<T> values) noexcept {
    T* a = values.data();
    std::size_t n = values.size();
    while (n >= 17) {
        auto [lt, gt] = three_way_partition(std::span<T>(a, n));
        const std::size_t right = n - gt;
        if (lt < right) {
            quicksort_worker(std::span<T>(a, lt));
            a += gt;
            n = right;
        } else {
            quicksort_worker(std::span<T>(a + gt, right));
            n = lt;
        }
    }
    insertion_sort(a, n);
}

namespace {

// The top-down merge sort of v[0, n), its result left in v or, with
// to_scratch, in s. The halves are sorted into the other array and merged
// into the wanted one: the merges of sorting in place and copying each one
// back, without the copies.
template <class T>
void merge_sort(T* v, T* s, std::size_t n, bool to_scratch) noexcept {
    if (n <= 1) {
        if (to_scratch && n == 1) s[0] = v[0];
        return;
    }
    const std::size_t mid = n / 2;
    merge_sort(v, s, mid, !to_scratch);
    merge_sort(v + mid, s + mid, n - mid, !to_scratch);
    if (to_scratch)
        merge_halves(v, mid, n, s);
    else
        merge_halves(s, mid, n, v);
}

}  // namespace

template <class T>
void mergesort_worker(std::span<T> values, std::span<T> scratch) noexcept {
    merge_sort(values.data(), scratch.data(), values.size(), false);
}

template <class T>
void merge_two(std::span<const T> a, std::span<const T> b, std::vector<T>& out) {
    const std::size_t start = out.size();
    out.resize(start + a.size() + b.size());
    T* o = out.data() + start;
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool take_b = b[j] < a[i];
        *o++ = take_b ? b[j] : a[i];
        j += take_b;
        i += !take_b;
    }
    o = std::copy(a.begin() + static_cast<std::ptrdiff_t>(i), a.end(), o);
    std::copy(b.begin() + static_cast<std::ptrdiff_t>(j), b.end(), o);
}

template <class T>
std::vector<T> quicksort(std::vector<T>& arr) {
    quicksort_worker(std::span<T>(arr));
    return std::move(arr);
}

template <class T>
std::vector<T> mergesort(std::vector<T>& arr) {
    if (arr.size() > 1) {
        auto scratch = Buffer<T>::zeros(arr.size());
        mergesort_worker(std::span<T>(arr), std::span<T>(scratch.data(), arr.size()));
    }
    return std::move(arr);
}

std::thread start_thread(std::function<void()> body) { return std::thread(std::move(body)); }

template <class T>
std::vector<T> parallel_sort_chunked(std::vector<T>& arr, std::size_t t, ThreadStarter start) {
    const std::size_t n = arr.size();
    const std::size_t chunk = chunk_length(n, t);
    std::vector<std::span<T>> chunks;
    for (std::size_t start = 0; start < n; start += chunk) chunks.push_back({arr.data() + start, std::min(chunk, n - start)});

    // One new thread per chunk; if one cannot be started, the ones already
    // running are joined before the failure is reported.
    std::vector<std::thread> threads;
    threads.reserve(chunks.size());
    std::string spawn_error;
    std::exception_ptr other_error;
    for (auto c : chunks) {
        try {
            threads.push_back(start([c] { quicksort_worker(c); }));
        } catch (const std::system_error& e) {
            spawn_error = e.what();
            break;
        } catch (...) {
            other_error = std::current_exception();
            break;
        }
    }
    for (auto& th : threads) th.join();
    if (other_error) std::rethrow_exception(other_error);
    if (threads.size() < chunks.size()) internal_failure("failed to spawn thread: " + spawn_error);

    // The runs start as the sorted chunks, read where they lie (copying them
    // first would give the same merges); each merge round builds a new array
    // per pair and frees the pair's arrays.
    struct Run {
        std::span<const T> values;
        std::vector<T> storage;  // empty while the run is a chunk of arr
    };
    std::vector<Run> runs;
    runs.reserve(chunks.size());
    for (auto c : chunks) runs.push_back({c, {}});
    while (runs.size() >= 2) {
        std::vector<Run> next;
        next.reserve((runs.size() + 1) / 2);
        for (std::size_t i = 0; i + 1 < runs.size(); i += 2) {
            std::vector<T> merged;
            merged.reserve(runs[i].values.size() + runs[i + 1].values.size());
            merge_two(runs[i].values, runs[i + 1].values, merged);
            std::vector<T>().swap(runs[i].storage);
            std::vector<T>().swap(runs[i + 1].storage);
            next.push_back({merged, std::move(merged)});  // moving keeps the buffer the span points to
        }
        if (runs.size() % 2) next.push_back(std::move(runs.back()));
        runs = std::move(next);
    }
    // A single chunk (t = 1) is already the result.
    if (runs.size() == 1 && runs.front().storage.empty()) return std::move(arr);
    std::vector<T>().swap(arr);
    return runs.empty() ? std::vector<T>{} : std::move(runs.front().storage);
}

template <class T>
std::vector<T> parallel_sort(std::vector<T>& arr) {
    if (arr.size() < kParallelSortThreshold) return quicksort(arr);
    std::size_t t = par::available_cpus();
    return parallel_sort_chunked(arr, t == 0 ? 4 : t, start_thread);
}

#define QV_INT_SORTS(T)                                                                            \
    template void quicksort_worker<T>(std::span<T>) noexcept;                                      \
    template void mergesort_worker<T>(std::span<T>, std::span<T>) noexcept;                        \
    template void merge_two<T>(std::span<const T>, std::span<const T>, std::vector<T>&);           \
    template std::vector<T> quicksort<T>(std::vector<T>&);                                         \
    template std::vector<T> mergesort<T>(std::vector<T>&);                                         \
    template std::vector<T> parallel_sort<T>(std::vector<T>&);                                     \
    template std::vector<T> parallel_sort_chunked<T>(std::vector<T>&, std::size_t, ThreadStarter);
QV_INT_SORTS(std::int64_t)
QV_INT_SORTS(IntItem)
#undef QV_INT_SORTS

namespace {

// Doubles (no NaN) map to unsigned words in the same order: negative values
// have all bits flipped, the others only the sign bit. -0.0 lands just below
// 0.0, an order the IEEE comparison leaves open.
std::uint64_t ordered_bits(double x) noexcept {
    const auto u = std::bit_cast<std::uint64_t>(x);
    return u ^ ((u >> 63) ? ~std::uint64_t{0} : std::uint64_t{1} << 63);
}
double from_ordered_bits(std::uint64_t u) noexcept {
    return std::bit_cast<double>(u ^ ((u >> 63) ? std::uint64_t{1} << 63 : ~std::uint64_t{0}));
}

// The double of a double or of a float item (const or not).
template <class T>
auto& value_of(T& x) noexcept {
    if constexpr (std::is_floating_point_v<std::remove_const_t<T>>)
        return x;
    else
        return x.value;
}

// Below this length a comparison sort beats the radix passes.
constexpr std::size_t kRadixCutoff = 256;

// Least-significant-digit radix sort in seven passes of ten bits (the last
// four), which measured faster than eight passes of a byte; a pass in which
// every key has the same digit is skipped. Linear time. The keys live in the
// doubles' own storage (their bits, held as doubles) and in one scratch
// array of n elements. Some keys are NaN patterns (those of negative
// subnormals, some signalling): they are only ever copied, never computed
// with, and x86-64 copies doubles bit for bit.
template <class T>
void radix_sort_f64(std::span<T> values) {
    constexpr int kBits = 10, kPasses = (64 + kBits - 1) / kBits;
    constexpr std::size_t kDigits = std::size_t{1} << kBits;
    const std::size_t n = values.size();
    auto scratch = Buffer<T>::uninit(n);
    auto key = [](const T& x) { return std::bit_cast<std::uint64_t>(value_of(x)); };
    auto digit = [](std::uint64_t k, int pass) { return (k >> (kBits * pass)) & (kDigits - 1); };
    std::vector<std::array<std::size_t, kDigits>> counts(kPasses);
    for (T& x : values) {
        const std::uint64_t u = ordered_bits(value_of(x));
        value_of(x) = std::bit_cast<double>(u);
        for (int pass = 0; pass < kPasses; ++pass) ++counts[pass][digit(u, pass)];
    }
    T* src = values.data();
    T* dst = scratch.data();
    for (int pass = 0; pass < kPasses; ++pass) {
        auto& count = counts[pass];
        if (count[digit(key(src[0]), pass)] == n) continue;
        std::size_t offset = 0;
        for (std::size_t& c : count) offset += std::exchange(c, offset);
        for (std::size_t i = 0; i < n; ++i) dst[count[digit(key(src[i]), pass)]++] = src[i];
        std::swap(src, dst);
    }
    for (std::size_t i = 0; i < n; ++i) {
        values[i] = src[i];
        value_of(values[i]) = from_ordered_bits(key(src[i]));
    }
}

}  // namespace

template <class T>
std::vector<T> quicksort_f64(std::vector<T>& arr) {
    auto nan_begin = std::partition(arr.begin(), arr.end(), [](const T& x) { return !std::isnan(value_of(x)); });
    const std::span<T> numbers(arr.begin(), nan_begin);
    if (numbers.size() < kRadixCutoff)
        std::sort(numbers.begin(), numbers.end(), [](const T& a, const T& b) { return value_of(a) < value_of(b); });
    else
        radix_sort_f64(numbers);
    return std::move(arr);
}

template std::vector<double> quicksort_f64<double>(std::vector<double>&);
template std::vector<FloatItem> quicksort_f64<FloatItem>(std::vector<FloatItem>&);

}  // namespace qv::sorting
