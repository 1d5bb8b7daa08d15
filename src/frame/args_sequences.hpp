// Argument kinds of sequences (lists, tuples, ranges, 1-D arrays), copied
// into native storage.
#pragma once
#include <cstdint>
#include <vector>

#include "core/items.hpp"
#include "frame/args_scalars.hpp"

namespace qv::arg {

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

namespace detail {

// False with TypeError set unless o is a sequence other than a str.
bool is_sequence_arg(PyObject* o);
// The floats of a sequence appended to out.
bool append_floats(PyObject* o, std::vector<double>& out);

}  // namespace detail

}  // namespace qv::arg
