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

}  // namespace qv::dl::vm
