// Whole-array formulas: row-wise softmax over a (batch, classes) matrix, the
// fused softmax cross-entropy with its gradient, one-hot encoding, and the
// four losses over pairs of 1-D arrays.
#pragma once
#include <cstdint>
#include <tuple>

#include "core/views.hpp"
#include "dl/activations.hpp"

namespace qv::dl {

using F64Matrix = Mat2<const double>;
using IndexView = Vec1<const std::int64_t>;

// x must be C-contiguous.
NewArray softmax(const F64Matrix& x);
// (mean loss, gradient w.r.t. the logits); logits C-contiguous, targets
// contiguous class indices, one per row.
std::tuple<double, NewArray> softmax_cross_entropy(const F64Matrix& logits, const IndexView& targets);
NewArray one_hot(const IndexView& indices, std::uint64_t num_classes);

// Pair losses: any strides; both arrays of one non-zero length.
double mse_loss(const F64View& predictions, const F64View& targets);
double mae_loss(const F64View& predictions, const F64View& targets);
double bce_loss(const F64View& predictions, const F64View& targets);
double categorical_cross_entropy(const F64View& predictions, const F64View& targets);

}  // namespace qv::dl
