#include "numeric/numeric_bind.hpp"

#include "frame/binding.hpp"
#include "numeric/number_theory.hpp"

namespace qv::numeric::bind {

using arg::Int64, arg::UInt64;

PyMethodDef gcd = Function<"gcd", Lock::Held, numeric::gcd, P<Int64, "a">, P<Int64, "b">>::def("gcd(a, b)\n--\n\n");
PyMethodDef lcm = Function<"lcm", Lock::Held, numeric::lcm, P<Int64, "a">, P<Int64, "b">>::def("lcm(a, b)\n--\n\n");
PyMethodDef mod_pow = Function<"mod_pow", Lock::Held, numeric::mod_pow, P<UInt64, "base">, P<UInt64, "exp">,
                               P<UInt64, "modulus">>::def("mod_pow(base, exp, modulus)\n--\n\n");
PyMethodDef is_prime = Function<"is_prime", Lock::Held, numeric::is_prime, P<UInt64, "n">>::def("is_prime(n)\n--\n\n");
PyMethodDef sieve = Function<"sieve", Lock::Released, numeric::sieve, P<UInt64, "limit">>::def("sieve(limit)\n--\n\n");
PyMethodDef fibonacci =
    Function<"fibonacci", Lock::Held, numeric::fibonacci, P<UInt64, "n">>::def("fibonacci(n)\n--\n\n");

}  // namespace qv::numeric::bind
