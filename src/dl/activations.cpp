#include "dl/activations.hpp"

#include <cstddef>
#include <utility>

#include "core/buffer.hpp"
#include "dl/dl_level.hpp"
#include "parallel/pool.hpp"

namespace qv::dl {
namespace {

// A new array with element i = formula(x[i]), by kernel(x, step, out, n).
// Unit-stride input is split over the pool from the parallel threshold on;
// any other stride is read in place, in one call on the calling thread.
template <class Kernel>
NewArray map_f64_array(const F64View& x, Kernel kernel) {
    auto out = Buffer<double>::uninit(x.size());
    double* o = out.data();
    if (x.unit_stride())
        par::for_ranges(x.size(), [&](std::size_t b, std::size_t e) { kernel(x.data + b, 1, o + b, e - b); });
    else
        kernel(x.data, x.stride, o, x.size());
    return NewArray::vector(std::move(out), x.n);
}

// The same for a formula with a parameter.
template <class Kernel>
NewArray map_f64_array(const F64View& x, Kernel kernel, double alpha) {
    return map_f64_array(x, [&](const double* in, std::ptrdiff_t step, double* out, std::size_t n) {
        kernel(in, step, out, n, alpha);
    });
}

}  // namespace

NewArray relu(const F64View& x) { return map_f64_array(x, QV_ISA_PICK(relu)); }
NewArray relu_derivative(const F64View& x) { return map_f64_array(x, QV_ISA_PICK(relu_derivative)); }
NewArray leaky_relu(const F64View& x, double alpha) { return map_f64_array(x, QV_ISA_PICK(leaky_relu), alpha); }
NewArray leaky_relu_derivative(const F64View& x, double alpha) {
    return map_f64_array(x, QV_ISA_PICK(leaky_relu_derivative), alpha);
}
NewArray elu(const F64View& x, double alpha) { return map_f64_array(x, QV_ISA_PICK(elu), alpha); }
NewArray elu_derivative(const F64View& x, double alpha) { return map_f64_array(x, QV_ISA_PICK(elu_derivative), alpha); }
NewArray gelu(const F64View& x) { return map_f64_array(x, QV_ISA_PICK(gelu)); }
NewArray silu(const F64View& x) { return map_f64_array(x, QV_ISA_PICK(silu)); }
NewArray silu_derivative(const F64View& x) { return map_f64_array(x, QV_ISA_PICK(silu_derivative)); }
NewArray sigmoid(const F64View& x) { return map_f64_array(x, QV_ISA_PICK(sigmoid)); }
NewArray sigmoid_derivative(const F64View& x) { return map_f64_array(x, QV_ISA_PICK(sigmoid_derivative)); }
NewArray tanh(const F64View& x) { return map_f64_array(x, QV_ISA_PICK(tanh)); }
NewArray tanh_derivative(const F64View& x) { return map_f64_array(x, QV_ISA_PICK(tanh_derivative)); }

}  // namespace qv::dl
