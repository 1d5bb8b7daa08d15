#include "dl/optim.hpp"

#include <cmath>
#include <cstddef>
#include <cstring>

#include "dl/clones.hpp"
#include "frame/error.hpp"
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

typedef double v4 __attribute__((vector_size(32)));
typedef long long v4i __attribute__((vector_size(32)));

// Squares of sixteen leaves of g summed side by side (see
// par::sum_side_by_side): lane l of a[k] runs leaf 4k + l's chain,
// acc = (g * g) + acc. Four consecutive squares of four leaves are loaded as
// rows and transposed, so that each addition takes the next term of all four.
QV_CLONES void squares_side_by_side(const double* g, const std::size_t* begins, std::size_t len, double* acc) {
    static_assert(par::kSumSide == 16);
    const double* p[16];
    v4 a[4];
    for (int j = 0; j < 16; ++j) p[j] = g + begins[j];
    for (int k = 0; k < 4; ++k) a[k] = v4{acc[4 * k], acc[4 * k + 1], acc[4 * k + 2], acc[4 * k + 3]};
    std::size_t i = 0;
    for (; i + 4 <= len; i += 4) {
        for (int k = 0; k < 4; ++k) {
            v4 r0, r1, r2, r3;
            std::memcpy(&r0, p[4 * k] + i, sizeof r0);
            std::memcpy(&r1, p[4 * k + 1] + i, sizeof r1);
            std::memcpy(&r2, p[4 * k + 2] + i, sizeof r2);
            std::memcpy(&r3, p[4 * k + 3] + i, sizeof r3);
            const v4 s0 = r0 * r0, s1 = r1 * r1, s2 = r2 * r2, s3 = r3 * r3;
            const v4 t0 = __builtin_shuffle(s0, s1, v4i{0, 4, 2, 6}), t1 = __builtin_shuffle(s0, s1, v4i{1, 5, 3, 7});
            const v4 t2 = __builtin_shuffle(s2, s3, v4i{0, 4, 2, 6}), t3 = __builtin_shuffle(s2, s3, v4i{1, 5, 3, 7});
            a[k] = __builtin_shuffle(t0, t2, v4i{0, 1, 4, 5}) + a[k];  // terms i
            a[k] = __builtin_shuffle(t1, t3, v4i{0, 1, 4, 5}) + a[k];  // i + 1
            a[k] = __builtin_shuffle(t0, t2, v4i{2, 3, 6, 7}) + a[k];  // i + 2
            a[k] = __builtin_shuffle(t1, t3, v4i{2, 3, 6, 7}) + a[k];  // i + 3
        }
    }
    for (; i < len; ++i) {
        for (int k = 0; k < 4; ++k) {
            const v4 r = {p[4 * k][i], p[4 * k + 1][i], p[4 * k + 2][i], p[4 * k + 3][i]};
            a[k] = (r * r) + a[k];
        }
    }
    for (int k = 0; k < 4; ++k)
        for (int l = 0; l < 4; ++l) acc[4 * k + l] = a[k][l];
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
    const double sumsq = n < par::kParallelThreshold ? sum_of_squares(g, n)
                                                     : par::sum_side_by_side(
                                                           n,
                                                           [g](const std::size_t* begins, std::size_t len, double* acc) {
                                                               squares_side_by_side(g, begins, len, acc);
                                                           },
                                                           [g](std::size_t i) { return g[i] * g[i]; });
    const double norm = std::sqrt(sumsq);
    if (sumsq > 0.0 && norm > max_norm) {
        const double coef = max_norm / norm;
        par::for_ranges(n, [&](std::size_t lo, std::size_t hi) { scale_unit(grads.data + lo, hi - lo, coef); });
    }
    return norm;
}

}  // namespace qv::dl
