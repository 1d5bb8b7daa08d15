// Errors reported by routines. Plain C++: kernels throw these, the call frame
// turns them into the matching Python exception. Nothing here touches Python.
#pragma once
#include <string>
#include <utility>

namespace qv {

enum class ErrorKind { Value, Index, Overflow, Runtime, Type, Internal };

struct Error {
    ErrorKind kind;
    std::string message;
};

[[noreturn]] inline void raise(ErrorKind kind, std::string message) {
    throw Error{kind, std::move(message)};
}
[[noreturn]] inline void value_error(std::string message) { raise(ErrorKind::Value, std::move(message)); }
[[noreturn]] inline void index_error(std::string message) { raise(ErrorKind::Index, std::move(message)); }
// A fault the routines do not expect (a broken invariant, a failed system
// call): reported as the module's internal-failure exception.
[[noreturn]] inline void internal_failure(std::string message) { raise(ErrorKind::Internal, std::move(message)); }

}  // namespace qv
