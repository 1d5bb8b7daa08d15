#include "frame/results.hpp"

#include <utility>

namespace qv::result {
namespace {

template <class T, class Make>
PyObject* make_list(const std::vector<T>& v, Make make) {
    PyObject* list = PyList_New(static_cast<Py_ssize_t>(v.size()));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < v.size(); ++i) {
        PyObject* item = make(v[i]);
        if (!item) {
            Py_DECREF(list);
            return nullptr;
        }
        PyList_SetItem(list, static_cast<Py_ssize_t>(i), item);
    }
    return list;
}

template <class V, class Make>
PyObject* items_list(std::vector<Item<V>>& v, Make make) {
    PyObject* list = PyList_New(static_cast<Py_ssize_t>(v.size()));
    for (std::size_t i = 0; i < v.size(); ++i) {
        PyObject* o = static_cast<PyObject*>(std::exchange(v[i].object, nullptr));
        if (!o && list) o = make(v[i].value);
        if (!o || !list) {
            Py_XDECREF(o);
            for (std::size_t k = i + 1; k < v.size(); ++k) Py_XDECREF(static_cast<PyObject*>(v[k].object));
            Py_XDECREF(list);
            return nullptr;
        }
        PyList_SetItem(list, static_cast<Py_ssize_t>(i), o);
    }
    return list;
}

}  // namespace

PyObject* to_python(const std::vector<std::int64_t>& v) {
    return make_list(v, [](std::int64_t x) { return PyLong_FromLongLong(x); });
}
PyObject* to_python(std::vector<IntItem>&& v) {
    return items_list(v, [](std::int64_t x) { return PyLong_FromLongLong(x); });
}
PyObject* to_python(std::vector<FloatItem>&& v) {
    return items_list(v, [](double x) { return PyFloat_FromDouble(x); });
}

PyObject* to_python(const std::vector<std::uint64_t>& v) {
    return make_list(v, [](std::uint64_t x) { return PyLong_FromUnsignedLongLong(x); });
}
PyObject* to_python(const std::vector<double>& v) {
    return make_list(v, [](double x) { return PyFloat_FromDouble(x); });
}
PyObject* to_python(const std::vector<std::pair<std::int64_t, std::int64_t>>& v) {
    return make_list(v, [](const std::pair<std::int64_t, std::int64_t>& p) -> PyObject* {
        PyObject* k = PyLong_FromLongLong(p.first);
        PyObject* val = k ? PyLong_FromLongLong(p.second) : nullptr;
        PyObject* t = val ? PyTuple_New(2) : nullptr;
        if (!t) {
            Py_XDECREF(k);
            Py_XDECREF(val);
            return nullptr;
        }
        PyTuple_SetItem(t, 0, k);
        PyTuple_SetItem(t, 1, val);
        return t;
    });
}

PyObject* to_python(const Matrix& m) {
    PyObject* list = PyList_New(static_cast<Py_ssize_t>(m.rows()));
    if (!list) return nullptr;
    for (std::size_t r = 0; r < m.rows(); ++r) {
        auto row = m.row(r);
        PyObject* inner = PyList_New(static_cast<Py_ssize_t>(row.size()));
        if (!inner) {
            Py_DECREF(list);
            return nullptr;
        }
        for (std::size_t c = 0; c < row.size(); ++c) {
            PyObject* x = PyFloat_FromDouble(row[c]);
            if (!x) {
                Py_DECREF(inner);
                Py_DECREF(list);
                return nullptr;
            }
            PyList_SetItem(inner, static_cast<Py_ssize_t>(c), x);
        }
        PyList_SetItem(list, static_cast<Py_ssize_t>(r), inner);
    }
    return list;
}

}  // namespace qv::result
