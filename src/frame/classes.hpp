// Class machinery: heap types from specs holding a native record and the
// frame's borrow flag; methods, class methods and constructors declared in
// one line each, like module functions.
//
// A native record type N names its class:  static constexpr char class_name[] = "VaneHashMap";
#pragma once
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "frame/binding.hpp"
#include "frame/borrow.hpp"

namespace qv {

template <class N>
struct Instance {
    PyObject_HEAD
    BorrowFlag flag;
    N native;
};

template <class N>
struct ClassType {
    static inline PyTypeObject* type = nullptr;  // created once per process
};

namespace arg {

// An instance of N's class, borrowed shared or exclusive: as `self`, or as
// an ordinary parameter (Tensor.add's `other`).
template <class N, bool Exclusive>
struct InstanceOf {
    struct storage {
        N* native = nullptr;
        InstanceBorrow borrow;
    };
    static N& get(storage& s) noexcept { return *s.native; }
    static bool convert(PyObject* o, storage& s) {
        if (!ClassType<N>::type || !PyObject_TypeCheck(o, ClassType<N>::type)) {
            raise_cannot_convert(o, N::class_name);
            return false;
        }
        auto* inst = reinterpret_cast<Instance<N>*>(o);
        if (!s.borrow.acquire(inst->flag, Exclusive)) return false;
        s.native = &inst->native;
        return true;
    }
};
template <class N>
using Shared = InstanceOf<N, false>;
template <class N>
using Exclusive = InstanceOf<N, true>;

}  // namespace arg

namespace result {

// A new instance of N's class holding the routine's record.
template <class N>
struct NewInstance {
    N value;
};

template <class N>
PyObject* to_python(NewInstance<N>&& r) {
    PyTypeObject* type = ClassType<N>::type;
    auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    PyObject* o = alloc(type, 0);
    if (!o) return nullptr;
    auto* inst = reinterpret_cast<Instance<N>*>(o);
    new (&inst->flag) BorrowFlag();
    new (&inst->native) N(std::move(r.value));
    return o;
}

}  // namespace result

namespace detail {

template <Name A, Name B>
struct Joined {
    static constexpr auto value = [] {
        std::array<char, sizeof(A.s) + sizeof(B.s)> out{};
        std::size_t k = 0;
        for (std::size_t i = 0; i + 1 < sizeof(A.s); ++i) out[k++] = A.s[i];
        out[k++] = '.';
        for (std::size_t i = 0; i + 1 < sizeof(B.s); ++i) out[k++] = B.s[i];
        out[k] = 0;
        return out;
    }();
};

// Build a fast-call argument vector from a tuple and a dict.
bool vector_args(PyObject* args, PyObject* kwargs, std::vector<PyObject*>& flat, Py_ssize_t& nargs,
                 PyObject*& kwnames);

}  // namespace detail

// An instance method: the routine receives the native record first.
template <class N, Name MName, class SelfKind, Lock L, auto Routine, class... Ps>
struct Method {
    using params = detail::Params<Ps...>;
    static constexpr Name<sizeof(N::class_name)> cls = N::class_name;

    static PyObject* call(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        return guarded([&]() -> PyObject* {
            static constexpr auto& owner = detail::Joined<cls, MName>::value;
            static constexpr detail::Signature sig{owner.data(), params::names, params::count, params::required};
            std::array<PyObject*, params::count + 1> slots{};
            PyObject* const* given = args;  // every parameter given by position: the arguments are the slots
            if (kwnames || nargs != params::count) {
                if (!detail::bind(sig, slots.data(), args, nargs, kwnames)) return nullptr;
                given = slots.data();
            }
            typename SelfKind::storage me;
            if (!SelfKind::convert(self, me)) return nullptr;
            return detail::convert_and_run<L, Routine, params>(owner.data(), given, SelfKind::get(me));
        });
    }
    static PyObject* call_noargs(PyObject* self, PyObject*) noexcept {
        return guarded([&]() -> PyObject* {
            typename SelfKind::storage me;
            if (!SelfKind::convert(self, me)) return nullptr;
            static constexpr auto& owner = detail::Joined<cls, MName>::value;
            return detail::convert_and_run<L, Routine, params>(owner.data(), nullptr, SelfKind::get(me));
        });
    }

    // doc: the text signature block, e.g. "insert($self, key, value)\n--\n\n".
    static PyMethodDef def(const char* doc) {
        if constexpr (sizeof...(Ps) == 0)
            return {MName.s, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&call_noargs)), METH_NOARGS,
                    doc};
        else
            return {MName.s, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&call)),
                    METH_FASTCALL | METH_KEYWORDS, doc};
    }
};

// A class method: the routine receives only the parameters.
template <class N, Name MName, Lock L, auto Routine, class... Ps>
struct ClassMethod {
    using params = detail::Params<Ps...>;
    static constexpr Name<sizeof(N::class_name)> cls = N::class_name;

