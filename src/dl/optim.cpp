#include "dl/optim.hpp"

#include <cmath>
#include <cstddef>

#include "core/error.hpp"
#include "dl/dl_level.hpp"
#include "isa/lanes.hpp"
#include "isa/sums.hpp"
#include "parallel/pool.hpp"

namespace qv::dl {
namespace {

void require_contiguous(const auto& a, const char* message) {
    if (!a.contiguous) value_error(message);
}

}  // namespace

void sgd_momentum_step(const F64MutView& params, const F64View& grads, const F64MutView& velocity, double lr,
                       double momentum) {
    require_contiguous(grads, "grads must be contiguous");
    require_contiguous(params, "params must be contiguous");
    require_contiguous(velocity, "velocity must be contiguous");
    if (params.n != grads.n || params.n != velocity.n) {
        value_error("params, grads, and velocity must be the same length");
    }
    const auto kernel = QV_ISA_PICK(sgd_momentum_step);
    par::for_ranges(params.size(), [&](std::size_t lo, std::size_t hi) {
        kernel(params.data + lo, grads.data + lo, velocity.data + lo, hi - lo, lr, momentum);
    });
}

double integer_power(double b, std::int32_t t) {
    std::uint32_t e = t < 0 ? 0u - static_cast<std::uint32_t>(t) : static_cast<std::uint32_t>(t);
    double r = (e & 1u) ? b : 1.0;
    for (e >>= 1; e != 0; e >>= 1) {
        b = b * b;
        if (e & 1u) r = r * b;
    }
    return t < 0 ? 1.0 / r : r;
}

void adam_step(const F64MutView& params, const F64View& grads, const F64MutView& m, const F64MutView& v, double lr,
               double beta1, double beta2, double eps, std::int32_t t) {
    require_contiguous(grads, "grads must be contiguous");
    require_contiguous(params, "params must be contiguous");
    require_contiguous(m, "m must be contiguous");
    require_contiguous(v, "v must be contiguous");
    if (params.n != grads.n || params.n != m.n || params.n != v.n) {
        value_error("params, grads, m, and v must be the same length");
    }
    const AdamCoefficients c{lr,          beta1, beta2, 1.0 - beta1, 1.0 - beta2, eps, 1.0 - integer_power(beta1, t),
                             1.0 - integer_power(beta2, t)};
    const auto kernel = QV_ISA_PICK(adam_step);
    par::for_ranges(params.size(), [&](std::size_t lo, std::size_t hi) {
        kernel(params.data + lo, grads.data + lo, m.data + lo, v.data + lo, hi - lo, c);
    });
}

double clip_grad_norm(const F64MutView& grads, double max_norm) {
    require_contiguous(grads, "grads must be contiguous");
    const std::size_t n = grads.size();
    const double* g = grads.data;
    const auto squares_leaf_sum = QV_ISA_PICK(squares_leaf_sum);
    const double sumsq =
        n < par::kParallelThreshold
            ? isa::sum_of_squares(g, n)
            : par::sum_lanes(
                  n, [&](std::size_t b, std::size_t e) { return squares_leaf_sum(g + b, e - b); },
                  [g](std::size_t i) { return g[i] * g[i]; });
    const double norm = std::sqrt(sumsq);
    if (sumsq > 0.0 && norm > max_norm) {
        const double coef = max_norm / norm;
        const auto scale = QV_ISA_PICK(scale);
        par::for_ranges(n, [&](std::size_t lo, std::size_t hi) { scale(grads.data + lo, hi - lo, coef); });
    }
    return isa::canonical_nan(norm);
}

}  // namespace qv::dl
