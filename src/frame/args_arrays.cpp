#include "frame/args_arrays.hpp"

#include <cstring>

#include "core/row_major.hpp"
#include "frame/failure.hpp"
#include "frame/numpy.hpp"

namespace qv::arg {
namespace {

bool inspect_array(PyObject* o, np::ArrayInfo& info, np::DType dtype, int ndim) {
    if (!np::load()) return false;
    if (np::inspect(o, info) && info.dtype == dtype && (ndim == 0 || info.ndim == ndim)) return true;
    raise_cannot_convert(o, "PyArray<T, D>");
    return false;
}

// The routines read elements as whole 8-byte values at steps of whole
// elements. Arrays at an odd byte offset (a buffer received from another
// process) or with strides that are not multiples of 8 (a field of a packed
// record array) do not hold them so.
bool aligned(const np::ArrayInfo& a) {
    bool ok = reinterpret_cast<std::uintptr_t>(a.data) % 8 == 0;
    for (int k = 0; k < a.ndim; ++k) {
        if (a.dims[k] == 0) return true;  // no elements to misread
        if (a.dims[k] > 1 && a.strides[k] % 8 != 0) ok = false;
    }
    return ok;
}

// Point `a` at an aligned row-major copy of its elements (its contiguity
// flags stay those of the array itself).
void read_aligned_copy(np::ArrayInfo& a, std::vector<std::uint64_t>& copy, std::vector<std::int64_t>& strides) {
    std::size_t n = 1;
    for (int k = 0; k < a.ndim; ++k) n *= static_cast<std::size_t>(a.dims[k]);
    copy.resize(n);
    const auto rank = static_cast<std::size_t>(a.ndim);
    copy_row_major(a.data, {a.dims, rank}, {a.strides, rank}, copy.data());
    strides.assign(rank, 8);
    for (int k = a.ndim - 1; k > 0; --k) strides[k - 1] = strides[k] * a.dims[k];
    a.data = reinterpret_cast<char*>(copy.data());
    a.strides = strides.data();
}

// Borrow the array; a read-only one that is not aligned is then read from
// an aligned copy, a writable one is refused.
template <class Storage>
bool take(np::ArrayInfo& a, Storage& out, bool exclusive) {
    if (!out.borrow.acquire(a, exclusive, out.site)) return false;
    if (aligned(a)) return true;
    if (exclusive) {
        PyErr_Format(PyExc_ValueError, "argument '%s': array elements are not aligned to 8 bytes", out.site.param);
        return false;
    }
    read_aligned_copy(a, out.aligned, out.aligned_strides);
    return true;
}

// A 1-D array of the dtype, borrowed shared or exclusive.
template <class T>
bool convert_vec(PyObject* o, Borrowed<Vec1<T>>& out, np::DType dtype, bool exclusive) {
    np::ArrayInfo a;
    if (!inspect_array(o, a, dtype, 1) || !take(a, out, exclusive)) return false;
    auto& v = out.view;
    v.data = reinterpret_cast<T*>(a.data);
    v.n = a.dims[0];
    v.stride = a.strides[0] / 8;
    v.contiguous = a.c_contiguous || a.f_contiguous;
    return true;
}

}  // namespace

bool ArrayF64<1>::convert(PyObject* o, storage& out) { return convert_vec(o, out, np::DType::Float64, false); }

bool ArrayF64<2>::convert(PyObject* o, storage& out) {
    np::ArrayInfo a;
    if (!inspect_array(o, a, np::DType::Float64, 2) || !take(a, out, false)) return false;
    auto& v = out.view;
    v.data = reinterpret_cast<const double*>(a.data);
    v.rows = a.dims[0];
    v.cols = a.dims[1];
    v.row_stride = a.strides[0] / 8;
    v.col_stride = a.strides[1] / 8;
    v.c_contiguous = a.c_contiguous;
    return true;
}

bool ArrayF64<0>::convert(PyObject* o, storage& out) {
    np::ArrayInfo a;
    if (!inspect_array(o, a, np::DType::Float64, 0) || !take(a, out, false)) return false;
    auto& v = out.view;
    v.data = reinterpret_cast<const double*>(a.data);
    v.shape.assign(a.dims, a.dims + a.ndim);
    v.strides.resize(static_cast<std::size_t>(a.ndim));
    for (int k = 0; k < a.ndim; ++k) v.strides[k] = a.strides[k] / 8;
    v.c_contiguous = a.c_contiguous;
    v.f_contiguous = a.f_contiguous;
    return true;
}

bool ArrayMutF64::convert(PyObject* o, storage& out) { return convert_vec(o, out, np::DType::Float64, true); }

bool IndexArray::convert(PyObject* o, storage& out) { return convert_vec(o, out, np::DType::Int64, false); }

}  // namespace qv::arg
