#include "dl/vmath.hpp"

#include <cmath>

namespace qv::dl::vm {

extern const double exp_upper = 710.0, exp_lower = -746.0;

LibmTanh libm_tanh() {
    static const LibmTanh which = [] {
        // Inputs where the two builds of the C library's tanh are two or
        // three units apart, and where it is one unit off the nearest double
        // (a C library with another algorithm shows there). volatile: the
        // compiler must not fold the calls with its own tanh.
        static volatile const double probes[] = {-0x1.054fe345489cp-1, 0x1.f6bac9b2e8872p-2, 0x1.3a7b6c90d8c26p-3,
                                                 0x1.cb101edd0f257p-1, 0x1.0377a2f0a6fc7p+0};
        bool fused = true, unfused = true;
        for (const volatile double& probe : probes) {
            const double x = probe;
            const std::uint64_t libm = bits_of(std::tanh(x));
            fused = fused && libm == bits_of(tanh<true>(x));
            unfused = unfused && libm == bits_of(tanh<false>(x));
        }
        return fused ? LibmTanh::fused : unfused ? LibmTanh::unfused : LibmTanh::other;
    }();
    return which;
}

}  // namespace qv::dl::vm
