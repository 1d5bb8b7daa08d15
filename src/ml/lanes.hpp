// Rows of one length laid out side by side, so that a loop over the rows of
// a block runs in vector lanes while each row's sum keeps its index order.
// Plain C++.
#pragma once
#include <algorithm>
#include <cstddef>
#include <vector>

#include "core/buffer.hpp"
#include "core/views.hpp"

namespace qv::ml {

inline constexpr std::size_t kLanes = 32;  // rows to a block

// The rows of a matrix whose rows all have the length of its first, kLanes
// to a block and, within a block, component by component: block(b)[k *
// kLanes + l] is component k of row b * kLanes + l. Lanes past the last row
// hold zeros.
struct Lanes {
    std::size_t rows = 0, len = 0, blocks = 0;
    Buffer<double> v;

    explicit Lanes(const Matrix& m)
        : rows(m.rows()), len(rows ? m.row(0).size() : 0), blocks((rows + kLanes - 1) / kLanes),
          v(Buffer<double>::zeros(blocks * len * kLanes)) {
        for (std::size_t j = 0; j < rows; ++j) {
            const double* row = m.row(j).data();
            double* lane = v.data() + (j / kLanes) * len * kLanes + j % kLanes;
            for (std::size_t k = 0; k < len; ++k) lane[k * kLanes] = row[k];
        }
    }
    const double* block(std::size_t b) const noexcept { return v.data() + b * len * kLanes; }
    // Rows in block b.
    std::size_t width(std::size_t b) const noexcept { return std::min(kLanes, rows - b * kLanes); }
};

// Room for n elements in values, a large allocation faulted in by huge pages
// where the system allows.
inline void reserve_values(std::vector<double>& values, std::size_t n) {
    values.reserve(n);
    prefer_huge_pages(values.data(), n * sizeof(double));
}
inline void resize_values(std::vector<double>& values, std::size_t n) {
    reserve_values(values, n);
    values.resize(n);
}

// Whether every row has the length of the first.
inline bool same_lengths(const Matrix& m) {
    const std::size_t len = m.rows() ? m.row(0).size() : 0;
    for (std::size_t j = 1; j < m.rows(); ++j)
        if (m.row(j).size() != len) return false;
    return true;
}

}  // namespace qv::ml
