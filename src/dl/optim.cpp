#include "dl/optim.hpp"

#include <cmath>
#include <cstddef>

#include "core/error.hpp"
#include "dl/clones.hpp"
#include "dl/lane_sum.hpp"
#include "parallel/pool.hpp"

namespace qv::dl {
namespace {

// The arrays of one call never overlap: the array borrow rule refuses a
// writable array that shares memory with any other argument.

QV_CLONES void sgd_unit(double* __restrict params, const double* __restrict grads, double* __restrict velocity,
                        std::size_t n, double lr, double momentum) {
    for (std::size_t i = 0; i < n; ++i) {
        double vel = (momentum * velocity[i]) + grads[i];
        velocity[i] = vel;
        params[i] = params[i] - (vel * lr);
    }
}

struct AdamCoefficients {
    double lr, beta1, beta2, one_minus_beta1, one_minus_beta2, eps, bc1, bc2;
};

QV_CLONES void adam_unit(double* __restrict params, const double* __restrict grads, double* __restrict m,
                         double* __restrict v, std::size_t n, const AdamCoefficients c) {
    for (std::size_t i = 0; i < n; ++i) {
        const double g = grads[i];
        const double mi = (c.one_minus_beta1 * g) + (m[i] * c.beta1);
        const double vi = ((c.one_minus_beta2 * g) * g) + (v[i] * c.beta2);
        m[i] = mi;
        v[i] = vi;
        const double mhat = mi / c.bc1;
        const double vhat = vi / c.bc2;
        params[i] = params[i] - ((mhat * c.lr) / (std::sqrt(vhat) + c.eps));
    }
}

QV_CLONES double sum_of_squares(const double* g, std::size_t n) {
    double acc = -0.0;
    for (std::size_t i = 0; i < n; ++i) acc = (g[i] * g[i]) + acc;
    return acc;
}

// The lane-grouped sum of g[i] * g[i] over i < m (see par::sum_lanes).
QV_CLONES double squares_leaf_sum(const double* g, std::size_t m) {
    return QV_WIDEST(lanes::leaf_sum<W, lanes::Term::square>(g, g, m));
}

QV_CLONES void scale_unit(double* g, std::size_t n, double coef) {
    for (std::size_t i = 0; i < n; ++i) g[i] = g[i] * coef;
}

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
    par::for_ranges(params.size(), [&](std::size_t lo, std::size_t hi) {
        sgd_unit(params.data + lo, grads.data + lo, velocity.data + lo, hi - lo, lr, momentum);
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
    par::for_ranges(params.size(), [&](std::size_t lo, std::size_t hi) {
        adam_unit(params.data + lo, grads.data + lo, m.data + lo, v.data + lo, hi - lo, c);
    });
}

double clip_grad_norm(const F64MutView& grads, double max_norm) {
    require_contiguous(grads, "grads must be contiguous");
    const std::size_t n = grads.size();
    const double* g = grads.data;
    const double sumsq =
        n < par::kParallelThreshold
            ? sum_of_squares(g, n)
            : par::sum_lanes(
                  n, [g](std::size_t b, std::size_t e) { return squares_leaf_sum(g + b, e - b); },
                  [g](std::size_t i) { return g[i] * g[i]; });
    const double norm = std::sqrt(sumsq);
    if (sumsq > 0.0 && norm > max_norm) {
        const double coef = max_norm / norm;
        par::for_ranges(n, [&](std::size_t lo, std::size_t hi) { scale_unit(grads.data + lo, hi - lo, coef); });
    }
    return norm;
}

}  // namespace qv::dl
