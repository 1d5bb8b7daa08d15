// NumPy access, loaded lazily on first use. NumPy's own headers stay inside
// numpy.cpp; the rest of the frame sees this small interface.
#pragma once
#include <cstdint>

#include "core/views.hpp"
#include "frame/python.hpp"

namespace qv::np {

// Load NumPy's C API table. Returns false with a Python exception set.
bool load();
// True when the table is loaded, loading it if NumPy is already imported in
// this interpreter (an object can only be an ndarray if NumPy is imported).
// Never imports NumPy itself; never leaves an exception set.
bool loaded_if_imported();

enum class DType { Other, Float64, Int64 };

struct ArrayInfo {
    char* data;
    int ndim;
    const std::int64_t* dims;     // ndim entries
    const std::int64_t* strides;  // ndim entries, in bytes
    DType dtype;
    bool c_contiguous, f_contiguous, writeable;
};

// Requires a loaded table. False when obj is not an ndarray (or subclass).
bool inspect(PyObject* obj, ArrayInfo& out);
// Requires a loaded table. The NumPy bool scalar type.
bool is_bool_scalar(PyObject* obj);

// A new C-contiguous writeable float64 array that owns the native buffer
// (a capsule that frees it is the array's base). On failure the buffer is
// freed and nullptr returned with an exception set.
PyObject* adopt(NewArray&& array);

}  // namespace qv::np
