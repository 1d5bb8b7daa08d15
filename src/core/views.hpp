// Native views of borrowed NumPy arrays and the native forms of arguments and
// results that routines see. Plain C++: no Python here.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "core/buffer.hpp"

namespace qv {

// A 1-D array read through its element stride (may be negative or zero).
template <class T>
struct Vec1 {
    T* data = nullptr;
    std::int64_t n = 0;
    std::int64_t stride = 1;     // in elements
    bool contiguous = false;     // NumPy's contiguity flag

    T& operator[](std::int64_t i) const noexcept { return data[i * stride]; }
    // Elements adjacent in increasing order (or fewer than two of them).
    bool unit_stride() const noexcept { return n < 2 || stride == 1; }
    std::size_t size() const noexcept { return static_cast<std::size_t>(n); }
};

// A 2-D array.
template <class T>
struct Mat2 {
    T* data = nullptr;
    std::int64_t rows = 0, cols = 0;
    std::int64_t row_stride = 0, col_stride = 1;  // in elements
    bool c_contiguous = false;
};

// An array of any rank.
template <class T>
struct NdView {
    T* data = nullptr;
    std::vector<std::int64_t> shape, strides;  // strides in elements
    bool c_contiguous = false, f_contiguous = false;

    std::int64_t count() const noexcept {
        std::int64_t c = 1;
        for (auto d : shape) c *= d;
        return c;
    }
};

// Rows of floats, each keeping its own length (a list of lists).
struct Matrix {
    std::vector<double> values;
    std::vector<std::size_t> starts{0};  // rows() + 1 offsets into values

    std::size_t rows() const noexcept { return starts.size() - 1; }
    std::span<const double> row(std::size_t i) const noexcept {
        return {values.data() + starts[i], starts[i + 1] - starts[i]};
    }
    std::span<double> row(std::size_t i) noexcept {
        return {values.data() + starts[i], starts[i + 1] - starts[i]};
    }
    void end_row() { starts.push_back(values.size()); }
};

// A fresh C-contiguous float64 array result: NumPy takes over the buffer.
struct NewArray {
    Buffer<double> buffer;
    int ndim = 1;
    std::array<std::int64_t, 4> dims{};

    static NewArray vector(Buffer<double> b, std::int64_t n) {
        NewArray a{std::move(b), 1, {}};
        a.dims[0] = n;
        return a;
    }
    static NewArray matrix(Buffer<double> b, std::int64_t rows, std::int64_t cols) {
        NewArray a{std::move(b), 2, {}};
        a.dims[0] = rows;
        a.dims[1] = cols;
        return a;
    }
};

struct None {};  // a routine result that becomes Python's None

}  // namespace qv
