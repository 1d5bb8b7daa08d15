#include "ml/kmeans.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "core/error.hpp"
#include "isa/lanes.hpp"
#include "ml/lanes.hpp"
#include "ml/ml_level.hpp"
#include "parallel/pool.hpp"

namespace qv::ml {
namespace {

constexpr double kFar = std::numeric_limits<double>::max();  // the best distance before any centroid

std::uint64_t nearest(std::span<const double> point, const Matrix& cent) noexcept {
    double best = kFar;
    std::uint64_t label = 0;
    for (std::size_t c = 0; c < cent.rows(); ++c) {
        const double dist = squared_distance(point, cent.row(c));
        if (dist < best) best = dist, label = c;
    }
    return label;
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
    const auto nearest_in_block = QV_ISA_PICK(nearest_in_block);
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

    const auto add_points = QV_ISA_PICK(add_points);
    std::vector<double> sums(k * d);
    std::vector<std::int64_t> counts(k);
    for (std::uint64_t iter = 0;;) {
        if (n < par::kParallelThreshold)
            assign(0, pieces);
        else
            par::for_ranges_always(pieces, assign);

        std::fill(sums.begin(), sums.end(), 0.0);
        std::fill(counts.begin(), counts.end(), 0);
        add_points(data.values.data(), data.starts.data(), labels.data(), n, d, sums.data(), counts.data());

        // Means; an empty cluster goes back to the row it started from.
        Matrix moved;
        for (std::size_t c = 0; c < k; ++c) {
            const double* sum = sums.data() + c * d;
            if (counts[c] >= 1) {
                const double count = static_cast<double>(counts[c]);
                for (std::size_t j = 0; j < d; ++j) moved.values.push_back(isa::canonical_nan(sum[j] / count));
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
