// Mapping failures onto Python exceptions.
#pragma once
#include <exception>
#include <new>

#include "core/error.hpp"
#include "frame/python.hpp"

namespace qv {

// The exception class for internal failures: a BaseException subclass, so
// that `except Exception` does not swallow a fault of the module itself.
PyObject* internal_failure_type();
void raise_internal(const char* message);
// Set the Python exception for a routine's error.
void raise_error(const Error& e);
// "'<type name>' object cannot be converted to '<target>'" as a TypeError.
void raise_cannot_convert(PyObject* obj, const char* target);

// Run f (which returns a new reference or nullptr with an exception set);
// any C++ exception becomes a Python exception. Nothing escapes.
template <class F>
PyObject* guarded(F&& f) noexcept {
    try {
        return f();
    } catch (const Error& e) {
        raise_error(e);
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        raise_internal(e.what());
    } catch (...) {
        raise_internal(nullptr);
    }
    return nullptr;
}

// The interpreter lock released for the lifetime of this object; restored
// on every path out, exceptions included.
class ReleasedLock {
public:
    ReleasedLock() : state_(PyEval_SaveThread()) {}
    ~ReleasedLock() { PyEval_RestoreThread(state_); }
    ReleasedLock(const ReleasedLock&) = delete;
    ReleasedLock& operator=(const ReleasedLock&) = delete;

private:
    PyThreadState* state_;
};

}  // namespace qv
