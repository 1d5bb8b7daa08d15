// The ragged float matrix: a sequence of float sequences, or a 2-D float64
// array, copied into rows that each keep their own length.
#pragma once
#include "core/views.hpp"
#include "frame/args_scalars.hpp"

namespace qv::arg {

struct Float64Matrix : Plain<Matrix> {
    static bool convert(PyObject* o, Matrix& out);
};

}  // namespace qv::arg
