#include "dl/losses.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "core/buffer.hpp"
#include "core/error.hpp"
#include "dl/dl_level.hpp"
#include "isa/lanes.hpp"
#include "parallel/pool.hpp"

namespace qv::dl {
namespace {

// The sum of the loss's terms over a and b. When both arrays have unit
// stride it is a parallel sum from the threshold on, each leaf summed in
// lanes; otherwise the sum from -0.0 in index order.
double zip_reduce_f64(const F64View& a, const F64View& b, Loss loss) {
    if (a.n == 0 || a.n != b.n) value_error("Predictions and targets must have matching non-zero lengths.");
    const auto loss_sum = QV_ISA_PICK(loss_sum);
    if (a.size() < par::kParallelThreshold || !a.unit_stride() || !b.unit_stride()) {
        // Fewer than two elements have no stride to speak of.
        const std::int64_t sa = a.unit_stride() ? 1 : a.stride, sb = b.unit_stride() ? 1 : b.stride;
        return loss_sum(loss, a.data, sa, b.data, sb, a.size());
    }
    const auto loss_leaf_sum = QV_ISA_PICK(loss_leaf_sum);
    const double* pa = a.data;
    const double* pb = b.data;
    return par::sum_lanes(
        a.size(), [&](std::size_t begin, std::size_t end) { return loss_leaf_sum(loss, pa + begin, pb + begin, end - begin); },
        [&](std::size_t i) { return loss_sum(loss, pa + i, 1, pb + i, 1, 1); });
}

}  // namespace

NewArray softmax(const F64Matrix& x) {
    if (!x.c_contiguous) value_error("input must be C-contiguous");
    const std::size_t rows = static_cast<std::size_t>(x.rows), cols = static_cast<std::size_t>(x.cols);
    auto out = Buffer<double>::uninit(rows * cols);
    double* o = out.data();
    if (cols != 0) {
        const auto softmax_rows = QV_ISA_PICK(softmax_rows);
        par::for_ranges(rows, [&](std::size_t lo, std::size_t hi) {
            softmax_rows(x.data + lo * cols, o + lo * cols, hi - lo, cols);
        });
    }
    return NewArray::matrix(std::move(out), x.rows, x.cols);
}

std::tuple<double, NewArray> softmax_cross_entropy(const F64Matrix& logits, const IndexView& targets) {
    if (!logits.c_contiguous) value_error("logits must be C-contiguous");
    if (!targets.contiguous) value_error("targets must be contiguous");
    if (targets.n != logits.rows) value_error("targets length must match logits batch size");
    const std::size_t rows = static_cast<std::size_t>(logits.rows), cols = static_cast<std::size_t>(logits.cols);
    const std::int64_t* t = targets.data;
    for (std::size_t i = 0; i < rows; ++i) {
        if (t[i] < 0 || t[i] >= logits.cols) value_error("target class index out of range for logits.shape[1]");
    }

    auto grad = Buffer<double>::uninit(rows * cols);
    auto losses = Buffer<double>::uninit(rows);
    const double batch = static_cast<double>(rows);
    // Rows are independent: each writes its gradient row and its loss.
    const auto softmax_rows = QV_ISA_PICK(softmax_rows);
    par::for_ranges(rows, [&](std::size_t lo, std::size_t hi) {
        softmax_rows(logits.data + lo * cols, grad.data() + lo * cols, hi - lo, cols);
        for (std::size_t i = lo; i < hi; ++i) {
            double* g = grad.data() + i * cols;
            const std::size_t target = static_cast<std::size_t>(t[i]);
            double q = g[target];
            g[target] = q - 1.0;
            losses[i] = -std::log(q > kProbFloor ? q : kProbFloor);
            for (std::size_t j = 0; j < cols; ++j) g[j] = isa::canonical_nan(g[j] / batch);
        }
    });
    double sum = -0.0;
    for (std::size_t i = 0; i < rows; ++i) sum = sum + losses[i];
    return {isa::canonical_nan(sum / batch), NewArray::matrix(std::move(grad), logits.rows, logits.cols)};
}

NewArray one_hot(const IndexView& indices, std::uint64_t num_classes) {
    if (!indices.contiguous) value_error("indices must be contiguous");
    const std::int64_t* idx = indices.data;
    const std::size_t n = indices.size();
    if (QV_ISA_PICK(first_out_of_range)(idx, n, num_classes) != n) value_error("class index out of range for num_classes");
    // The shape and the byte count of the result must be representable.
    constexpr std::uint64_t kMaxElements = std::numeric_limits<std::ptrdiff_t>::max() / sizeof(double);
    if (num_classes > kMaxElements || (n != 0 && num_classes > kMaxElements / n)) {
        value_error("one_hot result too large: " + std::to_string(n) + " x " + std::to_string(num_classes) +
                    " elements");
    }
    auto out = Buffer<double>::zeros(n * num_classes);
    for (std::size_t i = 0; i < n; ++i) out[i * num_classes + static_cast<std::size_t>(idx[i])] = 1.0;
    return NewArray::matrix(std::move(out), indices.n, static_cast<std::int64_t>(num_classes));
}

double mse_loss(const F64View& predictions, const F64View& targets) {
    double s = zip_reduce_f64(predictions, targets, Loss::mse);
    return isa::canonical_nan(s / static_cast<double>(predictions.n));
}

double mae_loss(const F64View& predictions, const F64View& targets) {
    double s = zip_reduce_f64(predictions, targets, Loss::mae);
    return isa::canonical_nan(s / static_cast<double>(predictions.n));
}

double bce_loss(const F64View& predictions, const F64View& targets) {
    double s = zip_reduce_f64(predictions, targets, Loss::bce);
    return isa::canonical_nan((-s) / static_cast<double>(predictions.n));
}

double categorical_cross_entropy(const F64View& predictions, const F64View& targets) {
    double s = zip_reduce_f64(predictions, targets, Loss::categorical_cross_entropy);
    return isa::canonical_nan(s / static_cast<double>(predictions.n));
}

}  // namespace qv::dl
