// The matrix product for one x86-64 level. The build compiles this file once
// per level with that level's -march, QV_GEMM_ENTRY naming its entry point
// and Eigen's namespace renamed (-DEigen=...), so that no template
// instantiation is shared between levels: the linker could otherwise keep
// the AVX-512 copy of a helper for every caller.
#include <Eigen/Core>

#include "tensor/gemm.hpp"

namespace qv::tensor::levels {
namespace {

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
    Result r(c, m, n);
    r.noalias() = view<OrderA>(a, m, k) * view<OrderB>(b, k, n);
}

}  // namespace

void QV_GEMM_ENTRY(std::int64_t m, std::int64_t n, std::int64_t k, GemmOperand a, GemmOperand b, double* c) {
    constexpr int R = Eigen::RowMajor, C = Eigen::ColMajor;
    if (!a.transposed && !b.transposed) product<R, R>(m, n, k, a, b, c);
    else if (!a.transposed) product<R, C>(m, n, k, a, b, c);
    else if (!b.transposed) product<C, R>(m, n, k, a, b, c);
    else product<C, C>(m, n, k, a, b, c);
}

}  // namespace qv::tensor::levels
