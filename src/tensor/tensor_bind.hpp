// The Tensor class.
#pragma once
#include "frame/python.hpp"

namespace qv::tensor::bind {
// The type object, created once per process (new reference).
PyObject* create_type();
}
