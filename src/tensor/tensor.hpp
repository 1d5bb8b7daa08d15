// The Tensor record: an n-dimensional float64 array held as a row-major
// buffer with its shape and row-major element strides, and the kernels that
// build, convert and compute with it. Plain C++: no Python here.
//
// The buffer is shared only between tensors made from one another by
// reshape (its reference count is atomic); a tensor makes it its own before
// writing into it, so tensors behave as independent values.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/views.hpp"

namespace qv::tensor {

using Dims = std::vector<std::uint64_t>;

struct Tensor {
    static constexpr char class_name[] = "Tensor";

    Dims shape;
    Dims strides;                  // always calculate_strides(shape)
    std::shared_ptr<double[]> data;
    std::size_t size = 0;          // element count: the product of shape

    const double* begin() const noexcept { return data.get(); }
    // The buffer for writing: copied first if another tensor shares it.
    double* writable();
};

// Row-major strides in elements; products wrap modulo 2^64.
Dims calculate_strides(const Dims& shape);

// The product of shape (1 for rank 0), or nothing when it does not fit in
// 64 bits.
std::optional<std::uint64_t> element_count(const Dims& shape);

// A tensor of the given shape with an unshared, uninitialised buffer.
// ValueError when the element count does not fit in 64 bits; bad_alloc when
// the buffer cannot be had.
Tensor with_shape(Dims shape);

// --- construction and conversion ------------------------------------------

Tensor from_array(const NdView<const double>& a);
Tensor reshape(const Tensor& t, Dims new_shape);
// A fresh copy of the buffer as a 1-D array.
NewArray data_copy(const Tensor& t);

Tensor rand(Dims shape, std::optional<std::uint64_t> seed);
Tensor randn(Dims shape, std::optional<std::uint64_t> seed);

// --- arithmetic --------------------------------------------------------------
// Checks raise ValueError and come first; the computing kernels assume them.

void check_same_shape(const Tensor& a, const Tensor& b, const char* message);
Tensor add(const Tensor& a, const Tensor& b);
Tensor sub(const Tensor& a, const Tensor& b);
Tensor mul_elementwise(const Tensor& a, const Tensor& b);
Tensor mul_scalar(const Tensor& a, double scalar);
Tensor relu_derivative(const Tensor& a);
// x < 0 becomes 0 over n elements (NaN and -0.0 stay).
void relu_inplace(double* x, std::size_t n);

// The bias of add_bias_inplace, checked against t and read in row-major
// logical order.
std::vector<double> bias_row(const Tensor& t, const NdView<const double>& bias);
// bias[j] + x for every element x in column j of a rows x cols buffer.
void add_bias_inplace(double* x, std::size_t rows, std::size_t cols, const double* bias);

// op(A) (m x k) times op(B) (k x n): the checked problem of matmul.
struct MatmulProblem {
    std::uint64_t m = 0, n = 0, k = 0;
    bool transpose_a = false, transpose_b = false;
};
MatmulProblem check_matmul(const Tensor& a, const Tensor& b, bool transpose_a, bool transpose_b);
Tensor matmul(const Tensor& a, const Tensor& b, const MatmulProblem& p);

}  // namespace qv::tensor
