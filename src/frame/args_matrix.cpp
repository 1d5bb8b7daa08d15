#include "frame/args_matrix.hpp"

#include <cstddef>

#include "core/buffer.hpp"
#include "core/row_major.hpp"
#include "frame/args_sequences.hpp"
#include "frame/numpy.hpp"

namespace qv::arg {

bool Float64Matrix::convert(PyObject* o, Matrix& out) {
    if (!detail::is_sequence_arg(o)) return false;
    np::ArrayInfo info;
    if (!PyList_CheckExact(o) && np::loaded_if_imported() && np::inspect(o, info) && info.ndim == 2 &&
        info.dtype == np::DType::Float64) {
        const std::size_t rows = static_cast<std::size_t>(info.dims[0]), cols = static_cast<std::size_t>(info.dims[1]);
        // A large copy is faulted in by huge pages where the system allows.
        out.values.reserve(rows * cols);
        prefer_huge_pages(out.values.data(), rows * cols * sizeof(double));
        out.values.resize(rows * cols);
        copy_row_major(info.data, {info.dims, 2}, {info.strides, 2}, out.values.data());
        out.starts.resize(rows + 1);
        for (std::size_t r = 0; r <= rows; ++r) out.starts[r] = r * cols;
        return true;
    }
    // Rows are converted straight onto the end of one buffer, sized up front
    // when the matrix is a list: its list and tuple rows give their lengths.
    if (PyList_CheckExact(o)) {
        const Py_ssize_t rows = PyList_Size(o);
        std::size_t total = 0;
        for (Py_ssize_t i = 0; i < rows; ++i) {
            PyObject* row = PyList_GetItem(o, i);
            total += static_cast<std::size_t>(PyList_CheckExact(row) ? PyList_Size(row)
                                              : PyTuple_CheckExact(row) ? PyTuple_Size(row)
                                                                        : 0);
        }
        out.values.reserve(total);
        prefer_huge_pages(out.values.data(), total * sizeof(double));
        out.starts.reserve(static_cast<std::size_t>(rows) + 1);
    }
    auto add_row = [&](PyObject* item) {
        if (!detail::append_floats(item, out.values)) return false;
        out.end_row();
        return true;
    };
    PyObject* it = PyObject_GetIter(o);
    if (!it) return false;
    while (PyObject* item = PyIter_Next(it)) {
        bool ok = add_row(item);
        Py_DECREF(item);
        if (!ok) {
            Py_DECREF(it);
            return false;
        }
    }
    Py_DECREF(it);
    return !PyErr_Occurred();
}

}  // namespace qv::arg
