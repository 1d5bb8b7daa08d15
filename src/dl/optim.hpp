// The training-loop helpers: optimizer steps that update the caller's
// parameter and state vectors in place, global-norm gradient clipping, and
// inverted dropout. Every vector must be contiguous; all checks come before
// any element is written.
#pragma once
#include <cstdint>
#include <optional>

#include "core/views.hpp"
#include "dl/activations.hpp"

namespace qv::dl {

using F64MutView = Vec1<double>;

void sgd_momentum_step(const F64MutView& params, const F64View& grads, const F64MutView& velocity, double lr,
                       double momentum);
void adam_step(const F64MutView& params, const F64View& grads, const F64MutView& m, const F64MutView& v, double lr,
               double beta1, double beta2, double eps, std::int32_t t);
// b^t by square-and-multiply over the bits of |t|; 1 / b^|t| for t < 0.
double integer_power(double b, std::int32_t t);
// Returns the norm before clipping.
double clip_grad_norm(const F64MutView& grads, double max_norm);
// Inverted dropout (dropout.cpp): each element kept with probability 1 - p
// and scaled by 1 / (1 - p); seeded masks are reproducible.
NewArray dropout(const F64View& x, double p, std::optional<std::uint64_t> seed);

}  // namespace qv::dl
