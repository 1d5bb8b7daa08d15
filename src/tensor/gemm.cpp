#include "tensor/gemm.hpp"

#include <cstdlib>
#include <cstring>

namespace qv::tensor {

IsaLevel cpu_level() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("x86-64-v4")) return IsaLevel::Avx512;
    if (__builtin_cpu_supports("x86-64-v3")) return IsaLevel::Avx2;
    return IsaLevel::Baseline;
}

IsaLevel gemm_level_for(const char* request, IsaLevel cpu) {
    if (!request) return cpu;
    IsaLevel asked;
    if (std::strcmp(request, "baseline") == 0) asked = IsaLevel::Baseline;
    else if (std::strcmp(request, "avx2") == 0) asked = IsaLevel::Avx2;
    else if (std::strcmp(request, "avx512") == 0) asked = IsaLevel::Avx512;
    else return cpu;
    return asked < cpu ? asked : cpu;
}

IsaLevel gemm_level() {
    static const IsaLevel level = gemm_level_for(std::getenv("QUORVANE_GEMM_ISA"), cpu_level());
    return level;
}

GemmFn gemm_at(IsaLevel level) {
    switch (level) {
        case IsaLevel::Avx512: return levels::gemm_avx512;
        case IsaLevel::Avx2: return levels::gemm_avx2;
        case IsaLevel::Baseline: break;
    }
    return levels::gemm_baseline;
}

void gemm(std::int64_t m, std::int64_t n, std::int64_t k, GemmOperand a, GemmOperand b, double* c) {
    static const GemmFn fn = gemm_at(gemm_level());
    fn(m, n, k, a, b, c);
}

}  // namespace qv::tensor
