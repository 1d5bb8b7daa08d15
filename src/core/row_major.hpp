// Arrays of any layout copied into row-major order. Plain C++.
#pragma once
#include <cstdint>
#include <span>

#include "core/views.hpp"

namespace qv {

// The elements of an array of 8-byte elements, dims[k] along dimension k
// and strides[k] bytes apart (negative, zero or not a multiple of 8; the
// data need not be aligned), copied into dst in row-major order.
void copy_row_major(const char* data, std::span<const std::int64_t> dims, std::span<const std::int64_t> strides,
                    void* dst);

// The elements of a view (strides in elements) in row-major order.
void copy_row_major(const NdView<const double>& a, double* dst);

}  // namespace qv
