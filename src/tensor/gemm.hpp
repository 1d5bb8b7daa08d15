// Double-precision matrix product through Eigen, built once per x86-64
// level (gemm_level.cpp) and chosen at run time. Plain C++.
#pragma once
#include <cstdint>

namespace qv::tensor {

// One operand in row-major storage with `ld` elements between rows; read
// transposed when `transposed` (its rows are then the product's columns).
struct GemmOperand {
    const double* data;
    std::int64_t ld;
    bool transposed;
};

// c (m x n, row-major, contiguous) = op(a) (m x k) * op(b) (k x n), on the
// calling thread. Needs m, n, k > 0.
using GemmFn = void (*)(std::int64_t m, std::int64_t n, std::int64_t k, GemmOperand a, GemmOperand b, double* c);

enum class IsaLevel { Baseline, Avx2, Avx512 };

// The level the product runs at: the best this processor has, or a lower one
// asked for by QUORVANE_GEMM_ISA ("baseline", "avx2", "avx512"); a level
// above the processor's, or any other value, is ignored. Read once.
IsaLevel gemm_level();
// The choice for the variable's value (nullptr: unset) on a processor whose
// best level is `cpu`.
IsaLevel gemm_level_for(const char* request, IsaLevel cpu);
// The best level this processor (and its operating system) supports.
IsaLevel cpu_level();
// The product built for one level; callers must not pick one the processor
// lacks.
GemmFn gemm_at(IsaLevel level);

void gemm(std::int64_t m, std::int64_t n, std::int64_t k, GemmOperand a, GemmOperand b, double* c);

// The entry points of gemm_level.cpp, one per build.
namespace levels {
void gemm_baseline(std::int64_t m, std::int64_t n, std::int64_t k, GemmOperand a, GemmOperand b, double* c);
void gemm_avx2(std::int64_t m, std::int64_t n, std::int64_t k, GemmOperand a, GemmOperand b, double* c);
void gemm_avx512(std::int64_t m, std::int64_t n, std::int64_t k, GemmOperand a, GemmOperand b, double* c);
}  // namespace levels

}  // namespace qv::tensor
