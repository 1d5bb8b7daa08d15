// Argument kinds of NumPy arrays of a fixed dtype and rank, borrowed for the
// call (frame/borrow.hpp) and read in place.
#pragma once
#include <cstdint>
#include <vector>

#include "core/views.hpp"
#include "frame/borrow.hpp"
#include "frame/python.hpp"

namespace qv::arg {

// Borrowed arrays: the storage keeps the borrow until the call ends. The
// frame fills in the site before converting.
template <class View>
struct Borrowed {
    View view;
    ArrayBorrow borrow;
    BorrowSite site;
    // A read-only array whose elements are not 8-byte aligned is read from
    // this aligned copy of them, in row-major order (empty otherwise).
    std::vector<std::uint64_t> aligned;
    std::vector<std::int64_t> aligned_strides;
};

// Read-only float64 array of exactly 1 or 2 dimensions, or any rank (0).
template <int Rank>
struct ArrayF64;

template <>
struct ArrayF64<1> {
    using storage = Borrowed<Vec1<const double>>;
    static const Vec1<const double>& get(storage& s) noexcept { return s.view; }
    static bool convert(PyObject* o, storage& out);
};
template <>
struct ArrayF64<2> {
    using storage = Borrowed<Mat2<const double>>;
    static const Mat2<const double>& get(storage& s) noexcept { return s.view; }
    static bool convert(PyObject* o, storage& out);
};
template <>
struct ArrayF64<0> {
    using storage = Borrowed<NdView<const double>>;
    static const NdView<const double>& get(storage& s) noexcept { return s.view; }
    static bool convert(PyObject* o, storage& out);
};
using ArrayAnyF64 = ArrayF64<0>;

// Writable 1-D float64 array, borrowed exclusively.
struct ArrayMutF64 {
    using storage = Borrowed<Vec1<double>>;
    static const Vec1<double>& get(storage& s) noexcept { return s.view; }
    static bool convert(PyObject* o, storage& out);
};

// 1-D int64 array of indices, borrowed shared.
struct IndexArray {
    using storage = Borrowed<Vec1<const std::int64_t>>;
    static const Vec1<const std::int64_t>& get(storage& s) noexcept { return s.view; }
    static bool convert(PyObject* o, storage& out);
};

}  // namespace qv::arg
