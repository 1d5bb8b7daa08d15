// The activations and their derivatives for one x86-64 level (see
// isa/per_level.hpp).
#include "isa/elementwise.hpp"

#include "dl/dl_level.hpp"
#include "dl/vmath.hpp"

namespace qv::dl::QV_ISA_LEVEL {
namespace {

template <class T>
[[gnu::always_inline]] inline T sigmoid_of(T v) {
    return 1.0 / (vm::exp(-v) + 1.0);
}

// The chains of dependent steps of tanh and exp are long next to their
// work, and taking several vectors at a time fills the pipes better: four
// at AVX-512 (32 registers) and at the baseline, where it measured 14 % and
// 9 % faster for tanh, 8 % and 5 % for sigmoid. At AVX2 groups spill more
// than they gain: tanh takes one vector at a time, and the formulas on exp
// the compiler's own vector loop (G = 0), which is faster there.
constexpr bool kGroups = isa::kLevel != isa::Level::avx2;
constexpr int kExpGroup = kGroups ? 4 : 0;
constexpr int kTanhGroup = kGroups ? 4 : 1;
// Short loops (leaky_relu): several vectors a step, two at AVX2.
constexpr int kShortGroup = kGroups ? 4 : 2;

// f over x, G vectors at a time at a unit step, or for G = 0 in the
// compiler's own loop (f takes a double, a vector or a group). Every NaN x
// meets a minimum or maximum (the clamps of exp and tanh) or an ordered
// compare of vectors, all of which raise the invalid flag, and a NaN alpha
// is made canonical before it is used: so at a unit step the results are
// stored as they are and made canonical afterwards, only when a NaN was met
// (isa::canonical_after). A compare of two doubles may be compiled to a
// quiet one: a formula whose NaNs meet only a compare (leaky_relu) takes
// groups, whose tail is a vector too, not the compiler's scalar tail.
template <int G, class F>
[[gnu::always_inline]] inline void map_formula(const double* x, std::ptrdiff_t step, double* out, std::size_t n,
                                               F f) {
    if (step != 1) {
        isa::map(x, step, out, n, f);
        return;
    }
    isa::canonical_after(out, n, [&]() __attribute__((always_inline)) {
        if constexpr (G == 0)
            isa::map<isa::Store::as_is>(x, 1, out, n, f);
        else
            isa::map_grouped<G, isa::Store::as_is>(x, out, n, f);
    });
}

}  // namespace

// relu's loop is short: at the baseline, one vector of two doubles a step,
// it ran 1.5 times slower where the linker happened to put it across a
// 64-byte line. Four vectors a step (where groups pay, as for exp) do not
// mind where they lie.
void relu(const double* x, std::ptrdiff_t step, double* out, std::size_t n) {
    if (kExpGroup > 0 && step == 1)
        isa::map_grouped<kExpGroup, isa::Store::as_is>(x, out, n, [](auto v) __attribute__((always_inline)) {
            return isa::where_above(v, 0.0, v, decltype(v){});
        });
    else
        isa::map<isa::Store::as_is>(x, step, out, n, [](double v) { return v > 0.0 ? v : 0.0; });
}

void relu_derivative(const double* x, std::ptrdiff_t step, double* out, std::size_t n) {
    isa::map<isa::Store::as_is>(x, step, out, n, [](double v) { return v > 0.0 ? 1.0 : 0.0; });
}

void leaky_relu(const double* x, std::ptrdiff_t step, double* out, std::size_t n, double alpha) {
    const double a = isa::canonical_nan(alpha);
    map_formula<kShortGroup>(x, step, out, n, [a](auto v) __attribute__((always_inline)) {
        return isa::where_above(v, 0.0, v, a * v);
    });
}

void leaky_relu_derivative(const double* x, std::ptrdiff_t step, double* out, std::size_t n, double alpha) {
    const double a = isa::canonical_nan(alpha);
    isa::map<isa::Store::as_is>(x, step, out, n, [a](double v) { return v > 0.0 ? 1.0 : a; });
}

void elu(const double* x, std::ptrdiff_t step, double* out, std::size_t n, double alpha) {
    const double a = isa::canonical_nan(alpha);
    map_formula<kExpGroup>(x, step, out, n, [a](auto v) __attribute__((always_inline)) {
        auto e = vm::exp(v);  // for every element, so that the select vectorises
        return isa::where_above(v, 0.0, v, (e - 1.0) * a);
    });
}

void elu_derivative(const double* x, std::ptrdiff_t step, double* out, std::size_t n, double alpha) {
    const double a = isa::canonical_nan(alpha);
    map_formula<kExpGroup>(x, step, out, n, [a](auto v) __attribute__((always_inline)) {
        auto e = vm::exp(v);
        return isa::where_above(v, 0.0, isa::splat<decltype(v)>(1.0), e * a);
    });
}

// The tanh approximation; 0.7978845608028654 is the double nearest sqrt(2/pi).
void gelu(const double* x, std::ptrdiff_t step, double* out, std::size_t n) {
    map_formula<kTanhGroup>(x, step, out, n, [](auto v) __attribute__((always_inline)) {
        auto u = ((v * v) * v) * 0.044715 + v;
        auto w = u * 0.7978845608028654;
        return (v * 0.5) * (vm::tanh(w) + 1.0);
    });
}

void silu(const double* x, std::ptrdiff_t step, double* out, std::size_t n) {
    map_formula<kExpGroup>(x, step, out, n,
                           [](auto v) __attribute__((always_inline)) { return v / (vm::exp(-v) + 1.0); });
}

void silu_derivative(const double* x, std::ptrdiff_t step, double* out, std::size_t n) {
    map_formula<kExpGroup>(x, step, out, n, [](auto v) __attribute__((always_inline)) {
        auto s = sigmoid_of(v);
        return ((1.0 - s) * (v * s)) + s;
    });
}

void sigmoid(const double* x, std::ptrdiff_t step, double* out, std::size_t n) {
    map_formula<kExpGroup>(x, step, out, n, [](auto v) __attribute__((always_inline)) { return sigmoid_of(v); });
}

void sigmoid_derivative(const double* x, std::ptrdiff_t step, double* out, std::size_t n) {
    map_formula<kExpGroup>(x, step, out, n, [](auto v) __attribute__((always_inline)) {
        auto s = sigmoid_of(v);
        return (1.0 - s) * s;
    });
}

void tanh(const double* x, std::ptrdiff_t step, double* out, std::size_t n) {
    map_formula<kTanhGroup>(x, step, out, n, [](auto v) __attribute__((always_inline)) { return vm::tanh(v); });
}

void tanh_derivative(const double* x, std::ptrdiff_t step, double* out, std::size_t n) {
    map_formula<kTanhGroup>(x, step, out, n, [](auto v) __attribute__((always_inline)) {
        auto t = vm::tanh_of_abs(v);  // t * t is the same either sign
        return 1.0 - t * t;
    });
}

}  // namespace qv::dl::QV_ISA_LEVEL
