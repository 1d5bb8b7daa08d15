#include "tensor/tensor_bind.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "frame/classes.hpp"
#include "tensor/tensor.hpp"

namespace qv::tensor::bind {
namespace {

using arg::Float, arg::Flag, arg::Seed, arg::SizeList;
using Shared = arg::Shared<Tensor>;
using Exclusive = arg::Exclusive<Tensor>;
using Other = P<Shared, "other">;
using New = result::NewInstance<Tensor>;
using Shape = P<SizeList, "shape">;
using SeedParam = P<Seed, "seed", arg::NoneDefault{}>;

// Routines that check with the lock held and compute with it released.

template <Name Message, auto Kernel>
New elementwise(Tensor& a, Tensor& b) {
    check_same_shape(a, b, Message.s);
    ReleasedLock unlocked;
    return {Kernel(a, b)};
}

New matmul(Tensor& a, Tensor& b, bool transpose_a, bool transpose_b) {
    const MatmulProblem p = check_matmul(a, b, transpose_a, transpose_b);
    ReleasedLock unlocked;
    return {tensor::matmul(a, b, p)};
}

// The in-place writers copy a shared buffer before the release.
void relu_inplace(Tensor& t) {
    double* x = t.writable();
    ReleasedLock unlocked;
    tensor::relu_inplace(x, t.size);
}

void add_bias_inplace(Tensor& t, const NdView<const double>& bias) {
    const std::vector<double> row = bias_row(t, bias);
    double* x = t.writable();
    ReleasedLock unlocked;
    tensor::add_bias_inplace(x, t.shape[0], t.shape[1], row.data());
}

// Computed entirely with the lock released.
New mul_scalar(Tensor& a, double scalar) { return {tensor::mul_scalar(a, scalar)}; }
New relu_derivative(Tensor& a) { return {tensor::relu_derivative(a)}; }
New rand(Dims& shape, std::optional<std::uint64_t>& seed) { return {tensor::rand(std::move(shape), seed)}; }
New randn(Dims& shape, std::optional<std::uint64_t>& seed) { return {tensor::randn(std::move(shape), seed)}; }

// With the lock held.
New reshape(Tensor& t, Dims& new_shape) { return {tensor::reshape(t, std::move(new_shape))}; }

// Nested lists in row-major order: floats at the innermost level, one float
// for rank 0; a zero extent ends the walk at its level.
PyObject* nested_list(const double*& next, const std::uint64_t* dims, std::size_t rank) {
    if (rank == 0) return PyFloat_FromDouble(*next++);
    if (dims[0] > static_cast<std::uint64_t>(PY_SSIZE_T_MAX)) return PyErr_NoMemory();
    const auto n = static_cast<Py_ssize_t>(dims[0]);
    PyObject* list = PyList_New(n);
    if (!list || Py_EnterRecursiveCall(" while converting a Tensor to lists")) {
        Py_XDECREF(list);
        return nullptr;
    }
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* item = rank == 1 ? PyFloat_FromDouble(*next++) : nested_list(next, dims + 1, rank - 1);
        if (!item) {
            Py_DECREF(list);
            list = nullptr;
            break;
        }
        PyList_SetItem(list, i, item);
    }
    Py_LeaveRecursiveCall();
    return list;
}

PyObject* to_list(Tensor& t) {
    const double* next = t.begin();
    return nested_list(next, t.shape.data(), t.shape.size());
}

const Dims& shape(Tensor& t) { return t.shape; }
const Dims& strides(Tensor& t) { return t.strides; }
NewArray data(Tensor& t) { return data_copy(t); }

// repr(): "Tensor(shape=[2, 3])".
std::string describe(const Tensor& t) {
    std::string text = "shape=[";
    for (std::size_t i = 0; i < t.shape.size(); ++i) text += (i ? ", " : "") + std::to_string(t.shape[i]);
    return text + "]";
}

template <Name N, Lock L, auto Routine, class... Ps>
using M = Method<Tensor, N, Shared, L, Routine, Ps...>;

PyMethodDef methods[] = {
    M<"sub", Lock::Held, elementwise<"Shapes must match for subtraction.", tensor::sub>, Other>::def(
        "sub($self, other)\n--\n\n"),
    M<"mul_elementwise", Lock::Held, elementwise<"Shapes must match for element-wise multiplication.",
                                                 tensor::mul_elementwise>,
      Other>::def("mul_elementwise($self, other)\n--\n\n"),
    M<"mul_scalar", Lock::Released, mul_scalar, P<Float, "scalar">>::def("mul_scalar($self, scalar)\n--\n\n"),
    M<"reshape", Lock::Held, reshape, P<SizeList, "new_shape">>::def("reshape($self, new_shape)\n--\n\n"),
    M<"add", Lock::Held, elementwise<"Shapes must match for element-wise addition.", tensor::add>, Other>::def(
        "add($self, other)\n--\n\n"),
    M<"matmul", Lock::Held, matmul, Other, P<Flag, "transpose_a", false>, P<Flag, "transpose_b", false>>::def(
        "matmul($self, other, transpose_a=False, transpose_b=False)\n--\n\n"),
    M<"to_list", Lock::Held, to_list>::def("to_list($self)\n--\n\n"),
    ClassMethod<Tensor, "rand", Lock::Released, rand, Shape, SeedParam>::def("rand($cls, shape, seed=None)\n--\n\n"),
    ClassMethod<Tensor, "randn", Lock::Released, randn, Shape, SeedParam>::def("randn($cls, shape, seed=None)\n--\n\n"),
    Method<Tensor, "add_bias_inplace", Exclusive, Lock::Held, add_bias_inplace, P<arg::ArrayAnyF64, "bias">>::def(
        "add_bias_inplace($self, bias)\n--\n\n"),
    Method<Tensor, "relu_inplace", Exclusive, Lock::Held, relu_inplace>::def("relu_inplace($self)\n--\n\n"),
    M<"relu_derivative", Lock::Released, relu_derivative>::def("relu_derivative($self)\n--\n\n"),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef properties[] = {
    Getter<Tensor, data>::def("data"),
    Getter<Tensor, shape>::def("shape"),
    Getter<Tensor, strides>::def("strides"),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

PyObject* create_type() {
    return qv::create_type<Tensor>(
        "Tensor(array)\n--\n\n",
        {
            {Py_tp_new, reinterpret_cast<void*>(&Constructor<Tensor, Lock::Held, from_array, P<arg::ArrayAnyF64, "array">>::call)},
            {Py_tp_methods, methods},
            {Py_tp_getset, properties},
            {Py_tp_repr, reinterpret_cast<void*>(&repr<Tensor, describe>)},
            {0, nullptr},
        });
}

}  // namespace qv::tensor::bind
