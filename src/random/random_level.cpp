// The random-number kernels built once per x86-64 level (see
// isa/per_level.hpp).
#include "isa/per_level.hpp"
#include "random/random_level.hpp"

#include <cstring>

namespace qv::rnd::QV_ISA_LEVEL {
namespace {

[[gnu::always_inline]] inline double bits_to_double(std::uint64_t bits) {
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

}  // namespace

// Vectorised: for m = w >> 11 < 2^53, the high and low 32 bits of m are
// placed in the mantissas of 2^84 and 2^52 and the two offsets subtracted;
// their sum is m exactly.
void unit_floats_from(const std::uint32_t* words, double* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        std::uint64_t w;
        std::memcpy(&w, words + 2 * i, sizeof w);
        const std::uint64_t m = w >> 11;
        const double high = bits_to_double(0x4530000000000000ULL | (m >> 32)) - 0x1.0p84;
        const double low = bits_to_double(0x4330000000000000ULL | (m & 0xffffffffULL)) - 0x1.0p52;
        out[i] = (high + low) * 0x1.0p-53;
    }
}

}  // namespace qv::rnd::QV_ISA_LEVEL
