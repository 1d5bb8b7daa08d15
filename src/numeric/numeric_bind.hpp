// Entry points of the numeric subsystem, in registration order.
#pragma once
#include "frame/python.hpp"

namespace qv::numeric::bind {
extern PyMethodDef gcd, lcm, mod_pow, is_prime, sieve, fibonacci;
}
