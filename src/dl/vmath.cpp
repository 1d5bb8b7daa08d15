#include "dl/vmath.hpp"

#include <cmath>

namespace qv::dl::vm {
namespace {

// The table is computed in extended precision when the module loads: the
// 64-bit mantissa of long double leaves 11 correct bits in every tail.
ExpTable make_exp_table() {
    ExpTable t{};
    for (int j = 0; j < 128; ++j) {
        const long double exact = std::exp2l(static_cast<long double>(j) / 128.0L);
        const double scale = static_cast<double>(exact);
        t.scale_bits[j] = bits_of(scale);
        t.tail[j] = static_cast<double>((exact - scale) / scale);
    }
    return t;
}

}  // namespace

const ExpTable exp_table = make_exp_table();

bool libm_tanh_fused() {
    static const bool fused = [] {
        // The two builds of the C library's tanh are three units apart here.
        // (volatile: the compiler must not fold the call with its own tanh.)
        volatile double probe = -0x1.054fe345489cp-1;
        const double x = probe;
        return std::tanh(x) == tanh<true>(x);
    }();
    return fused;
}

}  // namespace qv::dl::vm
