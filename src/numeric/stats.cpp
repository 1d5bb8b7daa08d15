#include "numeric/stats.hpp"

#include <cmath>
#include <string>

#include "core/error.hpp"
#include "isa/lanes.hpp"
#include "numeric/stats_level.hpp"

namespace qv::numeric {
namespace {

double sum(std::span<const double> arr) noexcept {
    double s = -0.0;
    for (double x : arr) s += x;
    return s;
}

}  // namespace

double mean(std::span<const double> arr) noexcept {
    if (arr.empty()) return 0.0;
    return isa::canonical_nan(sum(arr) / static_cast<double>(arr.size()));
}

double variance(std::span<const double> arr) noexcept {
    if (arr.empty()) return 0.0;
    const double n = static_cast<double>(arr.size());
    const double m = sum(arr) / n;
    double q = -0.0;
    for (double x : arr) q += (x - m) * (x - m);
    return isa::canonical_nan(q / n);
}

double std_dev(std::span<const double> arr) noexcept { return isa::canonical_nan(std::sqrt(variance(arr))); }

double dot_product(std::span<const double> a, std::span<const double> b) {
    if (a.size() != b.size()) value_error("vectors must be same length");
    double s = -0.0;
    for (std::size_t i = 0; i < a.size(); ++i) s += a[i] * b[i];
    return isa::canonical_nan(s);
}

Matrix matmul(const Matrix& a, const Matrix& b) {
    const std::size_t n = a.rows(), k = b.rows();
    if (n == 0 || k == 0 || a.row(0).size() != k) value_error("incompatible matrix dimensions");
    const std::size_t m = b.row(0).size();
    // A row of a shorter than k would be read past its end: refused before
    // any work. A row of b shorter than m is read only where it meets a
    // non-zero entry of a, and is refused there (the partial result is
    // dropped): rows never reached do not matter, as with zero entries.
    for (std::size_t t = 1; t < n; ++t)
        if (a.row(t).size() < k)
            value_error("incompatible matrix dimensions: row " + std::to_string(t) + " of a has " +
                        std::to_string(a.row(t).size()) + " entries, expected " + std::to_string(k));
    Matrix out;
    out.values.assign(n * m, 0.0);
    out.starts.resize(n + 1);
    for (std::size_t t = 0; t <= n; ++t) out.starts[t] = t * m;
    const auto add_scaled_row = QV_ISA_PICK(add_scaled_row);
    for (std::size_t t = 0; t < n; ++t) {
        const double* at = a.row(t).data();
        double* rt = out.values.data() + t * m;
        for (std::size_t p = 0; p < k; ++p) {
            const double v = at[p];
            if (v == 0.0) continue;
            if (b.row(p).size() < m)
                value_error("incompatible matrix dimensions: row " + std::to_string(p) + " of b has " +
                            std::to_string(b.row(p).size()) + " entries, expected " + std::to_string(m));
            add_scaled_row(rt, b.row(p).data(), v, m);
        }
    }
    for (double& x : out.values) x = isa::canonical_nan(x);
    return out;
}

}  // namespace qv::numeric
