#include "sorting/sorting_bind.hpp"

#include "frame/binding.hpp"
#include "sorting/selection.hpp"
#include "sorting/sorts.hpp"

#include <variant>
#include <vector>

namespace qv::sorting::bind {
namespace {

template <class V>
using Sorted = std::variant<std::vector<Item<V>>, std::vector<V>>;

// A list's elements are sorted with their values, so that the result hands
// back the caller's objects; an array's values are sorted alone.
template <auto ItemSort, auto ValueSort, class V>
Sorted<V> sort_list(arg::ItemList<V>& arr) {
    if (arr.from_array) return ValueSort(arr.values);
    return ItemSort(arr.items);
}

}  // namespace

using arg::Int64, arg::Int64List, arg::Int64Items, arg::Float64List, arg::Float64Items, arg::Size;

// The sorts of lists of ints, and of floats.
constexpr auto kQuicksort = sort_list<sorting::quicksort<IntItem>, sorting::quicksort<std::int64_t>, std::int64_t>;
constexpr auto kMergesort = sort_list<sorting::mergesort<IntItem>, sorting::mergesort<std::int64_t>, std::int64_t>;
constexpr auto kParallelSort =
    sort_list<sorting::parallel_sort<IntItem>, sorting::parallel_sort<std::int64_t>, std::int64_t>;
constexpr auto kQuicksortF64 = sort_list<sorting::quicksort_f64<FloatItem>, sorting::quicksort_f64<double>, double>;

PyMethodDef quicksort =
    Function<"quicksort", Lock::Released, kQuicksort, P<Int64Items, "arr">>::def("quicksort(arr)\n--\n\n");
PyMethodDef quicksort_f64 = Function<"quicksort_f64", Lock::Released, kQuicksortF64, P<Float64Items, "arr">>::def(
    "quicksort_f64(arr)\n--\n\n");
PyMethodDef mergesort =
    Function<"mergesort", Lock::Released, kMergesort, P<Int64Items, "arr">>::def("mergesort(arr)\n--\n\n");
PyMethodDef parallel_sort = Function<"parallel_sort", Lock::Released, kParallelSort, P<Int64Items, "arr">>::def(
    "parallel_sort(arr)\n--\n\n");
PyMethodDef binary_search = Function<"binary_search", Lock::Held, sorting::binary_search, P<Int64List, "arr">,
                                     P<Int64, "target">>::def("binary_search(arr, target)\n--\n\n");
PyMethodDef kth_smallest = Function<"kth_smallest", Lock::Released, sorting::kth_smallest, P<Int64List, "arr">,
                                    P<Size, "k">>::def("kth_smallest(arr, k)\n--\n\n");
PyMethodDef top_k = Function<"top_k", Lock::Released, sorting::top_k, P<Int64List, "arr">, P<Size, "k">>::def(
    "top_k(arr, k)\n--\n\n");
PyMethodDef dedup =
    Function<"dedup", Lock::Released, sorting::dedup, P<Int64List, "arr">>::def("dedup(arr)\n--\n\n");
PyMethodDef median =
    Function<"median", Lock::Held, sorting::median, P<Float64List, "arr">>::def("median(arr)\n--\n\n");

}  // namespace qv::sorting::bind
