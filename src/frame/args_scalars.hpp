// Argument kinds of single values: integers, floats, flags, seeds and
// strings.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

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

}  // namespace qv::arg
