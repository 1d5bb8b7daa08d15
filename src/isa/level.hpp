// The x86-64 level the vector kernels run at: baseline (SSE2), avx2
// (x86-64-v3: AVX2, FMA, BMI2) or avx512 (x86-64-v4). A kernel is built once
// per level from one source (a *_level.cpp file listed in qv_per_level() in
// CMakeLists.txt), each build in its own namespace named after the level,
// and the caller picks the build for the level in use. Plain C++.
#pragma once

namespace qv::isa {

enum class Level { baseline, avx2, avx512 };

inline constexpr Level kLevels[] = {Level::baseline, Level::avx2, Level::avx512};

const char* name(Level level) noexcept;

// The best level this processor (and its operating system) supports.
Level cpu_level() noexcept;

// The level for the value of QUORVANE_ISA (nullptr: unset) on a processor
// whose best level is `cpu`: the level asked for ("baseline", "avx2",
// "avx512") when the processor has it; any other value, or a level above the
// processor's, leaves `cpu`.
Level level_for(const char* request, Level cpu) noexcept;

// The level every kernel runs at: cpu_level(), lowered by QUORVANE_ISA.
// Read once.
Level level() noexcept;

// Whether this processor can run code built for `l`.
inline bool supported(Level l) noexcept { return l <= cpu_level(); }

// One of three builds of a kernel by level.
template <class F>
F pick(Level l, F baseline, F avx2, F avx512) noexcept {
    switch (l) {
        case Level::avx512: return avx512;
        case Level::avx2: return avx2;
        case Level::baseline: break;
    }
    return baseline;
}

}  // namespace qv::isa

// The inline namespace that shared inline kernel code (templates, inline
// functions) lives in: the level's own in a per-level build (see
// isa/per_level.hpp), `ordinary` in every other source.
#ifdef QV_ISA_LEVEL
#define QV_ISA_INLINE QV_ISA_LEVEL
#else
#define QV_ISA_INLINE ordinary
#endif

// Declares a kernel once for every level, inside the namespace where it
// appears: QV_ISA_DECLARE(void relu(const double*, double*, std::size_t))
// in qv::dl declares qv::dl::baseline::relu, qv::dl::avx2::relu and
// qv::dl::avx512::relu, which the level builds of a *_level.cpp define.
#define QV_ISA_DECLARE(...)      \
    namespace baseline {         \
    __VA_ARGS__;                 \
    }                            \
    namespace avx2 {             \
    __VA_ARGS__;                 \
    }                            \
    namespace avx512 {           \
    __VA_ARGS__;                 \
    }

// The build of a kernel declared by QV_ISA_DECLARE for a level, or for the
// level in use.
#define QV_ISA_AT(level, name) ::qv::isa::pick(level, baseline::name, avx2::name, avx512::name)
#define QV_ISA_PICK(name) QV_ISA_AT(::qv::isa::level(), name)
