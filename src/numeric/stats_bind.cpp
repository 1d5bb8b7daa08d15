#include "numeric/stats_bind.hpp"

#include "frame/binding.hpp"
#include "numeric/levenshtein.hpp"
#include "numeric/stats.hpp"

namespace qv::numeric::bind {

using arg::Float64List, arg::Float64Matrix, arg::Str;

// Distances sure to take under a microsecond keep the lock: releasing and
// retaking it would be a sizeable share of their time.
PyMethodDef levenshtein = Function<"levenshtein", ReleasedUnless<numeric::levenshtein_is_quick>{},
                                   numeric::levenshtein, P<Str, "a">, P<Str, "b">>::def("levenshtein(a, b)\n--\n\n");
PyMethodDef mean = Function<"mean", Lock::Held, numeric::mean, P<Float64List, "arr">>::def("mean(arr)\n--\n\n");
PyMethodDef variance =
    Function<"variance", Lock::Held, numeric::variance, P<Float64List, "arr">>::def("variance(arr)\n--\n\n");
PyMethodDef std_dev =
    Function<"std_dev", Lock::Held, numeric::std_dev, P<Float64List, "arr">>::def("std_dev(arr)\n--\n\n");
PyMethodDef dot_product = Function<"dot_product", Lock::Held, numeric::dot_product, P<Float64List, "a">,
                                   P<Float64List, "b">>::def("dot_product(a, b)\n--\n\n");
PyMethodDef matmul = Function<"matmul", Lock::Held, numeric::matmul, P<Float64Matrix, "a">,
                              P<Float64Matrix, "b">>::def("matmul(a, b)\n--\n\n");

}  // namespace qv::numeric::bind
