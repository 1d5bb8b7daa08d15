// Elementwise activations and their derivatives over 1-D float64 arrays.
// Every routine reads x through its strides (any stride, reversed views
// included) and returns a new array with element i = formula(x[i]).
#pragma once
#include "core/views.hpp"

namespace qv::dl {

using F64View = Vec1<const double>;

NewArray relu(const F64View& x);
NewArray relu_derivative(const F64View& x);
NewArray leaky_relu(const F64View& x, double alpha);
NewArray leaky_relu_derivative(const F64View& x, double alpha);
NewArray elu(const F64View& x, double alpha);
NewArray elu_derivative(const F64View& x, double alpha);
NewArray gelu(const F64View& x);
NewArray silu(const F64View& x);
NewArray silu_derivative(const F64View& x);
NewArray sigmoid(const F64View& x);
NewArray sigmoid_derivative(const F64View& x);
NewArray tanh(const F64View& x);
NewArray tanh_derivative(const F64View& x);

}  // namespace qv::dl
