// The Tensor's elementwise kernels for one x86-64 level (see
// isa/per_level.hpp).
#include "isa/elementwise.hpp"
#include "tensor/tensor_level.hpp"

namespace qv::tensor::QV_ISA_LEVEL {
namespace {

[[gnu::always_inline]] inline void add_row(double* __restrict x, const double* __restrict bias, std::size_t cols) {
    for (std::size_t j = 0; j < cols; ++j) x[j] = isa::canonical_nan(bias[j] + x[j]);
}

}  // namespace

void add(const double* a, const double* b, double* out, std::size_t n) {
    isa::map(a, b, out, n, [](double x, double y) { return x + y; });
}

void sub(const double* a, const double* b, double* out, std::size_t n) {
    isa::map(a, b, out, n, [](double x, double y) { return x - y; });
}

void mul_elementwise(const double* a, const double* b, double* out, std::size_t n) {
    isa::map(a, b, out, n, [](double x, double y) { return x * y; });
}

void mul_scalar(const double* a, double scalar, double* out, std::size_t n) {
    isa::map(a, 1, out, n, [scalar](double x) { return x * scalar; });
}

void relu_derivative(const double* a, double* out, std::size_t n) {
    isa::map<isa::Store::as_is>(a, 1, out, n, [](double x) { return x > 0.0 ? 1.0 : 0.0; });
}

void relu_inplace(double* x, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) x[i] = x[i] < 0.0 ? 0.0 : x[i];
}

void add_bias(double* x, std::size_t rows, std::size_t cols, const double* bias) {
    for (std::size_t r = 0; r < rows; ++r) add_row(x + r * cols, bias, cols);
}

}  // namespace qv::tensor::QV_ISA_LEVEL
