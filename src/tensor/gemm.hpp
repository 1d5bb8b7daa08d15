// Double-precision matrix product through Eigen, built once per x86-64
// level (gemm_level.cpp) and chosen at run time. Plain C++.
#pragma once
#include <cstdint>

#include "isa/level.hpp"

namespace qv::tensor {

// One operand in row-major storage with `ld` elements between rows; read
// transposed when `transposed` (its rows are then the product's columns).
struct GemmOperand {
    const double* data;
    std::int64_t ld;
    bool transposed;
};

// c (m x n, row-major, contiguous) = op(a) (m x k) * op(b) (k x n), on the
// calling thread. Needs m, n, k > 0.
using GemmFn = void (*)(std::int64_t m, std::int64_t n, std::int64_t k, GemmOperand a, GemmOperand b, double* c);

// The product on the calling thread, built once per level (gemm_level.cpp);
// gemm runs the build for the level in use (see isa/level.hpp).
QV_ISA_DECLARE(void gemm(std::int64_t m, std::int64_t n, std::int64_t k, GemmOperand a, GemmOperand b, double* c))

void gemm(std::int64_t m, std::int64_t n, std::int64_t k, GemmOperand a, GemmOperand b, double* c);

}  // namespace qv::tensor
