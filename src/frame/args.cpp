#include "frame/args.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/row_major.hpp"
#include "frame/failure.hpp"

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

namespace {

// --- sequences -------------------------------------------------------------

bool is_sequence_arg(PyObject* o) {
    if (PyUnicode_Check(o)) {
        PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
        return false;
    }
    if (!PySequence_Check(o)) {
        raise_cannot_convert(o, "Sequence");
        return false;
    }
    return true;
}

// Convert one element. `fast` converts exact ints and floats, which run no
// Python code, through a borrowed reference (false: use `elem`); `elem`
// converts anything else and may run Python code.
template <class T, class Fast, class Elem>
bool convert_items(PyObject* o, std::vector<T>& out, Fast fast, Elem elem) {
    if (PyList_CheckExact(o)) {
        Py_ssize_t n = PyList_Size(o);
        out.reserve(static_cast<std::size_t>(n));
        // The elements are separate objects anywhere in memory: each is
        // fetched from the list and prefetched a few steps before it is
        // read, and kept in a ring until then.
        constexpr Py_ssize_t kAhead = 8;
        PyObject* ahead[kAhead];
        auto fetch = [&](Py_ssize_t i) {
            if (i >= n) return;
            PyObject* item = PyList_GetItem(o, i);
            __builtin_prefetch(item);
            ahead[i % kAhead] = item;
        };
        for (Py_ssize_t i = 0; i < kAhead; ++i) fetch(i);
        for (Py_ssize_t i = 0; i < n; ++i) {
            PyObject* item = ahead[i % kAhead];
            fetch(i + kAhead);
            T v;
            if (!fast(item, v)) {
                Py_INCREF(item);
                bool ok = elem(item, v);
                Py_DECREF(item);
                if (!ok) return false;
                // An element's __index__ or __float__ may have changed the
                // list: go on as list iteration would, with the ring fetched
                // again.
                n = PyList_Size(o);
                for (Py_ssize_t k = i + 1; k <= i + kAhead; ++k) fetch(k);
            }
            out.push_back(v);
        }
        return true;
    }
    if (PyTuple_CheckExact(o)) {
        Py_ssize_t n = PyTuple_Size(o);
        out.reserve(static_cast<std::size_t>(n));
        for (Py_ssize_t i = 0; i < n; ++i) {
            PyObject* item = PyTuple_GetItem(o, i);  // the tuple keeps it alive
            T v;
            if (!fast(item, v) && !elem(item, v)) return false;
            out.push_back(v);
        }
        return true;
    }
    Py_ssize_t hint = PySequence_Size(o);
    if (hint < 0) {
        PyErr_Clear();
        hint = 0;
    }
    // __len__ may claim more than the sequence holds: reserve no more than
    // a plausible length, and grow past it as the items come.
    constexpr Py_ssize_t kMostReserved = Py_ssize_t{1} << 20;
    out.reserve(static_cast<std::size_t>(std::min(hint, kMostReserved)));
    PyObject* it = PyObject_GetIter(o);
    if (!it) return false;
    while (PyObject* item = PyIter_Next(it)) {
        T v;
        bool ok = elem(item, v);
        Py_DECREF(item);
        if (!ok) {
            Py_DECREF(it);
            return false;
        }
        out.push_back(v);
    }
    Py_DECREF(it);
    return !PyErr_Occurred();
}

// A 1-D NumPy array of a matching dtype converts to the same values as
// element-wise conversion, at memcpy speed.
template <class T>
bool copy_array(const np::ArrayInfo& a, std::vector<T>& out) {
    const std::int64_t n = a.dims[0];
    out.resize(static_cast<std::size_t>(n));
    const std::int64_t stride = a.strides[0];
    if (a.dtype == np::DType::Float64 || a.dtype == np::DType::Int64) {
        bool is_float = a.dtype == np::DType::Float64;
        if (std::is_floating_point_v<T> == is_float) {
            copy_row_major(a.data, {a.dims, 1}, {a.strides, 1}, out.data());
            return true;
        }
        for (std::int64_t i = 0; i < n; ++i) {
            const char* p = a.data + i * stride;
            if (is_float) {
                double v;
                std::memcpy(&v, p, 8);
                out[i] = static_cast<T>(v);
            } else {
                std::int64_t v;
                std::memcpy(&v, p, 8);
                out[i] = static_cast<T>(v);
            }
        }
        return true;
    }
    return false;
}

bool as_array(PyObject* o, np::ArrayInfo& info) {
    if (PyList_CheckExact(o) || PyTuple_CheckExact(o)) return false;
    return np::loaded_if_imported() && np::inspect(o, info) && info.ndim == 1;
}

bool int_elem(PyObject* o, std::int64_t& v) { return Int64::convert(o, v); }
bool float_elem(PyObject* o, double& v) { return Float::convert(o, v); }
bool size_elem(PyObject* o, std::uint64_t& v) { return UInt64::convert(o, v); }

bool int_fast(PyObject* o, std::int64_t& v) {
    if (!PyLong_CheckExact(o)) return false;
    int overflow;
    v = PyLong_AsLongLongAndOverflow(o, &overflow);
    return !overflow;  // out of range: the slow path raises the interpreter's error
}
bool float_fast(PyObject* o, double& v) {
    if (!PyFloat_CheckExact(o)) return false;
    v = PyFloat_AsDouble(o);
    return true;
}
bool size_fast(PyObject*, std::uint64_t&) { return false; }

// The fast conversions keep the element itself with its value.
template <auto Fast, class V>
bool item_fast(PyObject* o, Item<V>& item) {
    if (!Fast(o, item.value)) return false;
    item.object = Py_NewRef(o);
    return true;
}
template <auto Elem, class V>
bool item_elem(PyObject* o, Item<V>& item) {
    item.object = nullptr;
    return Elem(o, item.value);
}

}  // namespace

