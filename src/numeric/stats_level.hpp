// The statistics kernels built once per x86-64 level (stats_level.cpp).
#pragma once
#include <cstddef>

#include "isa/level.hpp"

namespace qv::numeric {

// r[c] = b[c] * v + r[c] for every column: the product rounded, then added;
// r is a result row and never overlaps a row of b.
QV_ISA_DECLARE(void add_scaled_row(double* __restrict r, const double* __restrict b, double v, std::size_t m) noexcept)

}  // namespace qv::numeric
