// The matrix product for one x86-64 level. Eigen's namespace is renamed per
// level (qv_eigen_avx2, ...), so that no template instantiation is shared
// between levels: the linker could otherwise keep the AVX-512 copy of a
// helper for every caller.
#include "isa/per_level.hpp"

#define QV_EIGEN_NAMESPACE(level) QV_EIGEN_NAMESPACE_(level)
#define QV_EIGEN_NAMESPACE_(level) qv_eigen_##level
#define Eigen QV_EIGEN_NAMESPACE(QV_ISA_LEVEL)
#include <Eigen/Core>

#include <algorithm>
#include <cstddef>
#include <new>

#include "tensor/gemm.hpp"

namespace qv::tensor::QV_ISA_LEVEL {
namespace {

using Eigen::Index;

// Packed operand blocks kept by each thread between products up to this many
// elements (8 MB); a larger block lives for one product only. Allocating a
// block for every product costs more than the small ones' arithmetic: glibc
// hands a fresh block of this size back to the kernel on free, and the next
// product faults every page in again.
constexpr std::size_t kKeptBlock = std::size_t{1} << 20;

class PackBuffer {
public:
    PackBuffer() = default;
    PackBuffer(const PackBuffer&) = delete;
    PackBuffer& operator=(const PackBuffer&) = delete;
    ~PackBuffer() { Eigen::internal::aligned_free(data_); }

    // Room for `size` doubles; throws std::bad_alloc, keeping the old block.
    double* reserve(std::size_t size) {
        if (size <= capacity_) return data_;
        auto* fresh = static_cast<double*>(Eigen::internal::aligned_malloc(size * sizeof(double)));
        Eigen::internal::aligned_free(data_);
        data_ = fresh;
        capacity_ = size;
        return data_;
    }

    void release_above(std::size_t size) {
        if (capacity_ <= size) return;
        Eigen::internal::aligned_free(data_);
        data_ = nullptr;
        capacity_ = 0;
    }

private:
    double* data_ = nullptr;
    std::size_t capacity_ = 0;
};

// Eigen's blocking sizes for the product, with the packing blocks taken from
// the calling thread's buffers instead of a fresh allocation.
class Blocking : public Eigen::internal::level3_blocking<double, double> {
public:
    Blocking(Index rows, Index cols, Index depth) : a_(buffers().a), b_(buffers().b) {
        m_kc = depth;
        m_mc = rows;
        m_nc = cols;
        Eigen::internal::computeProductBlockingSizes<double, double, 1>(m_kc, m_mc, m_nc, Index{1});
        m_blockA = a_.reserve(static_cast<std::size_t>(m_kc) * static_cast<std::size_t>(m_mc));
        m_blockB = b_.reserve(static_cast<std::size_t>(m_kc) * static_cast<std::size_t>(m_nc));
    }
    Blocking(const Blocking&) = delete;
    Blocking& operator=(const Blocking&) = delete;
    ~Blocking() {
        a_.release_above(kKeptBlock);
        b_.release_above(kKeptBlock);
    }

private:
    struct Buffers {
        PackBuffer a, b;
    };
    static Buffers& buffers() {
        static thread_local Buffers kept;
        return kept;
    }
    PackBuffer& a_;
    PackBuffer& b_;
};

template <int Order>
using Operand = Eigen::Map<const Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Order>, Eigen::Unaligned,
                           Eigen::OuterStride<>>;
using Result = Eigen::Map<Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>>;

// A row-major operand read transposed is the same memory in column-major
// order: no element is moved.
template <int Order>
Operand<Order> view(const GemmOperand& x, std::int64_t rows, std::int64_t cols) {
    return Operand<Order>(x.data, rows, cols, Eigen::OuterStride<>(x.ld));
}

template <int OrderA, int OrderB>
void product(std::int64_t m, std::int64_t n, std::int64_t k, const GemmOperand& a, const GemmOperand& b, double* c) {
    // Eigen's own choice for tiny products and matrix-vector ones (no
    // packing); a product of matrices runs on the kept buffers.
    if (m == 1 || n == 1 || m + n + k < 20) {
        Result r(c, m, n);
        r.noalias() = view<OrderA>(a, m, k) * view<OrderB>(b, k, n);
        return;
    }
    // Eigen accumulates into the result, and computes a row-major one as the
    // column-major product of the transposes: its rows are our columns.
    std::fill_n(c, m * n, 0.0);
    Blocking blocking(n, m, k);
    Eigen::internal::general_matrix_matrix_product<Index, double, OrderA, false, double, OrderB, false, Eigen::RowMajor,
                                                   1>::run(m, n, k, a.data, a.ld, b.data, b.ld, c, 1, n, 1.0,
                                                           blocking);
}

}  // namespace

void gemm(std::int64_t m, std::int64_t n, std::int64_t k, GemmOperand a, GemmOperand b, double* c) {
    constexpr int R = Eigen::RowMajor, C = Eigen::ColMajor;
    if (!a.transposed && !b.transposed) product<R, R>(m, n, k, a, b, c);
    else if (!a.transposed) product<R, C>(m, n, k, a, b, c);
    else if (!b.transposed) product<C, R>(m, n, k, a, b, c);
    else product<C, C>(m, n, k, a, b, c);
}

}  // namespace qv::tensor::QV_ISA_LEVEL
