#include "core/row_major.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace qv {
namespace {

constexpr std::int64_t kElem = 8;

// rows x cols elements, rs and cs bytes apart, into dst row after row.
void copy_plane(const char* src, std::int64_t rows, std::int64_t cols, std::int64_t rs, std::int64_t cs, char* dst) {
    auto at = [&](std::int64_t r, std::int64_t c) { return src + r * rs + c * cs; };
    if (rows == 1 || std::abs(cs) <= std::abs(rs)) {
        // Along each source row: contiguous rows at once, others element by element.
        for (std::int64_t r = 0; r < rows; ++r) {
            char* d = dst + r * cols * kElem;
            if (cs == kElem) {
                std::memcpy(d, at(r, 0), static_cast<std::size_t>(cols * kElem));
                continue;
            }
            for (std::int64_t c = 0; c < cols; ++c) std::memcpy(d + c * kElem, at(r, c), kElem);
        }
        return;
    }
    // Columns lie closer together than rows (a transposed or Fortran-order
    // array): tile by tile, so that reads and writes both stay in cache;
    // within a tile, writes in order (faster than reads in order).
    constexpr std::int64_t kTile = 32;
    for (std::int64_t r0 = 0; r0 < rows; r0 += kTile) {
        const std::int64_t r1 = std::min(rows, r0 + kTile);
        for (std::int64_t c0 = 0; c0 < cols; c0 += kTile) {
            const std::int64_t c1 = std::min(cols, c0 + kTile);
            for (std::int64_t r = r0; r < r1; ++r)
                for (std::int64_t c = c0; c < c1; ++c) std::memcpy(dst + (r * cols + c) * kElem, at(r, c), kElem);
        }
    }
}

}  // namespace

void copy_row_major(const char* data, std::span<const std::int64_t> dims, std::span<const std::int64_t> strides,
                    void* dst) {
    const std::size_t rank = dims.size();
    std::int64_t count = 1;
    bool row_major = true;
    for (std::size_t k = rank; k-- > 0;) {
        if (dims[k] != 1 && strides[k] != count * kElem) row_major = false;
        count *= dims[k];
    }
    if (count == 0) return;
    auto* out = static_cast<char*>(dst);
    if (row_major) {
        std::memcpy(out, data, static_cast<std::size_t>(count * kElem));
        return;
    }
    // The last two dimensions make a plane (a vector is one row); an odometer
    // walks the dimensions before them, one plane a step.
    const std::int64_t cols = dims[rank - 1], cs = strides[rank - 1];
    const std::int64_t rows = rank >= 2 ? dims[rank - 2] : 1, rs = rank >= 2 ? strides[rank - 2] : 0;
    const std::size_t outer = rank >= 2 ? rank - 2 : 0;
    std::vector<std::int64_t> index(outer, 0);
    for (;;) {
        copy_plane(data, rows, cols, rs, cs, out);
        out += rows * cols * kElem;
        std::size_t k = outer;
        for (; k > 0; --k) {
            data += strides[k - 1];
            if (++index[k - 1] < dims[k - 1]) break;
            data -= strides[k - 1] * dims[k - 1];
            index[k - 1] = 0;
        }
        if (k == 0) return;
    }
}

void copy_row_major(const NdView<const double>& a, double* dst) {
    std::vector<std::int64_t> strides(a.strides.size());
    for (std::size_t k = 0; k < strides.size(); ++k) strides[k] = a.strides[k] * kElem;
    copy_row_major(reinterpret_cast<const char*>(a.data), a.shape, strides, dst);
}

}  // namespace qv
