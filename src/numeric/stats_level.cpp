// The statistics kernels built once per x86-64 level (see isa/per_level.hpp).
#include "isa/per_level.hpp"
#include "numeric/stats_level.hpp"

namespace qv::numeric::QV_ISA_LEVEL {

void add_scaled_row(double* __restrict r, const double* __restrict b, double v, std::size_t m) noexcept {
    for (std::size_t c = 0; c < m; ++c) r[c] = b[c] * v + r[c];
}

}  // namespace qv::numeric::QV_ISA_LEVEL
