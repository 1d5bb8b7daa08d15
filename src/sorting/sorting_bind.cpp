#include "sorting/sorting_bind.hpp"

#include "frame/binding.hpp"
#include "sorting/selection.hpp"
#include "sorting/sorts.hpp"

namespace qv::sorting::bind {

using arg::Int64, arg::Int64List, arg::Int64Items, arg::Float64List, arg::Float64Items, arg::Size;

PyMethodDef quicksort =
    Function<"quicksort", Lock::Released, sorting::quicksort<IntItem>, P<Int64Items, "arr">>::def("quicksort(arr)\n--\n\n");
PyMethodDef quicksort_f64 = Function<"quicksort_f64", Lock::Released, sorting::quicksort_f64<FloatItem>,
                                     P<Float64Items, "arr">>::def("quicksort_f64(arr)\n--\n\n");
PyMethodDef mergesort =
    Function<"mergesort", Lock::Released, sorting::mergesort<IntItem>, P<Int64Items, "arr">>::def("mergesort(arr)\n--\n\n");
PyMethodDef parallel_sort = Function<"parallel_sort", Lock::Released, sorting::parallel_sort<IntItem>,
                                     P<Int64Items, "arr">>::def("parallel_sort(arr)\n--\n\n");
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