bool Int64List::convert(PyObject* o, std::vector<std::int64_t>& out) {
    if (!is_sequence_arg(o)) return false;
    np::ArrayInfo info;
    if (as_array(o, info) && info.dtype == np::DType::Int64) return copy_array(info, out);
    return convert_items(o, out, int_fast, int_elem);
}

template <class V>
ItemList<V>::~ItemList() {
    for (const Item<V>& item : items) Py_XDECREF(static_cast<PyObject*>(item.object));
}
template struct ItemList<std::int64_t>;
template struct ItemList<double>;

bool Int64Items::convert(PyObject* o, storage& out) {
    if (!is_sequence_arg(o)) return false;
    np::ArrayInfo info;
    if (as_array(o, info) && info.dtype == np::DType::Int64) return out.from_array = copy_array(info, out.values);
    return convert_items(o, out.items, item_fast<int_fast, std::int64_t>, item_elem<int_elem, std::int64_t>);
}

bool Float64Items::convert(PyObject* o, storage& out) {
    if (!is_sequence_arg(o)) return false;
    np::ArrayInfo info;
    if (as_array(o, info) && info.dtype != np::DType::Other) return out.from_array = copy_array(info, out.values);
    return convert_items(o, out.items, item_fast<float_fast, double>, item_elem<float_elem, double>);
}

namespace {

// The floats of a sequence appended to out.
bool append_floats(PyObject* o, std::vector<double>& out) {
    if (!is_sequence_arg(o)) return false;
    np::ArrayInfo info;
    if (as_array(o, info) && info.dtype != np::DType::Other) {
        if (out.empty()) return copy_array(info, out);
        std::vector<double> values;
        if (!copy_array(info, values)) return false;
        out.insert(out.end(), values.begin(), values.end());
        return true;
    }
    return convert_items(o, out, float_fast, float_elem);
}

}  // namespace

bool Float64List::convert(PyObject* o, std::vector<double>& out) { return append_floats(o, out); }

bool SizeList::convert(PyObject* o, std::vector<std::uint64_t>& out) {
    if (!is_sequence_arg(o)) return false;
    return convert_items(o, out, size_fast, size_elem);
}

bool Float64Matrix::convert(PyObject* o, Matrix& out) {
    if (!is_sequence_arg(o)) return false;
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
        if (!append_floats(item, out.values)) return false;
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

// --- arrays ----------------------------------------------------------------

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

template <class T>
void fill_vec(const np::ArrayInfo& a, Vec1<T>& v) {
    v.data = reinterpret_cast<T*>(a.data);
    v.n = a.dims[0];
    v.stride = a.strides[0] / 8;
    v.contiguous = a.c_contiguous || a.f_contiguous;
}

}  // namespace

bool ArrayF64<1>::convert(PyObject* o, storage& out) {
    np::ArrayInfo a;
    if (!inspect_array(o, a, np::DType::Float64, 1) || !take(a, out, false)) return false;
    fill_vec(a, out.view);
    return true;
}

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

bool ArrayMutF64::convert(PyObject* o, storage& out) {
    np::ArrayInfo a;
    if (!inspect_array(o, a, np::DType::Float64, 1) || !take(a, out, true)) return false;
    fill_vec(a, out.view);
    return true;
}

bool IndexArray::convert(PyObject* o, storage& out) {
    np::ArrayInfo a;
    if (!inspect_array(o, a, np::DType::Int64, 1) || !take(a, out, false)) return false;
    fill_vec(a, out.view);
    return true;
}

}  // namespace qv::arg
