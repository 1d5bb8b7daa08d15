// The k-means kernels for one x86-64 level (see isa/per_level.hpp).
#include "isa/per_level.hpp"

#include <array>
#include <cstring>
#include <limits>
#include <utility>

#include "ml/ml_level.hpp"

namespace qv::ml::QV_ISA_LEVEL {
namespace {

constexpr double kFar = std::numeric_limits<double>::max();  // the best distance before any centroid

typedef double v4 __attribute__((vector_size(32)));

// A point's first d components summed into its cluster's running sums, in
// point order. D > 0 fixes d at compile time, so that a row is added as whole
// vectors.
template <std::size_t D>
void add_points_of(const double* values, const std::size_t* starts, const std::uint64_t* labels, std::size_t n,
                   std::size_t d, double* sums, std::int64_t* counts) noexcept {
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t c = labels[i];
        counts[c] += 1;
        const double* x = values + starts[i];
        if constexpr (D > 0) {
            // Four components to a vector: a 32-byte store reaches the next
            // load of the same sums sooner than a 64-byte one does.
            double* s = sums + c * D;
            std::size_t j = 0;
            for (; j + 4 <= D; j += 4) {
                v4 a, b;
                std::memcpy(&a, x + j, sizeof a);
                std::memcpy(&b, s + j, sizeof b);
                b = a + b;
                std::memcpy(s + j, &b, sizeof b);
            }
            for (; j < D; ++j) s[j] = x[j] + s[j];
        } else {
            double* s = sums + c * d;
            for (std::size_t j = 0; j < d; ++j) s[j] = x[j] + s[j];
        }
    }
}

using AddPoints = decltype(&add_points_of<0>);

template <std::size_t... D>
constexpr std::array<AddPoints, sizeof...(D)> add_points_by_width(std::index_sequence<D...>) {
    return {&add_points_of<D>...};
}

}  // namespace

// d fixed at compile time up to 16, any d beyond.
void add_points(const double* values, const std::size_t* starts, const std::uint64_t* labels, std::size_t n,
                std::size_t d, double* sums, std::int64_t* counts) noexcept {
    static constexpr auto table = add_points_by_width(std::make_index_sequence<17>{});
    (d < table.size() ? table[d] : table[0])(values, starts, labels, n, d, sums, counts);
}

// Branch-free: which lanes move is data, not control. The lanes are taken
// 4 * W at a time, so that the sums stay in registers.
void nearest_in_block(const double* pts, std::size_t len, const double* cent, std::size_t k,
                      std::uint64_t* labels) noexcept {
    constexpr std::size_t W = isa::kWidth;
    using V = isa::F64;
    using VI = isa::I64;
    constexpr std::size_t N = 4, C = N * W;  // vectors, lanes to a pass
    static_assert(kLanes % C == 0);
    for (std::size_t h = 0; h < kLanes; h += C) {
        V best[N];
        VI label[N];
#pragma GCC unroll 4
        for (std::size_t v = 0; v < N; ++v) best[v] = V{} + kFar, label[v] = VI{};
        for (std::size_t c = 0; c < k; ++c) {
            const double* ct = cent + c * len;
            V dist[N] = {};
            for (std::size_t j = 0; j < len; ++j) {
                const double x = ct[j];
#pragma GCC unroll 4
                for (std::size_t v = 0; v < N; ++v) {
                    V p;
                    std::memcpy(&p, pts + j * kLanes + h + W * v, sizeof p);
                    const V diff = p - x;
                    dist[v] = dist[v] + diff * diff;
                }
            }
            const VI index = VI{} + static_cast<std::int64_t>(c);
#pragma GCC unroll 4
            for (std::size_t v = 0; v < N; ++v) {
                const VI nearer = dist[v] < best[v];
                best[v] = nearer ? dist[v] : best[v];
                label[v] = nearer ? index : label[v];
            }
        }
        std::memcpy(labels + h, label, sizeof label);
    }
}

}  // namespace qv::ml::QV_ISA_LEVEL
