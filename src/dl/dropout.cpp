// Inverted dropout. Kept apart from the optimizer steps: it is the only
// kernel of the subsystem that draws random numbers.
#include <algorithm>
#include <cstddef>
#include <utility>

#include "core/buffer.hpp"
#include "core/error.hpp"
#include "dl/clones.hpp"
#include "dl/optim.hpp"
#include "parallel/pool.hpp"
#include "random/random.hpp"

namespace qv::dl {
namespace {

// out[i] holds element i's unit float on entry and its result on exit:
// survivors scaled, the dropped +0.0. Branch-free so that it vectorises
// (a random mask defeats branch prediction).
QV_CLONES void apply_mask(const double* __restrict x, double* __restrict out, std::size_t n, double keep,
                          double scale) {
    for (std::size_t i = 0; i < n; ++i) out[i] = keep > out[i] ? x[i] * scale : 0.0;
}

}  // namespace

NewArray dropout(const F64View& x, double p, std::optional<std::uint64_t> seed) {
    if (!(p >= 0.0 && p < 1.0)) value_error("dropout probability p must be in [0, 1)");
    if (!x.contiguous) value_error("input must be contiguous");
    const double keep = 1.0 - p;
    const double scale = 1.0 / (1.0 - p);
    auto out = Buffer<double>::uninit(x.size());
    double* o = out.data();
    // One unit float per element in index order, drawn a block at a time
    // straight into the output, then the mask over the block.
    auto piece = [&](rnd::BlockGenerator& g, std::size_t lo, std::size_t hi) {
        constexpr std::size_t kBlock = 2048;
        for (std::size_t b = lo; b < hi; b += kBlock) {
            const std::size_t e = std::min(hi, b + kBlock);
            rnd::fill_unit_floats(g, o + b, e - b);
            apply_mask(x.data + b, o + b, e - b, keep, scale);
        }
    };
    if (seed) {
        rnd::SeededGenerator g(*seed);
        piece(g, 0, x.size());
    } else {
        par::for_ranges_always(x.size(), [&](std::size_t lo, std::size_t hi) { piece(rnd::thread_generator(), lo, hi); });
    }
    return NewArray::vector(std::move(out), x.n);
}

}  // namespace qv::dl
