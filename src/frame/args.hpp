// Argument kinds. Each kind converts one Python object into the native value
// a routine receives:
//   static bool convert(PyObject*, storage&)   false with a Python exception set
//   static value get(storage&)                 what the routine is passed
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/items.hpp"
#include "core/views.hpp"
#include "frame/borrow.hpp"
#include "frame/numpy.hpp"
#include "frame/python.hpp"

namespace qv::arg {

// A kind whose storage is the value itself.
template <class T>
struct Plain {
    using storage = T;
    static T& get(T& s) noexcept { return s; }
};

struct Int64 : Plain<std::int64_t> {
    static bool convert(PyObject* o, std::int64_t& out) {
        if (PyLong_CheckExact(o)) {
            // Reads multi-digit ints directly; out of range falls through
            // to the conversion below, which raises the interpreter's error.
            int overflow;
            long long v = PyLong_AsLongLongAndOverflow(o, &overflow);
            if (!overflow) {
                out = v;
                return true;
            }
        }
        long long v = PyLong_AsLongLong(o);
        if (v == -1 && PyErr_Occurred()) return false;
        out = v;
        return true;
    }
};

struct UInt64 : Plain<std::uint64_t> {
    static bool convert(PyObject* o, std::uint64_t& out);
};
struct Size : UInt64 {};

struct Int32 : Plain<std::int32_t> {
    static bool convert(PyObject* o, std::int32_t& out);
};

struct Float : Plain<double> {
    static bool convert(PyObject* o, double& out) {
        double v = PyFloat_AsDouble(o);
        if (v == -1.0 && PyErr_Occurred()) return false;
        out = v;
        return true;
    }
};

struct Flag : Plain<bool> {
    static bool convert(PyObject* o, bool& out);
};

struct Seed : Plain<std::optional<std::uint64_t>> {
    static bool convert(PyObject* o, std::optional<std::uint64_t>& out);
};

// UTF-8 bytes of a str; the caller's argument keeps them alive.
struct Str : Plain<std::string_view> {
    static bool convert(PyObject* o, std::string_view& out);
};

struct Int64List : Plain<std::vector<std::int64_t>> {
    static bool convert(PyObject* o, std::vector<std::int64_t>& out);
};
// A list whose elements stay with their values (core/items.hpp). Each
// exact int (or float) of a list or tuple travels as its own object, with a
// reference the storage holds until a result takes it over; other elements
// (bools, NumPy scalars, objects with __index__ or __float__, ints in a float
// list) carry none, and a result makes new objects for them. A NumPy array
// has no element objects: its values come alone.
template <class V>
struct ItemList {
    std::vector<Item<V>> items;
    std::vector<V> values;  // when from_array
    bool from_array = false;
    ItemList() = default;
    ItemList(const ItemList&) = delete;
    ItemList& operator=(const ItemList&) = delete;
    ~ItemList();  // releases the references still held
};
struct Int64Items {
    using storage = ItemList<std::int64_t>;
    static storage& get(storage& s) noexcept { return s; }
    static bool convert(PyObject* o, storage& out);
};
struct Float64Items {
    using storage = ItemList<double>;
    static storage& get(storage& s) noexcept { return s; }
    static bool convert(PyObject* o, storage& out);
};
struct Float64List : Plain<std::vector<double>> {
    static bool convert(PyObject* o, std::vector<double>& out);
};
struct SizeList : Plain<std::vector<std::uint64_t>> {
    static bool convert(PyObject* o, std::vector<std::uint64_t>& out);
};
struct Float64Matrix : Plain<Matrix> {
    static bool convert(PyObject* o, Matrix& out);
};

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

// Default values of optional parameters.
struct NoneDefault {};

template <class Kind, class D>
typename Kind::storage from_default(D d) {
    if constexpr (std::is_same_v<D, NoneDefault>)
        return typename Kind::storage{};
    else
        return static_cast<typename Kind::storage>(d);
}

}  // namespace qv::arg
