#include "dl/activations.hpp"

#include <cstddef>
#include <utility>

#include "core/buffer.hpp"
#include "dl/clones.hpp"
#include "dl/vmath.hpp"
#include "parallel/pool.hpp"

namespace qv::dl {
namespace {

// out[i] = f(x[i]) over adjacent elements; the loop the compiler vectorises
// where f makes no library call.
template <class F>
QV_CLONES void map_unit(const double* x, double* out, std::size_t n, F f) {
    for (std::size_t i = 0; i < n; ++i) out[i] = f(x[i]);
}

// A new array with element i = f(x[i]). Unit-stride input is split over the
// pool from the parallel threshold on; any other stride is read in place, in
// one loop on the calling thread.
template <class F>
NewArray map_f64_array(const F64View& x, F f) {
    auto out = Buffer<double>::uninit(x.size());
    double* o = out.data();
    if (x.unit_stride()) {
        par::for_ranges(x.size(), [&](std::size_t b, std::size_t e) { map_unit(x.data + b, o + b, e - b, f); });
    } else {
        for (std::int64_t i = 0; i < x.n; ++i) o[i] = f(x[i]);
    }
    return NewArray::vector(std::move(out), x.n);
}

double sigmoid_of(double v) { return 1.0 / (vm::exp(-v) + 1.0); }

}  // namespace

NewArray relu(const F64View& x) {
    return map_f64_array(x, [](double v) { return v > 0.0 ? v : 0.0; });
}

NewArray relu_derivative(const F64View& x) {
    return map_f64_array(x, [](double v) { return v > 0.0 ? 1.0 : 0.0; });
}

NewArray leaky_relu(const F64View& x, double alpha) {
    return map_f64_array(x, [alpha](double v) { return v > 0.0 ? v : alpha * v; });
}

NewArray leaky_relu_derivative(const F64View& x, double alpha) {
    return map_f64_array(x, [alpha](double v) { return v > 0.0 ? 1.0 : alpha; });
}

NewArray elu(const F64View& x, double alpha) {
    return map_f64_array(x, [alpha](double v) {
        double e = vm::exp(v);  // for every element, so that the select vectorises
        return v > 0.0 ? v : (e - 1.0) * alpha;
    });
}

NewArray elu_derivative(const F64View& x, double alpha) {
    return map_f64_array(x, [alpha](double v) {
        double e = vm::exp(v);
        return v > 0.0 ? 1.0 : e * alpha;
    });
}

// The tanh approximation; 0.7978845608028654 is the double nearest sqrt(2/pi).
NewArray gelu(const F64View& x) {
    return vm::with_libm_tanh([&](auto tanh_of) {
        return map_f64_array(x, [tanh_of](double v) {
            double u = ((v * v) * v) * 0.044715 + v;
            double w = u * 0.7978845608028654;
            return (v * 0.5) * (tanh_of(w) + 1.0);
        });
    });
}

NewArray silu(const F64View& x) {
    return map_f64_array(x, [](double v) { return v / (vm::exp(-v) + 1.0); });
}

NewArray silu_derivative(const F64View& x) {
    return map_f64_array(x, [](double v) {
        double s = sigmoid_of(v);
        return ((1.0 - s) * (v * s)) + s;
    });
}

NewArray sigmoid(const F64View& x) {
    return map_f64_array(x, [](double v) { return sigmoid_of(v); });
}

NewArray sigmoid_derivative(const F64View& x) {
    return map_f64_array(x, [](double v) {
        double s = sigmoid_of(v);
        return (1.0 - s) * s;
    });
}

NewArray tanh(const F64View& x) {
    return vm::with_libm_tanh([&](auto tanh_of) { return map_f64_array(x, tanh_of); });
}

NewArray tanh_derivative(const F64View& x) {
    return vm::with_libm_tanh([&](auto tanh_of) {
        return map_f64_array(x, [tanh_of](double v) {
            double t = tanh_of(v);
            return 1.0 - t * t;
        });
    });
}

}  // namespace qv::dl
