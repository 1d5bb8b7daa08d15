// Entry points of the deep-learning subsystem, in registration order.
#pragma once
#include "frame/python.hpp"

namespace qv::dl::bind {
extern PyMethodDef relu, relu_derivative, leaky_relu, leaky_relu_derivative, elu, elu_derivative, gelu, silu,
    silu_derivative, sigmoid, sigmoid_derivative, tanh, tanh_derivative;
extern PyMethodDef softmax, softmax_cross_entropy, one_hot, mse_loss, categorical_cross_entropy, mae_loss, bce_loss;
extern PyMethodDef sgd_momentum_step, adam_step, clip_grad_norm, dropout;
}  // namespace qv::dl::bind
