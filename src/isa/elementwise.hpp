// The elementwise map loops of the kernels built per level, which the
// compiler vectorises where f makes no library call: the Tensor's methods
// and the activations.
#pragma once
#include <cstddef>

#include "isa/per_level.hpp"

namespace qv::isa {
inline namespace QV_ISA_INLINE {

// out[i] = f(x[i * step]) for i < n; a unit step is the vector loop.
template <class F>
[[gnu::always_inline]] inline void map(const double* x, std::ptrdiff_t step, double* out, std::size_t n, F f) {
    if (step == 1) {
        for (std::size_t i = 0; i < n; ++i) out[i] = f(x[i]);
    } else {
        for (std::size_t i = 0; i < n; ++i) out[i] = f(x[static_cast<std::ptrdiff_t>(i) * step]);
    }
}

// out[i] = f(a[i], b[i]) for i < n; out overlaps neither input.
template <class F>
[[gnu::always_inline]] inline void map(const double* a, const double* b, double* __restrict out, std::size_t n, F f) {
    for (std::size_t i = 0; i < n; ++i) out[i] = f(a[i], b[i]);
}

}  // namespace QV_ISA_INLINE
}  // namespace qv::isa
