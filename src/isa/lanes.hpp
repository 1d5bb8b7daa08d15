// Formulas written once for a double, a vector of doubles (Vec<W>::f64) or a
// group of G such vectors (Group<V, G>), with the same operations, so the
// same bits, in each lane. A group issues every operation for its G vectors
// in turn: their dependency chains interleave in program order, and a
// formula whose chain is long next to its work (tanh) keeps the processor's
// pipes busier than one vector at a time does.
#pragma once
#include <bit>
#include <cstdint>
#include <type_traits>

#include "isa/level.hpp"

namespace qv::isa {
inline namespace QV_ISA_INLINE {

template <class V, int G>
struct Group {
    using Member = V;
    static constexpr int kSize = G;
    V v[G];
};

namespace detail {
template <class T>
struct IsGroup : std::false_type {};
template <class V, int G>
struct IsGroup<Group<V, G>> : std::true_type {};

template <class T>
struct BitsOf {  // a vector of doubles: the vector of their 64-bit patterns
    typedef std::uint64_t type __attribute__((vector_size(sizeof(T))));
};
template <>
struct BitsOf<double> {
    using type = std::uint64_t;
};
template <class V, int G>
struct BitsOf<Group<V, G>> {
    using type = Group<typename BitsOf<V>::type, G>;
};
}  // namespace detail

// The type holding the bit patterns of T's doubles, lane for lane.
template <class T>
using Bits = typename detail::BitsOf<T>::type;

#define QV_GROUP_OPERATOR(op)                                                                       \
    template <class V, int G>                                                                       \
    [[gnu::always_inline]] inline Group<V, G> operator op(const Group<V, G>& a, const Group<V, G>& b) { \
        Group<V, G> r;                                                                              \
        for (int i = 0; i < G; ++i) r.v[i] = a.v[i] op b.v[i];                                      \
        return r;                                                                                   \
    }                                                                                               \
    template <class V, int G, class S, class = std::enable_if_t<std::is_arithmetic_v<S>>>           \
    [[gnu::always_inline]] inline Group<V, G> operator op(const Group<V, G>& a, S b) {              \
        Group<V, G> r;                                                                              \
        for (int i = 0; i < G; ++i) r.v[i] = a.v[i] op b;                                           \
        return r;                                                                                   \
    }                                                                                               \
    template <class V, int G, class S, class = std::enable_if_t<std::is_arithmetic_v<S>>>           \
    [[gnu::always_inline]] inline Group<V, G> operator op(S a, const Group<V, G>& b) {              \
        Group<V, G> r;                                                                              \
        for (int i = 0; i < G; ++i) r.v[i] = a op b.v[i];                                           \
        return r;                                                                                   \
    }
QV_GROUP_OPERATOR(+)
QV_GROUP_OPERATOR(-)
QV_GROUP_OPERATOR(*)
QV_GROUP_OPERATOR(/)
QV_GROUP_OPERATOR(&)
QV_GROUP_OPERATOR(|)
QV_GROUP_OPERATOR(<<)
QV_GROUP_OPERATOR(>>)
#undef QV_GROUP_OPERATOR

template <class V, int G>
[[gnu::always_inline]] inline Group<V, G> operator-(const Group<V, G>& a) {
    Group<V, G> r;
    for (int i = 0; i < G; ++i) r.v[i] = -a.v[i];
    return r;
}

// Applies f to each vector of a group (or to a lone double or vector).
template <class T, class F>
[[gnu::always_inline]] inline auto each(const T& a, F f) {
    if constexpr (detail::IsGroup<T>::value) {
        Group<decltype(f(a.v[0])), T::kSize> r;
        for (int i = 0; i < T::kSize; ++i) r.v[i] = f(a.v[i]);
        return r;
    } else {
        return f(a);
    }
}

template <class T>
[[gnu::always_inline]] inline Bits<T> bits(const T& v) {
    if constexpr (std::is_same_v<T, double>)
        return std::bit_cast<std::uint64_t>(v);
    else if constexpr (detail::IsGroup<T>::value)
        return each(v, [](auto x) { return bits(x); });
    else
        return (Bits<T>)v;  // a vector cast keeps the bits
}

template <class T>
[[gnu::always_inline]] inline T from_bits(const Bits<T>& u) {
    if constexpr (std::is_same_v<T, double>) {
        return std::bit_cast<double>(u);
    } else if constexpr (detail::IsGroup<T>::value) {
        T r;
        for (int i = 0; i < T::kSize; ++i) r.v[i] = from_bits<typename T::Member>(u.v[i]);
        return r;
    } else {
        return (T)u;
    }
}

// c in every lane (one broadcast: constant folding leaves T{} + c as c).
template <class T>
[[gnu::always_inline]] inline T splat(double c) {
    return T{} + c;
}

// The one NaN of every computed result: positive, quiet, no payload (the
// bits of NumPy's nan and Python's float('nan')). An x86 instruction hands on
// one operand's NaN, chosen by the order of its operands (which each level's
// build picks for itself), and makes -NaN of an invalid operation such as
// inf - inf, so a kernel passes each result through canonical_nan as it
// stores it.
inline constexpr double kCanonicalNaN = std::bit_cast<double>(std::uint64_t{0x7ff8000000000000});

// v, with every NaN lane made kCanonicalNaN (a compare and a blend).
template <class T>
[[gnu::always_inline]] inline T canonical_nan(const T& v) {
    if constexpr (detail::IsGroup<T>::value)
        return each(v, [](auto x) { return canonical_nan(x); });
    else
        return v == v ? v : splat<T>(kCanonicalNaN);
}

// c where c < a, else a, lane by lane: a NaN lane keeps its NaN and raises
// the invalid flag (see canonical_after in elementwise.hpp).
template <class T>
[[gnu::always_inline]] inline T no_more_than(double c, const T& a) {
    if constexpr (detail::IsGroup<T>::value)
        return each(a, [c](auto x) { return no_more_than(c, x); });
    else
        return splat<T>(c) < a ? splat<T>(c) : a;
}

// c where c > a, else a, lane by lane: a NaN lane keeps its NaN and raises
// the invalid flag.
template <class T>
[[gnu::always_inline]] inline T no_less_than(double c, const T& a) {
    if constexpr (detail::IsGroup<T>::value)
        return each(a, [c](auto x) { return no_less_than(c, x); });
    else
        return splat<T>(c) > a ? splat<T>(c) : a;
}

namespace detail {
// then where holds(a, c), else otherwise, lane by lane.
template <class T, class Holds>
[[gnu::always_inline]] inline T where(const T& a, double c, const T& then, const T& otherwise, Holds holds) {
    if constexpr (IsGroup<T>::value) {
        T r;
        for (int i = 0; i < T::kSize; ++i) r.v[i] = where(a.v[i], c, then.v[i], otherwise.v[i], holds);
        return r;
    } else {
        return holds(a, splat<T>(c)) ? then : otherwise;
    }
}
}  // namespace detail

// then where a > c, else otherwise, lane by lane (NaN lanes: otherwise).
template <class T>
[[gnu::always_inline]] inline T where_above(const T& a, double c, const T& then, const T& otherwise) {
    return detail::where(a, c, then, otherwise, [](const auto& x, const auto& y) __attribute__((always_inline)) {
        return x > y;
    });
}

// then where a <= c, else otherwise, lane by lane (NaN lanes: otherwise,
// raising the invalid flag).
template <class T>
[[gnu::always_inline]] inline T where_at_most(const T& a, double c, const T& then, const T& otherwise) {
    return detail::where(a, c, then, otherwise, [](const auto& x, const auto& y) __attribute__((always_inline)) {
        return x <= y;
    });
}

}  // namespace QV_ISA_INLINE
}  // namespace qv::isa
