#include "frame/failure.hpp"

#include <string>

namespace qv {

PyObject* internal_failure_type() {
    static PyObject* type = nullptr;
    if (!type) {
        type = PyErr_NewExceptionWithDoc(
            "quorvane.InternalFailure",
            "An unexpected fault inside quorvane (a bug, or input the routine cannot handle).",
            PyExc_BaseException, nullptr);
    }
    return type;
}

void raise_internal(const char* message) {
    PyObject* type = internal_failure_type();
    if (!type) return;  // creating the class failed: that exception stands
    PyErr_SetString(type, message && *message ? message : "quorvane: internal failure");
}

void raise_error(const Error& e) {
    PyObject* type = nullptr;
    switch (e.kind) {
        case ErrorKind::Value: type = PyExc_ValueError; break;
        case ErrorKind::Index: type = PyExc_IndexError; break;
        case ErrorKind::Overflow: type = PyExc_OverflowError; break;
        case ErrorKind::Runtime: type = PyExc_RuntimeError; break;
        case ErrorKind::Type: type = PyExc_TypeError; break;
        case ErrorKind::Internal: raise_internal(e.message.c_str()); return;
    }
    PyErr_SetString(type, e.message.c_str());
}

void raise_cannot_convert(PyObject* obj, const char* target) {
    PyObject* name = PyType_GetQualName(Py_TYPE(obj));
    if (!name) return;
    PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to '%s'", name, target);
    Py_DECREF(name);
}

}  // namespace qv
