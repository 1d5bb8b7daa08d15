#include "frame/args_sequences.hpp"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "core/row_major.hpp"
#include "frame/failure.hpp"
#include "frame/numpy.hpp"

namespace qv::arg {

bool detail::is_sequence_arg(PyObject* o) {
    if (PyUnicode_Check(o)) {
        PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
        return false;
    }
    if (!PySequence_Check(o)) {
        raise_cannot_convert(o, "Sequence");
        return false;
    }
    return true;
}

namespace {

// Convert one element. `fast` converts exact ints and floats, which run no
// Python code, through a borrowed reference (false: use `elem`); `elem`
// converts anything else and may run Python code.
template <class T, class Fast, class Elem>
bool convert_items(PyObject* o, std::vector<T>& out, Fast fast, Elem elem) {
    if (PyList_CheckExact(o)) {
        Py_ssize_t n = PyList_Size(o);
        out.reserve(static_cast<std::size_t>(n));
        // The elements are separate objects anywhere in memory: each is
        // fetched from the list and prefetched a few steps before it is
        // read, and kept in a ring until then.
        constexpr Py_ssize_t kAhead = 8;
        PyObject* ahead[kAhead];
        auto fetch = [&](Py_ssize_t i) {
            if (i >= n) return;
            PyObject* item = PyList_GetItem(o, i);
            __builtin_prefetch(item);
            ahead[i % kAhead] = item;
        };
        for (Py_ssize_t i = 0; i < kAhead; ++i) fetch(i);
        for (Py_ssize_t i = 0; i < n; ++i) {
            PyObject* item = ahead[i % kAhead];
            fetch(i + kAhead);
            T v;
            if (!fast(item, v)) {
                Py_INCREF(item);
                bool ok = elem(item, v);
                Py_DECREF(item);
                if (!ok) return false;
                // An element's __index__ or __float__ may have changed the
                // list: go on as list iteration would, with the ring fetched
                // again.
                n = PyList_Size(o);
                for (Py_ssize_t k = i + 1; k <= i + kAhead; ++k) fetch(k);
            }
            out.push_back(v);
        }
        return true;
    }
    if (PyTuple_CheckExact(o)) {
        Py_ssize_t n = PyTuple_Size(o);
        out.reserve(static_cast<std::size_t>(n));
        for (Py_ssize_t i = 0; i < n; ++i) {
            PyObject* item = PyTuple_GetItem(o, i);  // the tuple keeps it alive
            T v;
            if (!fast(item, v) && !elem(item, v)) return false;
            out.push_back(v);
        }
        return true;
    }
    Py_ssize_t hint = PySequence_Size(o);
    if (hint < 0) {
        PyErr_Clear();
        hint = 0;
    }
    // __len__ may claim more than the sequence holds: reserve no more than
    // a plausible length, and grow past it as the items come.
    constexpr Py_ssize_t kMostReserved = Py_ssize_t{1} << 20;
    out.reserve(static_cast<std::size_t>(std::min(hint, kMostReserved)));
    PyObject* it = PyObject_GetIter(o);
    if (!it) return false;
    while (PyObject* item = PyIter_Next(it)) {
        T v;
        bool ok = elem(item, v);
        Py_DECREF(item);
        if (!ok) {
            Py_DECREF(it);
            return false;
        }
        out.push_back(v);
    }
    Py_DECREF(it);
    return !PyErr_Occurred();
}

// A 1-D NumPy array of a matching dtype converts to the same values as
// element-wise conversion, at memcpy speed.
template <class T>
bool copy_array(const np::ArrayInfo& a, std::vector<T>& out) {
    const std::int64_t n = a.dims[0];
    out.resize(static_cast<std::size_t>(n));
    const std::int64_t stride = a.strides[0];
    if (a.dtype == np::DType::Float64 || a.dtype == np::DType::Int64) {
        bool is_float = a.dtype == np::DType::Float64;
        if (std::is_floating_point_v<T> == is_float) {
            copy_row_major(a.data, {a.dims, 1}, {a.strides, 1}, out.data());
            return true;
        }
        for (std::int64_t i = 0; i < n; ++i) {
            const char* p = a.data + i * stride;
            if (is_float) {
                double v;
                std::memcpy(&v, p, 8);
                out[i] = static_cast<T>(v);
            } else {
                std::int64_t v;
                std::memcpy(&v, p, 8);
                out[i] = static_cast<T>(v);
            }
        }
        return true;
    }
    return false;
}

bool as_array(PyObject* o, np::ArrayInfo& info) {
    if (PyList_CheckExact(o) || PyTuple_CheckExact(o)) return false;
    return np::loaded_if_imported() && np::inspect(o, info) && info.ndim == 1;
}

bool int_elem(PyObject* o, std::int64_t& v) { return Int64::convert(o, v); }
bool float_elem(PyObject* o, double& v) { return Float::convert(o, v); }
bool size_elem(PyObject* o, std::uint64_t& v) { return UInt64::convert(o, v); }

bool int_fast(PyObject* o, std::int64_t& v) {
    if (!PyLong_CheckExact(o)) return false;
    int overflow;
    v = PyLong_AsLongLongAndOverflow(o, &overflow);
    return !overflow;  // out of range: the slow path raises the interpreter's error
}
bool float_fast(PyObject* o, double& v) {
    if (!PyFloat_CheckExact(o)) return false;
    v = PyFloat_AsDouble(o);
    return true;
}
bool size_fast(PyObject*, std::uint64_t&) { return false; }

// The fast conversions keep the element itself with its value.
template <auto Fast, class V>
bool item_fast(PyObject* o, Item<V>& item) {
    if (!Fast(o, item.value)) return false;
    item.object = Py_NewRef(o);
    return true;
}
template <auto Elem, class V>
bool item_elem(PyObject* o, Item<V>& item) {
    item.object = nullptr;
    return Elem(o, item.value);
}

}  // namespace

bool Int64List::convert(PyObject* o, std::vector<std::int64_t>& out) {
    if (!detail::is_sequence_arg(o)) return false;
    np::ArrayInfo info;
    if (as_array(o, info) && info.dtype == np::DType::Int64) return copy_array(info, out);
    return convert_items(o, out, int_fast, int_elem);
}

template <class V>
ItemList<V>::~ItemList() {
    for (const Item<V>& item : items) Py_XDECREF(static_cast<PyObject*>(item.object));
}
template struct ItemList<std::int64_t>;
template struct ItemList<double>;

bool Int64Items::convert(PyObject* o, storage& out) {
    if (!detail::is_sequence_arg(o)) return false;
    np::ArrayInfo info;
    if (as_array(o, info) && info.dtype == np::DType::Int64) return out.from_array = copy_array(info, out.values);
    return convert_items(o, out.items, item_fast<int_fast, std::int64_t>, item_elem<int_elem, std::int64_t>);
}

bool Float64Items::convert(PyObject* o, storage& out) {
    if (!detail::is_sequence_arg(o)) return false;
    np::ArrayInfo info;
    if (as_array(o, info) && info.dtype != np::DType::Other) return out.from_array = copy_array(info, out.values);
    return convert_items(o, out.items, item_fast<float_fast, double>, item_elem<float_elem, double>);
}

bool detail::append_floats(PyObject* o, std::vector<double>& out) {
    if (!detail::is_sequence_arg(o)) return false;
    np::ArrayInfo info;
    if (as_array(o, info) && info.dtype != np::DType::Other) {
        if (out.empty()) return copy_array(info, out);
        std::vector<double> values;
        if (!copy_array(info, values)) return false;
        out.insert(out.end(), values.begin(), values.end());
        return true;
    }
    return convert_items(o, out, float_fast, float_elem);
}

bool Float64List::convert(PyObject* o, std::vector<double>& out) { return detail::append_floats(o, out); }

bool SizeList::convert(PyObject* o, std::vector<std::uint64_t>& out) {
    if (!detail::is_sequence_arg(o)) return false;
    return convert_items(o, out, size_fast, size_elem);
}

}  // namespace qv::arg
