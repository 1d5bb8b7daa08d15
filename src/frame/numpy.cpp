#include "frame/numpy.hpp"

#define PY_ARRAY_UNIQUE_SYMBOL qv_numpy_api
#include <numpy/arrayobject.h>

#include <cstdlib>

namespace qv::np {
namespace {

PyArray_Descr* g_f64 = nullptr;
PyArray_Descr* g_i64 = nullptr;

bool fetch_table() {
    PyObject* numpy = PyImport_ImportModule("numpy");
    if (!numpy) return false;
    // numpy 2 moved the core package; its API table lives in the extension.
    const char* core = "numpy._core.multiarray";
    PyObject* version = PyObject_GetAttrString(numpy, "__version__");
    PyObject* lib = version ? PyImport_ImportModule("numpy.lib") : nullptr;
    PyObject* cls = lib ? PyObject_GetAttrString(lib, "NumpyVersion") : nullptr;
    PyObject* parsed = cls ? PyObject_CallFunctionObjArgs(cls, version, nullptr) : nullptr;
    PyObject* major = parsed ? PyObject_GetAttrString(parsed, "major") : nullptr;
    long major_v = major ? PyLong_AsLong(major) : -1;
    Py_XDECREF(major);
    Py_XDECREF(parsed);
    Py_XDECREF(cls);
    Py_XDECREF(lib);
    Py_XDECREF(version);
    Py_DECREF(numpy);
    if (major_v == -1 && PyErr_Occurred()) return false;
    if (major_v < 2) core = "numpy.core.multiarray";

    PyObject* multiarray = PyImport_ImportModule(core);
    if (!multiarray) return false;
    PyObject* capsule = PyObject_GetAttrString(multiarray, "_ARRAY_API");
    Py_DECREF(multiarray);
    void* table = nullptr;
    if (capsule && PyCapsule_CheckExact(capsule)) table = PyCapsule_GetPointer(capsule, nullptr);
    Py_XDECREF(capsule);
    if (!table) {
        PyErr_Clear();
        PyErr_SetString(PyExc_ImportError, "Failed to access NumPy array API capsule");
        return false;
    }
    PY_ARRAY_UNIQUE_SYMBOL = static_cast<void**>(table);
    g_f64 = PyArray_DescrFromType(NPY_FLOAT64);
    g_i64 = PyArray_DescrFromType(NPY_INT64);
    return true;
}

}  // namespace

bool load() {
    if (PY_ARRAY_UNIQUE_SYMBOL) return true;
    return fetch_table();
}

bool loaded_if_imported() {
    if (PY_ARRAY_UNIQUE_SYMBOL) return true;
    PyObject* name = PyUnicode_FromString("numpy");
    PyObject* mod = name ? PyImport_GetModule(name) : nullptr;
    Py_XDECREF(name);
    if (!mod) {
        PyErr_Clear();
        return false;
    }
    Py_DECREF(mod);
    if (!load()) {
        PyErr_Clear();
        return false;
    }
    return true;
}

bool inspect(PyObject* obj, ArrayInfo& out) {
    if (!PyArray_Check(obj)) return false;
    auto* arr = reinterpret_cast<PyArrayObject*>(obj);
    PyArray_Descr* d = PyArray_DESCR(arr);
    out.data = static_cast<char*>(PyArray_DATA(arr));
    out.ndim = PyArray_NDIM(arr);
    static_assert(sizeof(npy_intp) == sizeof(std::int64_t));
    out.dims = reinterpret_cast<const std::int64_t*>(PyArray_DIMS(arr));
    out.strides = reinterpret_cast<const std::int64_t*>(PyArray_STRIDES(arr));
    if (d == g_f64 || PyArray_EquivTypes(d, g_f64))
        out.dtype = DType::Float64;
    else if (d == g_i64 || PyArray_EquivTypes(d, g_i64))
        out.dtype = DType::Int64;
    else
        out.dtype = DType::Other;
    int flags = PyArray_FLAGS(arr);
    out.c_contiguous = flags & NPY_ARRAY_C_CONTIGUOUS;
    out.f_contiguous = flags & NPY_ARRAY_F_CONTIGUOUS;
    out.writeable = flags & NPY_ARRAY_WRITEABLE;
    return true;
}

bool is_bool_scalar(PyObject* obj) {
    return PyObject_TypeCheck(obj, &PyBoolArrType_Type);
}

namespace {
void free_capsule(PyObject* capsule) {
    std::free(PyCapsule_GetPointer(capsule, "quorvane.buffer"));
}
}  // namespace

PyObject* adopt(NewArray&& array) {
    if (!load()) return nullptr;
    double* data = array.buffer.release();
    PyObject* owner = PyCapsule_New(data, "quorvane.buffer", free_capsule);
    if (!owner) {
        std::free(data);
        return nullptr;
    }
    npy_intp dims[4];
    for (int i = 0; i < array.ndim; ++i) dims[i] = static_cast<npy_intp>(array.dims[i]);
    Py_INCREF(reinterpret_cast<PyObject*>(g_f64));  // NewFromDescr steals a reference
    PyObject* result = PyArray_NewFromDescr(&PyArray_Type, g_f64, array.ndim, dims, nullptr, data,
                                            NPY_ARRAY_CARRAY, nullptr);
    if (!result) {
        Py_DECREF(owner);
        return nullptr;
    }
    if (PyArray_SetBaseObject(reinterpret_cast<PyArrayObject*>(result), owner) < 0) {
        Py_DECREF(owner);  // the array does not own the buffer yet: capsule frees it
        // data now freed; drop the array without touching its (dangling) data
        Py_DECREF(result);
        return nullptr;
    }
    return result;
}

}  // namespace qv::np
