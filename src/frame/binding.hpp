// The call frame: one line declares an entry point -- its name, its
// parameters (kind, name, default), the routine, and whether the routine
// runs with the interpreter lock released:
//
//   using gcd = Function<"gcd", Lock::Held, numeric::gcd, P<arg::Int64, "a">, P<arg::Int64, "b">>;
//
// The frame binds positional and keyword arguments, converts them in
// signature order, runs the routine, converts its result, and turns every
// failure into a Python exception.
#pragma once
#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "frame/args.hpp"
#include "frame/failure.hpp"
#include "frame/python.hpp"
#include "frame/results.hpp"

namespace qv {

template <std::size_t N>
struct Name {
    char s[N];
    constexpr Name(const char (&a)[N]) { std::copy_n(a, N, s); }
};

struct NoDefault {};

// One parameter: its kind, its name and, optionally, its default.
template <class Kind, Name N, auto Default = NoDefault{}>
struct P {
    using kind = Kind;
    static constexpr const char* name = N.s;
    static constexpr bool required = std::is_same_v<std::remove_cv_t<decltype(Default)>, NoDefault>;
    static typename Kind::storage default_value() { return arg::from_default<Kind>(Default); }
};

enum class Lock { Held, Released };

// Lock::Released, except that the lock stays held when Quick(arguments...)
// says the work is too little to pay for releasing and retaking it.
template <auto Quick>
struct ReleasedUnless {
    template <class... A>
    static bool release(const A&... a) {
        return !Quick(a...);
    }
};

namespace detail {

struct Signature {
    const char* owner;  // "gcd", "VaneHashMap.insert"
    const char* const* names;
    int count;
    int required;
};

// Fill slots[0..count) from positional and keyword arguments (borrowed
// references), or raise the binding TypeError.
bool bind(const Signature& sig, PyObject** slots, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
// Prefix a TypeError raised while converting parameter `name`.
void prefix_type_error(const char* name);

template <class... Ps>
struct Params {
    static constexpr int count = sizeof...(Ps);
    static constexpr int required = (0 + ... + (Ps::required ? 1 : 0));
    static constexpr const char* names[count + 1] = {Ps::name..., nullptr};
    using storage = std::tuple<typename Ps::kind::storage...>;

    // owner names the entry point in borrow refusals; call is this call's id,
    // drawn when its first array is borrowed.
    template <std::size_t I = 0>
    static bool convert(PyObject* const* slots, storage& st, const char* owner, std::uint64_t call = 0) {
        if constexpr (I == sizeof...(Ps)) {
            return true;
        } else {
            using Param = std::tuple_element_t<I, std::tuple<Ps...>>;
            if constexpr (requires { std::get<I>(st).site; }) {
                if (!call) call = next_call_id();
                std::get<I>(st).site = {owner, Param::name, call};
            }
            if (slots[I]) {
                if (!Param::kind::convert(slots[I], std::get<I>(st))) {
                    prefix_type_error(Param::name);
                    return false;
                }
            } else if constexpr (!Param::required) {
                std::get<I>(st) = Param::default_value();
            }
            return convert<I + 1>(slots, st, owner, call);
        }
    }

    template <std::size_t I>
    static decltype(auto) get(storage& st) {
        using Param = std::tuple_element_t<I, std::tuple<Ps...>>;
        return Param::kind::get(std::get<I>(st));
    }
};

template <auto L, class Ps, std::size_t... I>
void release(std::optional<ReleasedLock>& unlocked, typename Ps::storage& st, std::index_sequence<I...>) {
    if constexpr (std::is_same_v<decltype(L), Lock>) {
        if constexpr (L == Lock::Released) unlocked.emplace();
    } else if (decltype(L)::release(Ps::template get<I>(st)...)) {
        unlocked.emplace();
    }
}

// Run the routine, with the lock released if asked, and convert its result.
template <auto L, auto Routine, class Ps, std::size_t... I, class... Pre>
PyObject* run(typename Ps::storage& st, std::index_sequence<I...> seq, Pre&&... pre) {
    using result::to_python;
    auto call = [&]() -> decltype(auto) { return Routine(std::forward<Pre>(pre)..., Ps::template get<I>(st)...); };
    using R = decltype(call());
    std::optional<ReleasedLock> unlocked;
    if constexpr (std::is_void_v<R>) {
        release<L, Ps>(unlocked, st, seq);
        call();
        unlocked.reset();
        Py_RETURN_NONE;
    } else {
        static_assert(!std::is_reference_v<R>, "routines return values");
        std::optional<R> r;
        release<L, Ps>(unlocked, st, seq);
        r.emplace(call());
        unlocked.reset();
        return to_python(std::move(*r));
    }
}

template <auto L, auto Routine, class Ps, class... Pre>
PyObject* convert_and_run(const char* owner, PyObject* const* slots, Pre&&... pre) {
    typename Ps::storage st;
    if (!Ps::convert(slots, st, owner)) return nullptr;
    return run<L, Routine, Ps>(st, std::make_index_sequence<Ps::count>{}, std::forward<Pre>(pre)...);
}

}  // namespace detail

// A module-level function. L: a Lock or a ReleasedUnless.
template <Name FName, auto L, auto Routine, class... Ps>
struct Function {
    using params = detail::Params<Ps...>;
    static constexpr const char* name = FName.s;

    static PyObject* call(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        return guarded([&]() -> PyObject* {
            // Every parameter given by position: the arguments are the slots.
            if (!kwnames && nargs == params::count) return detail::convert_and_run<L, Routine, params>(FName.s, args);
            static constexpr detail::Signature sig{FName.s, params::names, params::count, params::required};
            std::array<PyObject*, params::count + 1> slots{};
            if (!detail::bind(sig, slots.data(), args, nargs, kwnames)) return nullptr;
            return detail::convert_and_run<L, Routine, params>(FName.s, slots.data());
        });
    }

    // doc: the text signature block "name(params)\n--\n\n" and docstring.
    static PyMethodDef def(const char* doc) {
        return {FName.s, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&call)),
                METH_FASTCALL | METH_KEYWORDS, doc};
    }
};

}  // namespace qv
