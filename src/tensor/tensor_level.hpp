// The Tensor's elementwise kernels, built once per x86-64 level
// (tensor_level.cpp): element i of the result from element i of the
// operands, for i < n.
#pragma once
#include <cstddef>

#include "isa/level.hpp"

namespace qv::tensor {

QV_ISA_DECLARE(void add(const double* a, const double* b, double* out, std::size_t n))
QV_ISA_DECLARE(void sub(const double* a, const double* b, double* out, std::size_t n))
QV_ISA_DECLARE(void mul_elementwise(const double* a, const double* b, double* out, std::size_t n))
QV_ISA_DECLARE(void mul_scalar(const double* a, double scalar, double* out, std::size_t n))
QV_ISA_DECLARE(void relu_derivative(const double* a, double* out, std::size_t n))
QV_ISA_DECLARE(void relu_inplace(double* x, std::size_t n))
// bias[j] added to column j of rows x[0 .. rows * cols), in place.
QV_ISA_DECLARE(void add_bias(double* x, std::size_t rows, std::size_t cols, const double* bias))

}  // namespace qv::tensor
