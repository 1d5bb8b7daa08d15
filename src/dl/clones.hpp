// Hot loops are built for three x86-64 levels and the best one is picked when
// the module loads. The build never fuses multiply-add, so every level gives
// the same bits.
#pragma once
#include <cstddef>
#include <cstdint>

#include "isa/level.hpp"

#define QV_CLONES __attribute__((target_clones("default", "arch=x86-64-v3", "arch=x86-64-v4")))

namespace qv {

// Vectors of W doubles and of W 64-bit integers (comparison masks). Write a
// lane-wide constant as scalar op vector (x * v, V{} + x, -V{} for -0.0):
// GCC builds it with one broadcast in each level's build, where a lane-by-
// lane construction can become one masked load per lane.
template <std::size_t W>
struct Vec {
    typedef double f64 __attribute__((vector_size(8 * W)));
    typedef std::int64_t i64 __attribute__((vector_size(8 * W)));
};

// The width in doubles of the widest vectors this processor has (8, 4 or 2),
// by the test that picks QV_CLONES builds.
inline std::size_t widest_vector() noexcept {
    static const std::size_t w = [] {
        switch (isa::cpu_level()) {
            case isa::Level::avx512: return std::size_t{8};
            case isa::Level::avx2: return std::size_t{4};
            default: return std::size_t{2};
        }
    }();
    return w;
}

template <class Kernel>
[[gnu::always_inline]] inline auto at_widest(Kernel&& kernel) {
    switch (widest_vector()) {
        case 8: return kernel.template operator()<8>();
        case 4: return kernel.template operator()<4>();
        default: return kernel.template operator()<2>();
    }
}

}  // namespace qv

// A loop over explicit vectors is written once, as an always-inline template
// kernel<W> over Vec<W>, and called from a QV_CLONES function as
// QV_WIDEST(kernel<W>(args)): each level's build then runs it at that level's
// register width, 8 doubles on x86-64-v4, 4 on v3, 2 on the baseline. (GCC
// keeps a vector wider than the registers in memory: 8-wide vectors on an
// AVX2 processor run several times slower than 4-wide ones.) Each build also
// holds the other two widths, which it never runs.
#define QV_WIDEST(...) ::qv::at_widest([&]<std::size_t W>() __attribute__((always_inline)) { return __VA_ARGS__; })
