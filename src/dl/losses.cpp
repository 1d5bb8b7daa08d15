#include "dl/losses.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "core/buffer.hpp"
#include "core/error.hpp"
#include "dl/clones.hpp"
#include "dl/lane_sum.hpp"
#include "dl/vmath.hpp"
#include "parallel/pool.hpp"

namespace qv::dl {
namespace {

// Probabilities are kept inside [1e-15, 1 - 1e-15] before a log; NaN stays NaN.
// Such a probability and 1 minus it are normal numbers, which
// vm::log_of_normal takes.
constexpr double kProbFloor = 1e-15;
constexpr double kProbCeil = 0.999999999999999;

struct ProbabilityClamp {
    double floor, ceil;
    double operator()(double p) const {
        double r = p < floor ? floor : p;
        return r > ceil ? ceil : r;
    }
};

// The bounds go through an empty asm, so that the element loops see two
// values rather than two constants: with constants the compiler works out
// the logs of a clamped lane ahead and blends them in, which costs more than
// the clamp (a quarter of bce_loss's time).
ProbabilityClamp probability_clamp() {
    double floor = kProbFloor, ceil = kProbCeil;
    asm("" : "+m"(floor), "+m"(ceil));
    return {floor, ceil};
}

// The lane-grouped sum of f(a[i], b[i]) over i < m (see par::sum_lanes).
template <class F>
QV_CLONES double pair_leaf_sum(const double* a, const double* b, std::size_t m, F f) {
    auto fill = [&](std::size_t i, std::size_t count, double* __restrict row) __attribute__((always_inline)) {
        for (std::size_t t = 0; t < count; ++t) row[t] = f(a[i + t], b[i + t]);
    };
    return QV_WIDEST(lanes::leaf_sum_filled<W>(m, fill));
}

// A leaf kernel for the terms that lanes::Term names.
template <lanes::Term term>
QV_CLONES double pair_leaf_sum(const double* a, const double* b, std::size_t m) {
    return QV_WIDEST(lanes::leaf_sum<W, term>(a, b, m));
}

// f(a[(i + t) * sa], b[(i + t) * sb]) to row[t] for t < count.
template <class F>
[[gnu::always_inline]] inline void fill_terms(const double* a, std::int64_t sa, const double* b, std::int64_t sb,
                                              std::size_t i, std::size_t count, double* __restrict row, F f) {
    if (sa == 1 && sb == 1) {
        for (std::size_t t = 0; t < count; ++t) row[t] = f(a[i + t], b[i + t]);
    } else {
        for (std::size_t t = 0; t < count; ++t) {
            const auto k = static_cast<std::int64_t>(i + t);
            row[t] = f(a[k * sa], b[k * sb]);
        }
    }
}

// The sum of f(a[i * sa], b[i * sb]) over i < m from -0.0 in index order.
// The terms are made a short row at a time by a loop that vectorises, then
// added one after another. The rows are short so that the processor, while
// the chain of additions of one row waits on itself, already computes the
// terms of the next: the additions then cost little beyond the terms.
template <class F>
QV_CLONES double pair_ordered_sum(const double* a, std::int64_t sa, const double* b, std::int64_t sb, std::size_t m,
                                  F f) {
    constexpr std::size_t kRow = 16;
    alignas(64) double row[kRow];
    double s = -0.0;
    std::size_t i = 0;
    for (; i + kRow <= m; i += kRow) {
        fill_terms(a, sa, b, sb, i, kRow, row, f);
        for (std::size_t t = 0; t < kRow; ++t) s = s + row[t];
    }
    fill_terms(a, sa, b, sb, i, m - i, row, f);
    for (std::size_t t = 0; t < m - i; ++t) s = s + row[t];
    return s;
}

// The sum of f(a[i], b[i]). When both arrays have unit stride it is a
// parallel sum from the threshold on, each leaf summed by leaf(a, b, m);
// otherwise ordered(a, b), the sum from -0.0 in index order.
template <class F, class Leaf, class Ordered>
double zip_reduce_f64(const F64View& a, const F64View& b, F f, Leaf leaf, Ordered ordered) {
    if (a.n == 0 || a.n != b.n) value_error("Predictions and targets must have matching non-zero lengths.");
    if (a.size() < par::kParallelThreshold || !a.unit_stride() || !b.unit_stride()) return ordered(a, b);
    const double* pa = a.data;
    const double* pb = b.data;
    return par::sum_lanes(
        a.size(), [&](std::size_t begin, std::size_t end) { return leaf(pa + begin, pb + begin, end - begin); },
        [&](std::size_t i) { return f(pa[i], pb[i]); });
}

// zip_reduce_f64 that computes its terms a block at a time.
template <class F>
double zip_reduce_f64(const F64View& a, const F64View& b, F f) {
    return zip_reduce_f64(
        a, b, f, [f](const double* pa, const double* pb, std::size_t m) { return pair_leaf_sum(pa, pb, m, f); },
        [f](const F64View& x, const F64View& y) {
            // Fewer than two elements have no stride to speak of.
            const std::int64_t sx = x.unit_stride() ? 1 : x.stride, sy = y.unit_stride() ? 1 : y.stride;
            return pair_ordered_sum(x.data, sx, y.data, sy, x.size(), f);
        });
}

// zip_reduce_f64 of a term that lanes::Term names. Such a term is cheap
// enough to hide under the chain of additions of the ordered sum.
template <lanes::Term term>
double zip_reduce_f64(const F64View& a, const F64View& b) {
    return zip_reduce_f64(
        a, b, [](double p, double y) { return lanes::term_of<term>(p, y); },
        [](const double* pa, const double* pb, std::size_t m) { return pair_leaf_sum<term>(pa, pb, m); },
        [](const F64View& x, const F64View& y) {
            double s = -0.0;
            for (std::int64_t i = 0; i < x.n; ++i) s = s + lanes::term_of<term>(x[i], y[i]);
            return s;
        });
}

// The first i with idx[i] outside [0, limit), or n. Compared as unsigned
// numbers against a bound of at most 2^63, a negative index is out of range.
// Whole blocks are tested at once, W indices to a vector, and only a failing
// block is searched.
template <std::size_t W>
[[gnu::always_inline]] inline std::size_t first_out_of_range_at(const std::int64_t* idx, std::size_t n,
                                                                std::uint64_t limit) {
    typedef std::uint64_t VU __attribute__((vector_size(8 * W)));
    typedef typename Vec<W>::i64 VI;
    constexpr std::size_t kBlock = 1024;
    limit = std::min(limit, std::uint64_t{1} << 63);
    for (std::size_t b = 0; b < n; b += kBlock) {
        const std::size_t e = std::min(n, b + kBlock);
        VI bad = {};
        std::size_t i = b;
        for (; i + W <= e; i += W) {
            VU v;
            std::memcpy(&v, idx + i, sizeof v);
            bad |= v >= limit;
        }
        for (; i < e; ++i) bad[0] |= static_cast<std::uint64_t>(idx[i]) >= limit;
        bool any = false;
        for (std::size_t l = 0; l < W; ++l) any |= bad[l] != 0;
        if (!any) continue;
        for (i = b; i < e; ++i) {
            if (static_cast<std::uint64_t>(idx[i]) >= limit) return i;
        }
    }
    return n;
}
QV_CLONES std::size_t first_out_of_range(const std::int64_t* idx, std::size_t n, std::uint64_t limit) {
    return QV_WIDEST(first_out_of_range_at<W>(idx, n, limit));
}

// The largest non-NaN element of x[0..n), -inf if there is none. Any
// grouping gives the same value (up to the sign of a zero maximum, which the
// subtraction x - m does not show), so eight running maxima, 8 / W vectors,
// share the work.
template <std::size_t W>
[[gnu::always_inline]] inline double row_max_at(const double* x, std::size_t n) {
    typedef typename Vec<W>::f64 V;
    constexpr std::size_t K = 8 / W;
    constexpr double kMinusInf = -std::numeric_limits<double>::infinity();
    V m[K];
#pragma GCC unroll 4
    for (std::size_t k = 0; k < K; ++k) m[k] = V{} + kMinusInf;
    std::size_t j = 0;
    for (; j + 8 <= n; j += 8) {
#pragma GCC unroll 4
        for (std::size_t k = 0; k < K; ++k) {
            V v;
            std::memcpy(&v, x + j + k * W, sizeof v);
            m[k] = v > m[k] ? v : m[k];
        }
    }
    double best = kMinusInf;
    for (; j < n; ++j) best = x[j] > best ? x[j] : best;
    for (std::size_t k = 0; k < K; ++k)
        for (std::size_t l = 0; l < W; ++l) best = m[k][l] > best ? m[k][l] : best;
    return best;
}
QV_CLONES double row_max(const double* x, std::size_t n) { return QV_WIDEST(row_max_at<W>(x, n)); }

QV_CLONES void exponentials(const double* __restrict x, double* __restrict o, std::size_t n, double m) {
    for (std::size_t j = 0; j < n; ++j) o[j] = vm::exp(x[j] - m);
}

QV_CLONES void divide(double* o, std::size_t n, double s) {
    for (std::size_t j = 0; j < n; ++j) o[j] = o[j] / s;
}

// Row i of o = softmax of row i of x (rows of n elements): the row maximum is
// taken off before exponentiating, then every entry is divided by the row
// sum, added up in index order. Each row's sum is one chain of additions, so
// eight rows are summed side by side: their chains overlap instead of
// waiting on each other, and each keeps its own order.
QV_CLONES void softmax_rows(const double* __restrict x, double* __restrict o, std::size_t rows, std::size_t n) {
    constexpr std::size_t kSide = 8;
    for (std::size_t r = 0; r < rows; r += kSide) {
        const std::size_t side = std::min(kSide, rows - r);
        const double* xr = x + r * n;
        double* orow = o + r * n;
        for (std::size_t k = 0; k < side; ++k) exponentials(xr + k * n, orow + k * n, n, row_max(xr + k * n, n));
        double s[kSide];
        if (side == kSide) {
            for (double& sk : s) sk = 0.0;
            for (std::size_t j = 0; j < n; ++j)
                for (std::size_t k = 0; k < kSide; ++k) s[k] = s[k] + orow[k * n + j];
        } else {
            for (std::size_t k = 0; k < side; ++k) {
                s[k] = 0.0;
                for (std::size_t j = 0; j < n; ++j) s[k] = s[k] + orow[k * n + j];
            }
        }
        for (std::size_t k = 0; k < side; ++k) divide(orow + k * n, n, s[k]);
    }
}

}  // namespace

NewArray softmax(const F64Matrix& x) {
    if (!x.c_contiguous) value_error("input must be C-contiguous");
    const std::size_t rows = static_cast<std::size_t>(x.rows), cols = static_cast<std::size_t>(x.cols);
    auto out = Buffer<double>::uninit(rows * cols);
    double* o = out.data();
    if (cols != 0) {
        par::for_ranges(rows, [&](std::size_t lo, std::size_t hi) {
            softmax_rows(x.data + lo * cols, o + lo * cols, hi - lo, cols);
        });
    }
    return NewArray::matrix(std::move(out), x.rows, x.cols);
}

std::tuple<double, NewArray> softmax_cross_entropy(const F64Matrix& logits, const IndexView& targets) {
    if (!logits.c_contiguous) value_error("logits must be C-contiguous");
    if (!targets.contiguous) value_error("targets must be contiguous");
    if (targets.n != logits.rows) value_error("targets length must match logits batch size");
    const std::size_t rows = static_cast<std::size_t>(logits.rows), cols = static_cast<std::size_t>(logits.cols);
    const std::int64_t* t = targets.data;
    for (std::size_t i = 0; i < rows; ++i) {
        if (t[i] < 0 || t[i] >= logits.cols) value_error("target class index out of range for logits.shape[1]");
    }

    auto grad = Buffer<double>::uninit(rows * cols);
    auto losses = Buffer<double>::uninit(rows);
    const double batch = static_cast<double>(rows);
    // Rows are independent: each writes its gradient row and its loss.
    par::for_ranges(rows, [&](std::size_t lo, std::size_t hi) {
        softmax_rows(logits.data + lo * cols, grad.data() + lo * cols, hi - lo, cols);
        for (std::size_t i = lo; i < hi; ++i) {
            double* g = grad.data() + i * cols;
            const std::size_t target = static_cast<std::size_t>(t[i]);
            double q = g[target];
            g[target] = q - 1.0;
            losses[i] = -std::log(q > kProbFloor ? q : kProbFloor);
            for (std::size_t j = 0; j < cols; ++j) g[j] = g[j] / batch;
        }
    });
    double sum = -0.0;
    for (std::size_t i = 0; i < rows; ++i) sum = sum + losses[i];
    return {sum / batch, NewArray::matrix(std::move(grad), logits.rows, logits.cols)};
}

NewArray one_hot(const IndexView& indices, std::uint64_t num_classes) {
    if (!indices.contiguous) value_error("indices must be contiguous");
    const std::int64_t* idx = indices.data;
    const std::size_t n = indices.size();
    if (first_out_of_range(idx, n, num_classes) != n) value_error("class index out of range for num_classes");
    // The shape and the byte count of the result must be representable.
    constexpr std::uint64_t kMaxElements = std::numeric_limits<std::ptrdiff_t>::max() / sizeof(double);
    if (num_classes > kMaxElements || (n != 0 && num_classes > kMaxElements / n)) {
        value_error("one_hot result too large: " + std::to_string(n) + " x " + std::to_string(num_classes) +
                    " elements");
    }
    auto out = Buffer<double>::zeros(n * num_classes);
    for (std::size_t i = 0; i < n; ++i) out[i * num_classes + static_cast<std::size_t>(idx[i])] = 1.0;
    return NewArray::matrix(std::move(out), indices.n, static_cast<std::int64_t>(num_classes));
}

double mse_loss(const F64View& predictions, const F64View& targets) {
    double s = zip_reduce_f64<lanes::Term::squared_difference>(predictions, targets);
    return s / static_cast<double>(predictions.n);
}

double mae_loss(const F64View& predictions, const F64View& targets) {
    double s = zip_reduce_f64<lanes::Term::absolute_difference>(predictions, targets);
    return s / static_cast<double>(predictions.n);
}

double bce_loss(const F64View& predictions, const F64View& targets) {
    double s = zip_reduce_f64(predictions, targets, [clamp = probability_clamp()](double p, double y) {
        double pc = clamp(p);
        return (vm::log_of_normal(1.0 - pc) * (1.0 - y)) + (vm::log_of_normal(pc) * y);
    });
    return (-s) / static_cast<double>(predictions.n);
}

double categorical_cross_entropy(const F64View& predictions, const F64View& targets) {
    double s = zip_reduce_f64(predictions, targets, [clamp = probability_clamp()](double p, double y) {
        double pc = clamp(p);
        return -(vm::log_of_normal(pc) * y);
    });
    return s / static_cast<double>(predictions.n);
}

}  // namespace qv::dl