    static PyObject* call(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
        return guarded([&]() -> PyObject* {
            static constexpr auto& owner = detail::Joined<cls, MName>::value;
            static constexpr detail::Signature sig{owner.data(), params::names, params::count, params::required};
            std::array<PyObject*, params::count + 1> slots{};
            if (!detail::bind(sig, slots.data(), args, nargs, kwnames)) return nullptr;
            return detail::convert_and_run<L, Routine, params>(owner.data(), slots.data());
        });
    }
    static PyMethodDef def(const char* doc) {
        return {MName.s, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&call)),
                METH_FASTCALL | METH_KEYWORDS | METH_CLASS, doc};
    }
};

// The constructor (tp_new): the routine returns the new native record.
template <class N, Lock L, auto Routine, class... Ps>
struct Constructor {
    using params = detail::Params<Ps...>;
    static constexpr Name<sizeof(N::class_name)> cls = N::class_name;

    static PyObject* call(PyTypeObject*, PyObject* args, PyObject* kwargs) noexcept {
        return guarded([&]() -> PyObject* {
            static constexpr auto& owner = detail::Joined<cls, Name("__new__")>::value;
            static constexpr detail::Signature sig{owner.data(), params::names, params::count, params::required};
            std::vector<PyObject*> flat;
            Py_ssize_t nargs = 0;
            PyObject* kwnames = nullptr;
            if (!detail::vector_args(args, kwargs, flat, nargs, kwnames)) return nullptr;
            std::array<PyObject*, params::count + 1> slots{};
            bool bound = detail::bind(sig, slots.data(), flat.data(), nargs, kwnames);
            Py_XDECREF(kwnames);
            if (!bound) return nullptr;
            return detail::convert_and_run<L, wrap, params>(owner.data(), slots.data());
        });
    }

private:
    template <class... A>
    static result::NewInstance<N> wrap_impl(A&&... a) {
        return {Routine(std::forward<A>(a)...)};
    }
    static constexpr auto wrap = [](auto&&... a) { return wrap_impl(std::forward<decltype(a)>(a)...); };
};

// A read-only property: the routine reads the record under a shared borrow.
template <class N, auto Routine>
struct Getter {
    static PyObject* get(PyObject* self, void*) noexcept {
        return guarded([&]() -> PyObject* {
            typename arg::Shared<N>::storage me;
            if (!arg::Shared<N>::convert(self, me)) return nullptr;
            using result::to_python;
            return to_python(Routine(arg::Shared<N>::get(me)));
        });
    }
    static PyGetSetDef def(const char* name) { return {name, &get, nullptr, nullptr, nullptr}; }
};

// repr(): "Name(" + the routine's text + ")". Debuggers, loggers and
// tracebacks call repr at any moment, so an instance that a writer holds
// exclusively shows as "Name(<borrowed>)" instead of raising. The routine
// runs with the lock held and calls no Python code, so no borrow can change
// while it reads: it needs none of its own.
template <class N, auto Routine>
PyObject* repr(PyObject* self) noexcept {
    return guarded([&]() -> PyObject* {
        const auto* inst = reinterpret_cast<const Instance<N>*>(self);
        const bool written = inst->flag.state < 0;
        const std::string text =
            std::string(N::class_name) + "(" + (written ? std::string("<borrowed>") : Routine(inst->native)) + ")";
        return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    });
}

// Release an instance: run the record's destructor and free the object.
template <class N>
void dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    reinterpret_cast<Instance<N>*>(self)->native.~N();
    auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    free_fn(self);
    Py_DECREF(type);
}

// Create the heap type once per process. Not subclassable, no __dict__, no
// weak references. `slots` ends with {0, nullptr}; dealloc is added here.
template <class N>
PyObject* create_type(const char* doc, std::vector<PyType_Slot> slots) {
    if (ClassType<N>::type) return Py_NewRef(reinterpret_cast<PyObject*>(ClassType<N>::type));
    slots.insert(slots.begin(), {Py_tp_dealloc, reinterpret_cast<void*>(&dealloc<N>)});
    slots.insert(slots.begin(), {Py_tp_doc, const_cast<char*>(doc)});
    if (slots.back().slot != 0) slots.push_back({0, nullptr});
    static std::vector<PyType_Slot> kept;  // the slot table must outlive the type's creation
    kept = std::move(slots);
    // Named with the module, so that __module__ is "quorvane": a bare name
    // makes the interpreter warn (DeprecationWarning) on every import.
    static const std::string qualified = std::string("quorvane.") + N::class_name;
    static PyType_Spec description{qualified.c_str(), static_cast<int>(sizeof(Instance<N>)), 0,
                                   Py_TPFLAGS_DEFAULT, kept.data()};
    PyObject* type = PyType_FromSpec(&description);
    if (!type) return nullptr;
    ClassType<N>::type = reinterpret_cast<PyTypeObject*>(type);
    return Py_NewRef(type);  // one reference kept for the process
}

}  // namespace qv
