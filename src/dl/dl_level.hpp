// The deep-learning kernels built once per x86-64 level
// (activations_level.cpp, losses_level.cpp, optim_level.cpp,
// dropout_level.cpp). The arrays of one call never overlap: the array borrow
// rule refuses a writable array that shares memory with any other argument.
#pragma once
#include <cstddef>
#include <cstdint>

#include "isa/level.hpp"

namespace qv::dl {

// ---- activations: out[i] = formula(x[i * step]) for i < n

QV_ISA_DECLARE(void relu(const double* x, std::ptrdiff_t step, double* out, std::size_t n))
QV_ISA_DECLARE(void relu_derivative(const double* x, std::ptrdiff_t step, double* out, std::size_t n))
QV_ISA_DECLARE(void leaky_relu(const double* x, std::ptrdiff_t step, double* out, std::size_t n, double alpha))
QV_ISA_DECLARE(void leaky_relu_derivative(const double* x, std::ptrdiff_t step, double* out, std::size_t n, double alpha))
QV_ISA_DECLARE(void elu(const double* x, std::ptrdiff_t step, double* out, std::size_t n, double alpha))
QV_ISA_DECLARE(void elu_derivative(const double* x, std::ptrdiff_t step, double* out, std::size_t n, double alpha))
QV_ISA_DECLARE(void gelu(const double* x, std::ptrdiff_t step, double* out, std::size_t n))
QV_ISA_DECLARE(void silu(const double* x, std::ptrdiff_t step, double* out, std::size_t n))
QV_ISA_DECLARE(void silu_derivative(const double* x, std::ptrdiff_t step, double* out, std::size_t n))
QV_ISA_DECLARE(void sigmoid(const double* x, std::ptrdiff_t step, double* out, std::size_t n))
QV_ISA_DECLARE(void sigmoid_derivative(const double* x, std::ptrdiff_t step, double* out, std::size_t n))
QV_ISA_DECLARE(void tanh(const double* x, std::ptrdiff_t step, double* out, std::size_t n))
QV_ISA_DECLARE(void tanh_derivative(const double* x, std::ptrdiff_t step, double* out, std::size_t n))

// ---- softmax, one_hot and the losses

// Row i of o = softmax of row i of x (rows of n elements): the row maximum is
// taken off before exponentiating, then every entry is divided by the row
// sum, added up in index order.
QV_ISA_DECLARE(void softmax_rows(const double* __restrict x, double* __restrict o, std::size_t rows, std::size_t n))
// The first i with idx[i] outside [0, limit), or n.
QV_ISA_DECLARE(std::size_t first_out_of_range(const std::int64_t* idx, std::size_t n, std::uint64_t limit))

// Probabilities are kept at or above this before a log.
constexpr double kProbFloor = 1e-15;

enum class Loss { mse, mae, bce, categorical_cross_entropy };
// The loss's terms of a[i] and b[i] for i < m: their lane-grouped sum (a leaf
// of par::sum_lanes), and their sum from -0.0 in index order with a[i * sa],
// b[i * sb].
QV_ISA_DECLARE(double loss_leaf_sum(Loss loss, const double* a, const double* b, std::size_t m))
QV_ISA_DECLARE(double loss_sum(Loss loss, const double* a, std::int64_t sa, const double* b, std::int64_t sb,
                               std::size_t m))

// ---- optimizer steps and clipping, over n elements

QV_ISA_DECLARE(void sgd_momentum_step(double* __restrict params, const double* __restrict grads,
                                      double* __restrict velocity, std::size_t n, double lr, double momentum))

struct AdamCoefficients {
    double lr, beta1, beta2, one_minus_beta1, one_minus_beta2, eps, bc1, bc2;
};
QV_ISA_DECLARE(void adam_step(double* __restrict params, const double* __restrict grads, double* __restrict m,
                              double* __restrict v, std::size_t n, const AdamCoefficients& c))

// The lane-grouped sum of g[i] * g[i] over i < n (see par::sum_lanes).
QV_ISA_DECLARE(double squares_leaf_sum(const double* g, std::size_t n))
// g[i] = g[i] * coef.
QV_ISA_DECLARE(void scale(double* g, std::size_t n, double coef))

// ---- dropout

// out[i] holds element i's unit float on entry and its result on exit:
// x[i] * scale when keep > the unit float, else +0.0.
QV_ISA_DECLARE(void dropout_mask(const double* __restrict x, double* __restrict out, std::size_t n, double keep,
                                 double scale))

}  // namespace qv::dl
