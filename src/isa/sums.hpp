// Sums shared by the kernels of several subsystems, for ordinary and
// per-level sources alike (always inlined: no copy for the linker to merge).
#pragma once
#include <cstddef>

namespace qv::isa {

// x[0] * x[0] + ... + x[n - 1] * x[n - 1], added in index order from -0.0.
[[gnu::always_inline]] inline double sum_of_squares(const double* x, std::size_t n) noexcept {
    double s = -0.0;
    for (std::size_t k = 0; k < n; ++k) s = s + x[k] * x[k];
    return s;
}

}  // namespace qv::isa
