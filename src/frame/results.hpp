// Result kinds: native routine results to new Python objects, chosen by the
// C++ type the routine returns.
#pragma once
#include <cstdint>
#include <optional>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

#include "core/items.hpp"
#include "core/views.hpp"
#include "frame/numpy.hpp"
#include "frame/python.hpp"

namespace qv::result {

inline PyObject* to_python(None) { Py_RETURN_NONE; }
inline PyObject* to_python(bool v) { return Py_NewRef(v ? Py_True : Py_False); }
inline PyObject* to_python(std::int64_t v) { return PyLong_FromLongLong(v); }
inline PyObject* to_python(std::uint64_t v) { return PyLong_FromUnsignedLongLong(v); }
inline PyObject* to_python(double v) { return PyFloat_FromDouble(v); }
inline PyObject* to_python(NewArray&& a) { return np::adopt(std::move(a)); }
PyObject* to_python(const std::vector<std::int64_t>& v);
PyObject* to_python(const std::vector<std::uint64_t>& v);
PyObject* to_python(const std::vector<double>& v);
// The items' own objects go into the list (their references with them);
// items without one get a new int or float.
PyObject* to_python(std::vector<IntItem>&& v);
PyObject* to_python(std::vector<FloatItem>&& v);
PyObject* to_python(const Matrix& m);
PyObject* to_python(const std::vector<std::pair<std::int64_t, std::int64_t>>& v);

template <class T>
PyObject* to_python(std::optional<T>&& v) {
    if (!v) Py_RETURN_NONE;
    return to_python(std::move(*v));
}

// Whichever of the alternatives the routine returned.
template <class... T>
PyObject* to_python(std::variant<T...>&& v) {
    return std::visit([](auto& x) { return to_python(std::move(x)); }, v);
}

inline bool put_item(PyObject* tuple, Py_ssize_t i, PyObject* item) {
    if (!item) return false;
    PyTuple_SetItem(tuple, i, item);
    return true;
}

template <class... T>
PyObject* to_python(std::tuple<T...>&& t) {
    PyObject* tuple = PyTuple_New(sizeof...(T));
    if (!tuple) return nullptr;
    bool ok = true;
    Py_ssize_t i = 0;
    std::apply([&](auto&... x) { ((ok = ok && put_item(tuple, i++, to_python(std::move(x)))), ...); }, t);
    if (!ok) {
        Py_DECREF(tuple);
        return nullptr;
    }
    return tuple;
}

// A routine may hand back a ready Python object (new reference).
inline PyObject* to_python(PyObject* o) { return o; }

}  // namespace qv::result
