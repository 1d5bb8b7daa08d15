// The random-number kernels built once per x86-64 level (random_level.cpp,
// chacha_level.cpp).
#pragma once
#include <cstddef>
#include <cstdint>

#include "isa/level.hpp"

namespace qv::rnd {

// out[i] = the unit float of key-stream words 2i (low half) and 2i + 1, for
// i < n.
QV_ISA_DECLARE(void unit_floats_from(const std::uint32_t* words, double* out, std::size_t n))

}  // namespace qv::rnd
