// The VaneHashMap class.
#pragma once
#include "frame/python.hpp"

namespace qv::hashmap::bind {
// The type object, created once per process (new reference).
PyObject* create_type();
}
