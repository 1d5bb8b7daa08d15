#include "tensor/tensor.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <utility>

#include "core/buffer.hpp"
#include "core/error.hpp"
#include "core/row_major.hpp"
#include "dl/clones.hpp"
#include "parallel/pool.hpp"
#include "random/random.hpp"
#include "tensor/gemm.hpp"

namespace qv::tensor {
namespace {

// Buffers start on a cache line: the vector loops then never split an
// access across two lines.
std::shared_ptr<double[]> allocate(std::size_t n) {
    constexpr std::size_t kLine = 64;
    if (n > std::numeric_limits<std::size_t>::max() / sizeof(double) / 2) throw std::bad_alloc();
    const std::size_t bytes = ((n ? n : 1) * sizeof(double) + kLine - 1) & ~(kLine - 1);
    void* p = std::aligned_alloc(kLine, bytes);
    if (!p) throw std::bad_alloc();
    prefer_huge_pages(p, bytes);
    return std::shared_ptr<double[]>(static_cast<double*>(p), FreeDeleter{});
}

std::size_t checked_count(const Dims& shape) {
    auto n = element_count(shape);
    if (!n) value_error("Tensor shape is too large: its element count does not fit in 64 bits.");
    return static_cast<std::size_t>(*n);
}

// out[i] = f(a[i]) (or f(a[i], b[i])): the loops the compiler vectorises,
// built for each x86-64 level.
template <class F>
QV_CLONES void map_unary(const double* a, double* out, std::size_t n, F f) {
    for (std::size_t i = 0; i < n; ++i) out[i] = f(a[i]);
}
template <class F>
QV_CLONES void map_binary(const double* __restrict a, const double* __restrict b, double* __restrict out,
                          std::size_t n, F f) {
    for (std::size_t i = 0; i < n; ++i) out[i] = f(a[i], b[i]);
}

// A new tensor of a's shape, element i = f(a[i]); parallel from the
// threshold on, with the same bits as the sequential loop.
template <class F>
Tensor map(const Tensor& a, F f) {
    Tensor r = with_shape(a.shape);
    const double* x = a.begin();
    double* o = r.data.get();
    par::for_ranges(a.size, [&](std::size_t b, std::size_t e) { map_unary(x + b, o + b, e - b, f); });
    return r;
}

template <class F>
Tensor zip(const Tensor& a, const Tensor& b, F f) {
    Tensor r = with_shape(a.shape);
    const double *x = a.begin(), *y = b.begin();
    double* o = r.data.get();
    par::for_ranges(a.size, [&](std::size_t lo, std::size_t hi) { map_binary(x + lo, y + lo, o + lo, hi - lo, f); });
    return r;
}

QV_CLONES void relu_range(double* x, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) x[i] = x[i] < 0.0 ? 0.0 : x[i];
}

QV_CLONES void add_row(double* __restrict x, const double* __restrict bias, std::size_t cols) {
    for (std::size_t j = 0; j < cols; ++j) x[j] = bias[j] + x[j];
}

}  // namespace

double* Tensor::writable() {
    if (data.use_count() > 1) {
        auto copy = allocate(size);
        if (size) std::memcpy(copy.get(), data.get(), size * sizeof(double));
        data = std::move(copy);
    }
    return data.get();
}

Dims calculate_strides(const Dims& shape) {
    Dims strides(shape.size(), 1);
    for (std::size_t i = shape.size(); i > 1; --i) strides[i - 2] = shape[i - 1] * strides[i - 1];
    return strides;
}

std::optional<std::uint64_t> element_count(const Dims& shape) {
    std::uint64_t n = 1;
    bool overflow = false;
    for (std::uint64_t d : shape) {
        if (d == 0) return 0;
        overflow |= __builtin_mul_overflow(n, d, &n);
    }
    if (overflow) return std::nullopt;
    return n;
}

Tensor with_shape(Dims shape) {
    Tensor t;
    t.size = checked_count(shape);
    t.data = allocate(t.size);
    t.strides = calculate_strides(shape);
    t.shape = std::move(shape);
    return t;
}

// --- construction and conversion ------------------------------------------

Tensor from_array(const NdView<const double>& a) {
    Tensor t = with_shape(Dims(a.shape.begin(), a.shape.end()));
    copy_row_major(a, t.data.get());
    return t;
}

Tensor reshape(const Tensor& t, Dims new_shape) {
    auto n = element_count(new_shape);
    if (!n || *n != t.size) value_error("Total number of elements cannot change during reshape.");
    Tensor r;
    r.strides = calculate_strides(new_shape);
    r.shape = std::move(new_shape);
    r.size = t.size;
    r.data = t.data;
    return r;
}

