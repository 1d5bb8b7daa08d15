// Dropout's mask for one x86-64 level (see isa/per_level.hpp).
#include "isa/per_level.hpp"

#include "dl/dl_level.hpp"
#include "isa/lanes.hpp"

namespace qv::dl::QV_ISA_LEVEL {

// Branch-free so that it vectorises (a random mask defeats branch
// prediction).
void dropout_mask(const double* __restrict x, double* __restrict out, std::size_t n, double keep, double scale) {
    for (std::size_t i = 0; i < n; ++i) out[i] = keep > out[i] ? isa::canonical_nan(x[i] * scale) : 0.0;
}

}  // namespace qv::dl::QV_ISA_LEVEL
