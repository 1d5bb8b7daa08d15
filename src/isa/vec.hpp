// Vectors of W doubles and of W 64-bit integers (comparison masks), for the
// kernels built per level (W is the level's kWidth there). Write a lane-wide
// constant as scalar op vector (x * v, V{} + x, -V{} for -0.0): GCC builds
// it with one broadcast, where a lane-by-lane construction can become one
// masked load per lane.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qv::isa {

template <std::size_t W>
struct Vec {
    typedef double f64 __attribute__((vector_size(8 * W)));
    typedef std::int64_t i64 __attribute__((vector_size(8 * W)));
    typedef std::uint64_t u64 __attribute__((vector_size(8 * W)));
};

}  // namespace qv::isa