NewArray data_copy(const Tensor& t) {
    auto out = Buffer<double>::uninit(t.size);
    if (t.size) std::memcpy(out.data(), t.begin(), t.size * sizeof(double));
    return NewArray::vector(std::move(out), static_cast<std::int64_t>(t.size));
}

namespace {

// With a seed, one generator in element order; without, each piece of the
// pool's split draws from its thread's generator.
template <class Fill>
Tensor random_fill(Dims shape, std::optional<std::uint64_t> seed, Fill fill) {
    Tensor t = with_shape(std::move(shape));
    double* out = t.data.get();
    if (seed) {
        rnd::SeededGenerator g(*seed);
        fill(g, out, t.size);
    } else {
        par::for_ranges_always(t.size, [&](std::size_t b, std::size_t e) { fill(rnd::thread_generator(), out + b, e - b); });
    }
    return t;
}

}  // namespace

Tensor rand(Dims shape, std::optional<std::uint64_t> seed) {
    return random_fill(std::move(shape), seed, rnd::fill_unit_floats);
}

Tensor randn(Dims shape, std::optional<std::uint64_t> seed) {
    return random_fill(std::move(shape), seed, rnd::fill_normals);
}

// --- arithmetic --------------------------------------------------------------

void check_same_shape(const Tensor& a, const Tensor& b, const char* message) {
    if (a.shape != b.shape) value_error(message);
}

Tensor add(const Tensor& a, const Tensor& b) {
    return zip(a, b, [](double x, double y) { return x + y; });
}

Tensor sub(const Tensor& a, const Tensor& b) {
    return zip(a, b, [](double x, double y) { return x - y; });
}

Tensor mul_elementwise(const Tensor& a, const Tensor& b) {
    return zip(a, b, [](double x, double y) { return x * y; });
}

Tensor mul_scalar(const Tensor& a, double scalar) {
    return map(a, [scalar](double x) { return x * scalar; });
}

Tensor relu_derivative(const Tensor& a) {
    return map(a, [](double x) { return x > 0.0 ? 1.0 : 0.0; });
}

void relu_inplace(double* x, std::size_t n) {
    par::for_ranges(n, [&](std::size_t b, std::size_t e) { relu_range(x + b, e - b); });
}

std::vector<double> bias_row(const Tensor& t, const NdView<const double>& bias) {
    if (t.shape.size() != 2) value_error("add_bias_inplace requires a rank-2 tensor.");
    if (!bias.c_contiguous && !bias.f_contiguous) value_error("Bias array must be contiguous.");
    const auto len = static_cast<std::uint64_t>(bias.count());
    if (len != t.shape[1]) {
        value_error("Bias length must match the second dimension of the tensor: " + std::to_string(len) + " vs " +
                    std::to_string(t.shape[1]) + ".");
    }
    std::vector<double> row(len);
    copy_row_major(bias, row.data());
    return row;
}

void add_bias_inplace(double* x, std::size_t rows, std::size_t cols, const double* bias) {
    if (cols == 0) return;  // no elements, however many rows
    auto body = [&](std::size_t r0, std::size_t r1) {
        for (std::size_t r = r0; r < r1; ++r) add_row(x + r * cols, bias, cols);
    };
    if (rows * cols >= par::kParallelThreshold)
        par::for_ranges_always(rows, body);
    else
        body(0, rows);
}

MatmulProblem check_matmul(const Tensor& a, const Tensor& b, bool transpose_a, bool transpose_b) {
    if (a.shape.size() != 2 || b.shape.size() != 2) value_error("matmul requires rank-2 tensors.");
    MatmulProblem p;
    p.transpose_a = transpose_a;
    p.transpose_b = transpose_b;
    p.m = a.shape[transpose_a];
    p.k = a.shape[!transpose_a];
    const std::uint64_t kb = b.shape[transpose_b];
    p.n = b.shape[!transpose_b];
    if (p.k != kb) {
        value_error("Dimension mismatch for multiplication: " + std::to_string(p.k) + " vs " + std::to_string(kb) +
                    ".");
    }
    return p;
}

Tensor matmul(const Tensor& a, const Tensor& b, const MatmulProblem& p) {
    Tensor r = with_shape({p.m, p.n});
    if (p.k == 0) std::fill_n(r.data.get(), r.size, 0.0);  // an empty sum
    if (r.size == 0 || p.k == 0) return r;
    const auto m64 = static_cast<std::int64_t>(p.m), n64 = static_cast<std::int64_t>(p.n),
               k64 = static_cast<std::int64_t>(p.k);
    // Rows of a stored operand are strides[0] apart; read transposed, its
    // columns are.
    gemm(m64, n64, k64, {a.begin(), static_cast<std::int64_t>(a.strides[0]), p.transpose_a},
         {b.begin(), static_cast<std::int64_t>(b.strides[0]), p.transpose_b}, r.data.get());
    return r;
}

}  // namespace qv::tensor
