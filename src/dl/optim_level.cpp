// The optimizer steps and the clipping for one x86-64 level (see
// isa/per_level.hpp).
#include "isa/per_level.hpp"

#include <cmath>

#include "dl/dl_level.hpp"
#include "dl/lane_sum.hpp"
#include "isa/lanes.hpp"

namespace qv::dl::QV_ISA_LEVEL {

void sgd_momentum_step(double* __restrict params, const double* __restrict grads, double* __restrict velocity,
                       std::size_t n, double lr, double momentum) {
    for (std::size_t i = 0; i < n; ++i) {
        double vel = (momentum * velocity[i]) + grads[i];
        velocity[i] = isa::canonical_nan(vel);
        params[i] = isa::canonical_nan(params[i] - (vel * lr));
    }
}

void adam_step(double* __restrict params, const double* __restrict grads, double* __restrict m, double* __restrict v,
               std::size_t n, const AdamCoefficients& coefficients) {
    const AdamCoefficients c = coefficients;
    for (std::size_t i = 0; i < n; ++i) {
        const double g = grads[i];
        const double mi = (c.one_minus_beta1 * g) + (m[i] * c.beta1);
        const double vi = ((c.one_minus_beta2 * g) * g) + (v[i] * c.beta2);
        m[i] = isa::canonical_nan(mi);
        v[i] = isa::canonical_nan(vi);
        const double mhat = mi / c.bc1;
        const double vhat = vi / c.bc2;
        params[i] = isa::canonical_nan(params[i] - ((mhat * c.lr) / (std::sqrt(vhat) + c.eps)));
    }
}

double squares_leaf_sum(const double* g, std::size_t n) {
    return lanes::leaf_sum<isa::kWidth, lanes::Term::square>(g, g, n);
}

void scale(double* g, std::size_t n, double coef) {
    for (std::size_t i = 0; i < n; ++i) g[i] = isa::canonical_nan(g[i] * coef);
}

}  // namespace qv::dl::QV_ISA_LEVEL
