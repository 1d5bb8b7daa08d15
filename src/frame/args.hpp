// Argument kinds. Each kind converts one Python object into the native value
// a routine receives:
//   static bool convert(PyObject*, storage&)   false with a Python exception set
//   static value get(storage&)                 what the routine is passed
//
// Single values (args_scalars), sequences (args_sequences), the ragged float
// matrix (args_matrix) and borrowed arrays (args_arrays).
#pragma once
#include <type_traits>

#include "frame/args_arrays.hpp"
#include "frame/args_matrix.hpp"
#include "frame/args_scalars.hpp"
#include "frame/args_sequences.hpp"

namespace qv::arg {

// Default values of optional parameters.
struct NoneDefault {};

template <class Kind, class D>
typename Kind::storage from_default(D d) {
    if constexpr (std::is_same_v<D, NoneDefault>)
        return typename Kind::storage{};
    else
        return static_cast<typename Kind::storage>(d);
}

}  // namespace qv::arg
