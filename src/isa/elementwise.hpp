// The elementwise map loops of the kernels built per level, which the
// compiler vectorises where f makes no library call: the Tensor's methods
// and the activations. Elements are stored through canonical_nan
// (lanes.hpp), or made canonical after the loop (canonical_after), so that a
// NaN result has the same bits at every level.
#pragma once
#include <xmmintrin.h>

#include <cstddef>

#include "isa/lanes.hpp"
#include "isa/per_level.hpp"

namespace qv::isa {
inline namespace QV_ISA_INLINE {

// How a map stores f's results: through canonical_nan, or as they are, for
// a formula whose only NaN can be the canonical one (relu's choice of v or
// 0.0). There the compare and blend would be wasted, and GCC may even
// compile the loop without vectors when it has them.
enum class Store { canonical, as_is };

template <Store S, class R>
[[gnu::always_inline]] inline R stored(const R& r) {
    if constexpr (S == Store::canonical)
        return canonical_nan(r);
    else
        return r;
}

// out[i] = f(x[i * step]) for i < n; a unit step is the vector loop.
template <Store S = Store::canonical, class F>
[[gnu::always_inline]] inline void map(const double* x, std::ptrdiff_t step, double* out, std::size_t n, F f) {
    if (step == 1) {
        for (std::size_t i = 0; i < n; ++i) out[i] = stored<S>(f(x[i]));
    } else {
        for (std::size_t i = 0; i < n; ++i) out[i] = stored<S>(f(x[static_cast<std::ptrdiff_t>(i) * step]));
    }
}

// out[i] = f(x[i]) for i < n, G vectors of the level's width at a time: f
// takes and returns an isa::Group of G vectors (lanes.hpp). The last, partial
// block goes through a copy padded with zeros.
template <int G, Store S = Store::canonical, class F>
[[gnu::always_inline]] inline void map_grouped(const double* x, double* out, std::size_t n, F f) {
    using T = Group<F64, G>;
    constexpr std::size_t kBlock = kWidth * G;
    std::size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        T v;
        for (int g = 0; g < G; ++g) __builtin_memcpy(&v.v[g], x + i + g * kWidth, sizeof(F64));
        const T r = stored<S>(f(v));
        for (int g = 0; g < G; ++g) __builtin_memcpy(out + i + g * kWidth, &r.v[g], sizeof(F64));
    }
    if (i < n) {
        T v{};
        __builtin_memcpy(&v, x + i, (n - i) * sizeof(double));
        const T r = stored<S>(f(v));
        __builtin_memcpy(out + i, &r, (n - i) * sizeof(double));
    }
}

// Runs loop, which stores n results in out as they are; then, only if some
// lane met a NaN or made one, makes every NaN of out the canonical one in a
// second pass. Whether one did is read off the processor's invalid flag: an
// invalid operation (inf - inf, 0 * inf) raises it, and so does a NaN operand
// of an ordered compare (<, <=) or of a minimum or maximum. It serves
// formulas in which every NaN input meets one of these on its way to the
// result, as the clamps of exp and tanh (no_more_than, no_less_than,
// where_at_most) see to; the cross-level battery checks that no other NaN
// comes out. Costs nothing per element, where a compare and blend at every
// store cost the activations 4 to 8 % at AVX2. The caller's flags are kept,
// and those the loop raises join them.
template <class Loop>
[[gnu::always_inline]] inline void canonical_after(double* out, std::size_t n, Loop loop) {
    // Writing the control register costs a few dozen cycles: it is written
    // only when the flag is already up, to lower it and raise it again.
    const unsigned before = _mm_getcsr();
    const bool raised_before = before & _MM_EXCEPT_INVALID;
    if (raised_before) _mm_setcsr(before & ~unsigned{_MM_EXCEPT_INVALID});
    asm volatile("" ::: "memory");  // the loop's loads and stores stay between
    loop();
    asm volatile("" ::: "memory");
    const unsigned after = _mm_getcsr();
    if (raised_before) _mm_setcsr(after | _MM_EXCEPT_INVALID);
    if (after & _MM_EXCEPT_INVALID)
        for (std::size_t i = 0; i < n; ++i) out[i] = canonical_nan(out[i]);
}

// out[i] = f(a[i], b[i]) for i < n; out overlaps neither input.
template <class F>
[[gnu::always_inline]] inline void map(const double* a, const double* b, double* __restrict out, std::size_t n, F f) {
    for (std::size_t i = 0; i < n; ++i) out[i] = canonical_nan(f(a[i], b[i]));
}

}  // namespace QV_ISA_INLINE
}  // namespace qv::isa
