#include "frame/binding.hpp"

#include <string>

namespace qv::detail {
namespace {

void too_many(const Signature& sig, Py_ssize_t given) {
    const char* verb = given == 1 ? "was" : "were";
    if (sig.required < sig.count)
        PyErr_Format(PyExc_TypeError, "%s() takes from %d to %d positional arguments but %zd %s given", sig.owner,
                     sig.required, sig.count, given, verb);
    else
        PyErr_Format(PyExc_TypeError, "%s() takes %d positional arguments but %zd %s given", sig.owner, sig.count,
                     given, verb);
}

void missing(const Signature& sig, PyObject** slots) {
    std::string names;
    int k = 0, total = 0;
    for (int i = 0; i < sig.required; ++i)
        if (!slots[i]) ++total;
    for (int i = 0; i < sig.required; ++i) {
        if (slots[i]) continue;
        ++k;
        if (k > 1) names += total == 2 ? " and " : (k == total ? ", and " : ", ");
        names += "'";
        names += sig.names[i];
        names += "'";
    }
    PyErr_Format(PyExc_TypeError, "%s() missing %d required positional argument%s: %s", sig.owner, total,
                 total > 1 ? "s" : "", names.c_str());
}

}  // namespace

bool bind(const Signature& sig, PyObject** slots, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    if (nargs > sig.count) {
        too_many(sig, nargs);
        return false;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = args[i];
    if (kwnames) {
        Py_ssize_t nkw = PyTuple_Size(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k) {
            PyObject* key = PyTuple_GetItem(kwnames, k);
            int found = -1;
            for (int j = 0; j < sig.count; ++j) {
                if (PyUnicode_CompareWithASCIIString(key, sig.names[j]) == 0) {
                    found = j;
                    break;
                }
            }
            if (found < 0) {
                PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", sig.owner, key);
                return false;
            }
            if (slots[found]) {
                PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", sig.owner,
                             sig.names[found]);
                return false;
            }
            slots[found] = args[nargs + k];
        }
    }
    for (int i = 0; i < sig.required; ++i) {
        if (!slots[i]) {
            missing(sig, slots);
            return false;
        }
    }
    return true;
}

void prefix_type_error(const char* name) {
    PyObject* exc = PyErr_GetRaisedException();
    if (!exc) return;
    if (Py_TYPE(exc) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
        PyErr_SetRaisedException(exc);
        return;
    }
    PyObject* text = PyObject_Str(exc);
    PyObject* cause = PyException_GetCause(exc);
    Py_DECREF(exc);
    if (!text) {
        Py_XDECREF(cause);
        return;
    }
    PyErr_Format(PyExc_TypeError, "argument '%s': %U", name, text);
    Py_DECREF(text);
    if (cause) {
        PyObject* renamed = PyErr_GetRaisedException();
        PyException_SetCause(renamed, cause);  // steals cause
        PyErr_SetRaisedException(renamed);
    }
}

}  // namespace qv::detail
