// Entry points of the sorting subsystem, in registration order.
#pragma once
#include "frame/python.hpp"

namespace qv::sorting::bind {
extern PyMethodDef quicksort, quicksort_f64, mergesort, parallel_sort, binary_search, kth_smallest, top_k, dedup,
    median;
}
