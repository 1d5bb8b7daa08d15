#include "tensor/gemm.hpp"

namespace qv::tensor {

void gemm(std::int64_t m, std::int64_t n, std::int64_t k, GemmOperand a, GemmOperand b, double* c) {
    static const auto fn = QV_ISA_PICK(gemm);
    fn(m, n, k, a, b, c);
}

}  // namespace qv::tensor
