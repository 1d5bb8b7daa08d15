#include "frame/args_scalars.hpp"

#include "frame/failure.hpp"
#include "frame/numpy.hpp"

namespace qv::arg {

bool UInt64::convert(PyObject* o, std::uint64_t& out) {
    unsigned long long v;
    if (PyLong_Check(o)) {
        v = PyLong_AsUnsignedLongLong(o);
    } else {
        PyObject* index = PyNumber_Index(o);
        if (!index) return false;
        v = PyLong_AsUnsignedLongLong(index);
        Py_DECREF(index);
    }
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    out = v;
    return true;
}

bool Int32::convert(PyObject* o, std::int32_t& out) {
    std::int64_t v;
    if (!Int64::convert(o, v)) return false;
    if (v < INT32_MIN || v > INT32_MAX) {
        PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
        return false;
    }
    out = static_cast<std::int32_t>(v);
    return true;
}

bool Flag::convert(PyObject* o, bool& out) {
    if (o == Py_True || o == Py_False) {
        out = o == Py_True;
        return true;
    }
    if (np::loaded_if_imported() && np::is_bool_scalar(o)) {
        int t = PyObject_IsTrue(o);
        if (t < 0) return false;
        out = t;
        return true;
    }
    raise_cannot_convert(o, "PyBool");
    return false;
}

bool Seed::convert(PyObject* o, std::optional<std::uint64_t>& out) {
    if (o == Py_None) {
        out.reset();
        return true;
    }
    std::uint64_t v;
    if (!UInt64::convert(o, v)) return false;
    out = v;
    return true;
}

bool Str::convert(PyObject* o, std::string_view& out) {
    if (!PyUnicode_Check(o)) {
        raise_cannot_convert(o, "PyString");
        return false;
    }
    Py_ssize_t n;
    const char* s = PyUnicode_AsUTF8AndSize(o, &n);
    if (!s) return false;
    out = std::string_view(s, static_cast<std::size_t>(n));
    return true;
}

}  // namespace qv::arg
