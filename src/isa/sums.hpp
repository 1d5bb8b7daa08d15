// Sums shared by the kernels of several subsystems, for ordinary and
// per-level sources alike (always inlined: no copy for the linker to merge).
#pragma once
#include <cstddef>

namespace qv::isa {

// The lane-grouped sums of the pool's leaves (par::sum_lanes) add the terms
// in kSumLanes interleaved lanes: lane l takes the leaf's terms l,
// l + kSumLanes, l + 2 kSumLanes, ... in index order, from -0.0. The lanes
// are then combined by halving: lane l + lane l + 16 for l < 16, then
// l + l + 8, l + 4, l + 2, l + 1. The grouping is fixed by n alone, whatever
// the vector width a kernel runs at, and adjacent terms go to adjacent
// lanes, so that a leaf is summed with plain vector loads and additions.
inline constexpr std::size_t kSumLanes = 32;

// Lane sums acc[0 .. kSumLanes) combined in the fixed order (acc is spent).
[[gnu::always_inline]] inline double combine_lanes(double* acc) noexcept {
    for (std::size_t half = kSumLanes / 2; half >= 1; half /= 2)
        for (std::size_t l = 0; l < half; ++l) acc[l] = acc[l] + acc[l + half];
    return acc[0];
}

// x[0] * x[0] + ... + x[n - 1] * x[n - 1], added in index order from -0.0.
[[gnu::always_inline]] inline double sum_of_squares(const double* x, std::size_t n) noexcept {
    double s = -0.0;
    for (std::size_t k = 0; k < n; ++k) s = s + x[k] * x[k];
    return s;
}

}  // namespace qv::isa
