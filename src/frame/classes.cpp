#include "frame/classes.hpp"

namespace qv::detail {

bool vector_args(PyObject* args, PyObject* kwargs, std::vector<PyObject*>& flat, Py_ssize_t& nargs,
                 PyObject*& kwnames) {
    nargs = args ? PyTuple_Size(args) : 0;
    if (nargs < 0) return false;
    Py_ssize_t nkw = kwargs ? PyDict_Size(kwargs) : 0;
    flat.reserve(static_cast<std::size_t>(nargs + nkw));
    for (Py_ssize_t i = 0; i < nargs; ++i) flat.push_back(PyTuple_GetItem(args, i));
    kwnames = nullptr;
    if (nkw > 0) {
        kwnames = PyTuple_New(nkw);
        if (!kwnames) return false;
        Py_ssize_t pos = 0, k = 0;
        PyObject *key, *value;
        while (PyDict_Next(kwargs, &pos, &key, &value)) {
            PyTuple_SetItem(kwnames, k++, Py_NewRef(key));
            flat.push_back(value);
        }
    }
    return true;
}

}  // namespace qv::detail
