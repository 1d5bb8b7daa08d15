#include "ml/kmeans.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "core/error.hpp"
#include "dl/clones.hpp"
#include "ml/lanes.hpp"
#include "parallel/pool.hpp"

namespace qv::ml {
namespace {

constexpr double kFar = std::numeric_limits<double>::max();  // the best distance before any centroid

typedef double v4 __attribute__((vector_size(32)));

// Labels of the points in one block of lanes against k centroids of len
// components each (row-major): a centroid takes a point only when strictly
// nearer than the best so far, so ties go to the lower index and a NaN
// distance never wins. Branch-free: which lanes move is data, not control.
// The lanes are taken 4 * W at a time, so that the sums stay in registers.
template <std::size_t W>
[[gnu::always_inline]] inline void nearest_in_block_at(const double* pts, std::size_t len, const double* cent,
                                                       std::size_t k, std::uint64_t* labels) noexcept {
    typedef typename Vec<W>::f64 V;
    typedef typename Vec<W>::i64 VI;
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
QV_CLONES void nearest_in_block(const double* pts, std::size_t len, const double* cent, std::size_t k,
                                std::uint64_t* labels) noexcept {
    QV_WIDEST(nearest_in_block_at<W>(pts, len, cent, k, labels));
}

std::uint64_t nearest(std::span<const double> point, const Matrix& cent) noexcept {
    double best = kFar;
    std::uint64_t label = 0;
    for (std::size_t c = 0; c < cent.rows(); ++c) {
        const double dist = squared_distance(point, cent.row(c));
        if (dist < best) best = dist, label = c;
    }
    return label;
}

// A point's first d components summed into its cluster's running sums, in
// point order. D > 0 fixes d at compile time, so that a row is added as whole
// vectors.
template <std::size_t D>
QV_CLONES void add_points(const double* values, const std::size_t* starts, const std::uint64_t* labels, std::size_t n,
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

using AddPoints = decltype(&add_points<0>);

template <std::size_t... D>
std::array<AddPoints, sizeof...(D)> add_points_by_width(std::index_sequence<D...>) {
    return {&add_points<D>...};
}

// add_points for d components: fixed up to 16, any d beyond.
AddPoints add_points_for(std::size_t d) {
    static const auto table = add_points_by_width(std::make_index_sequence<17>{});
    return d < table.size() ? table[d] : table[0];
}

void check_rows(const Matrix& data, std::size_t d) {
    for (std::size_t i = 1; i < data.rows(); ++i)
        if (data.row(i).size() < d)
            value_error("row " + std::to_string(i) + " of data has " + std::to_string(data.row(i).size()) +
                        " values, fewer than the " + std::to_string(d) + " of the first row");
}

}  // namespace

double squared_distance(std::span<const double> a, std::span<const double> b) noexcept {
    const std::size_t L = std::min(a.size(), b.size());
    double s = 0.0;
    for (std::size_t j = 0; j < L; ++j) {
        const double diff = a[j] - b[j];
        s = s + diff * diff;
    }
    return s;
}

std::tuple<Matrix, std::vector<std::uint64_t>> kmeans(const Matrix& data, std::uint64_t k, std::uint64_t max_iters,
                                                      double tolerance) {
    const std::size_t n = data.rows();
    if (k == 0 || k > n) value_error("Invalid input data size or cluster count 'k'.");
    const std::size_t d = data.row(0).size();
    check_rows(data, d);

    const std::size_t step = n / k;
    auto initial_row = [&](std::size_t c) { return data.row(c * step % n); };
    Matrix cent;
    for (std::size_t c = 0; c < k; ++c) {
        const auto row = initial_row(c);
        cent.values.insert(cent.values.end(), row.begin(), row.end());
        cent.end_row();
    }
    std::vector<std::uint64_t> labels(n, 0);
    if (max_iters == 0) return {std::move(cent), std::move(labels)};

    // Rows of one length (then every centroid has d components too) are
    // assigned a block of lanes at a time.
    const bool uniform = same_lengths(data);
    const Lanes lanes = uniform ? Lanes(data) : Lanes(Matrix{});
    auto assign = [&](std::size_t b0, std::size_t b1) {
        if (uniform) {
            std::uint64_t block[kLanes];
            for (std::size_t b = b0; b < b1; ++b) {
                nearest_in_block(lanes.block(b), d, cent.values.data(), k, block);
                std::copy_n(block, lanes.width(b), labels.data() + b * kLanes);
            }
        } else {
            for (std::size_t i = b0; i < b1; ++i) labels[i] = nearest(data.row(i), cent);
        }
    };
    const std::size_t pieces = uniform ? lanes.blocks : n;

    const AddPoints add = add_points_for(d);
    std::vector<double> sums(k * d);
    std::vector<std::int64_t> counts(k);
    for (std::uint64_t iter = 0;;) {
        if (n < par::kParallelThreshold)
            assign(0, pieces);
        else
            par::for_ranges_always(pieces, assign);

        std::fill(sums.begin(), sums.end(), 0.0);
        std::fill(counts.begin(), counts.end(), 0);
        add(data.values.data(), data.starts.data(), labels.data(), n, d, sums.data(), counts.data());

        // Means; an empty cluster goes back to the row it started from.
        Matrix moved;
        for (std::size_t c = 0; c < k; ++c) {
            const double* sum = sums.data() + c * d;
            if (counts[c] >= 1) {
                const double count = static_cast<double>(counts[c]);
                for (std::size_t j = 0; j < d; ++j) moved.values.push_back(sum[j] / count);
            } else {
                const auto row = initial_row(c);
                moved.values.insert(moved.values.end(), row.begin(), row.end());
            }
            moved.end_row();
        }

        double shift = 0.0;
        for (std::size_t c = 0; c < k; ++c) shift = shift + std::sqrt(squared_distance(cent.row(c), moved.row(c)));
        cent = std::move(moved);
        if (tolerance > shift) break;
        if (++iter >= max_iters) break;
    }
    return {std::move(cent), std::move(labels)};
}

}  // namespace qv::ml
