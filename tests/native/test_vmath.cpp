// The vectorisable exp and log against the C library (at most one unit in
// the last place apart), and tanh against quad precision (below one unit of
// the true value), over sweeps of more than ten million inputs each.
#include <gtest/gtest.h>
#include <quadmath.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "dl/dl_level.hpp"
#include "dl/vmath.hpp"
#include "isa/level.hpp"

namespace {

using qv::dl::vm::bits_of;

// log over the whole double range, from the steps log_of_normal takes: a
// subnormal is scaled into the normal range first; zeros give -inf, negative
// numbers and NaN give NaN, +inf stays. Through it the sweeps below measure
// those steps against the C library.
double full_log(double x) {
    constexpr double kInf = __builtin_inf();
    const bool subnormal = bits_of(x) < (1ull << 52);  // and +0.0
    const double y = qv::dl::vm::detail::log_scaled(subnormal ? x * 0x1p52 : x, subnormal ? 52.0 : 0.0);
    const double below = x == 0.0 ? -kInf : __builtin_nan("");
    const double finite = x > 0.0 ? y : below;
    return x == kInf ? kInf : finite;
}

// Steps between two doubles on the line of all doubles (-0.0 and +0.0 are one
// step apart); two NaNs are equal, a NaN and a number are far apart.
std::int64_t ulp_distance(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b) ? 0 : std::numeric_limits<std::int64_t>::max();
    auto line = [](double v) {
        auto i = static_cast<std::int64_t>(bits_of(v));
        return i >= 0 ? i : -(i & 0x7fffffffffffffff) - 1;
    };
    return std::llabs(line(a) - line(b));
}

struct Worst {
    std::int64_t ulps = 0;
    double at = 0.0;
    std::size_t count = 0;
};

// Inputs: every special value, random bit patterns (all of the double range:
// NaNs, infinities, subnormals, signed zeros), and uniform draws in [lo, hi].
std::vector<double> sweep_inputs(std::size_t random_bits, std::size_t uniform, double lo, double hi, std::uint64_t seed) {
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> xs = {0.0, -0.0, inf, -inf, std::numeric_limits<double>::quiet_NaN(),
                              -std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::denorm_min(),
                              -std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::min(),
                              std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(), 1.0, -1.0};
    std::mt19937_64 g(seed);
    for (std::size_t i = 0; i < random_bits; ++i) {
        std::uint64_t b = g();
        double v;
        std::memcpy(&v, &b, 8);
        xs.push_back(v);
    }
    std::uniform_real_distribution<double> u(lo, hi);
    for (std::size_t i = 0; i < uniform; ++i) xs.push_back(u(g));
    return xs;
}

// The loop the module's kernels use, vectorised (at the baseline level: the
// others give the same bits, as tests/test_isa.py shows).
template <class F>
void apply(const double* x, double* out, std::size_t n, F f) {
    for (std::size_t i = 0; i < n; ++i) out[i] = f(x[i]);
}

template <class Ours, class Libm>
Worst compare(const std::vector<double>& xs, Ours ours, Libm libm) {
    std::vector<double> got(xs.size());
    apply(xs.data(), got.data(), xs.size(), ours);
    Worst w;
    for (std::size_t i = 0; i < xs.size(); ++i) {
        std::int64_t d = ulp_distance(got[i], libm(xs[i]));
        w.count += d != 0;
        if (d > w.ulps) w = {d, xs[i], w.count};
    }
    return w;
}

void expect_within_one_ulp(const Worst& w, std::size_t n) {
    EXPECT_LE(w.ulps, 1) << "at " << std::hexfloat << w.at;
    // The two agree almost everywhere; a large share of one-step differences
    // would mean a systematic error.
    EXPECT_LT(w.count, n / 20);
}

}  // namespace

TEST(VectorExp, WithinOneUlpOfLibm) {
    auto xs = sweep_inputs(2'000'000, 6'000'000, -746.0, 710.0, 1);
    auto near = sweep_inputs(0, 1'000'000, -2.0, 2.0, 2);
    auto low = sweep_inputs(0, 1'000'000, -746.0, -707.0, 3);  // subnormal results
    auto high = sweep_inputs(0, 500'000, 708.0, 709.8, 4);     // near overflow
    xs.insert(xs.end(), near.begin(), near.end());
    xs.insert(xs.end(), low.begin(), low.end());
    xs.insert(xs.end(), high.begin(), high.end());
    for (int e = -1074; e < 12; ++e) {  // powers of two and their neighbours, both signs
        double p = std::ldexp(1.0, e);
        for (double v : {p, std::nextafter(p, 0.0), std::nextafter(p, 1e300)}) {
            xs.push_back(v);
            xs.push_back(-v);
        }
    }
    ASSERT_GE(xs.size(), 10'000'000u);
    expect_within_one_ulp(compare(xs, [](double x) { return qv::dl::vm::exp(x); }, [](double x) { return std::exp(x); }),
                          xs.size());
}

TEST(VectorExp, SpecialValues) {
    using qv::dl::vm::exp;
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(exp(0.0), 1.0);
    EXPECT_EQ(exp(-0.0), 1.0);
    EXPECT_EQ(exp(inf), inf);
    EXPECT_EQ(bits_of(exp(-inf)), bits_of(0.0));
    EXPECT_TRUE(std::isnan(exp(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_EQ(exp(709.7827128933840), std::exp(709.7827128933840));
    EXPECT_EQ(exp(709.7827128933841), inf);
    EXPECT_EQ(exp(-745.1332191019411), std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(exp(-745.1332191019412), 0.0);
}

TEST(VectorLog, WithinOneUlpOfLibm) {
    auto xs = sweep_inputs(3'000'000, 3'000'000, 0.0, 2.0, 5);
    auto near_one = sweep_inputs(0, 2'000'000, 0.999, 1.001, 6);
    auto tiny = sweep_inputs(0, 1'000'000, 0.0, 1e-300, 7);
    auto probabilities = sweep_inputs(0, 1'000'000, 1e-15, 1.0, 8);
    for (auto* v : {&near_one, &tiny, &probabilities}) xs.insert(xs.end(), v->begin(), v->end());
    for (int e = -1074; e < 1024; ++e) {
        double p = std::ldexp(1.0, e);
        for (double v : {p, std::nextafter(p, 0.0), std::nextafter(p, 1e308), p * 1.4142135623730951, -p}) xs.push_back(v);
    }
    ASSERT_GE(xs.size(), 10'000'000u);
    expect_within_one_ulp(compare(xs, [](double x) { return full_log(x); }, [](double x) { return std::log(x); }),
                          xs.size());
}

TEST(VectorLog, SpecialValues) {
    const auto log = full_log;
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(bits_of(log(1.0)), bits_of(0.0));
    EXPECT_EQ(log(0.0), -inf);
    EXPECT_EQ(log(-0.0), -inf);
    EXPECT_EQ(log(inf), inf);
    EXPECT_TRUE(std::isnan(log(-1.0)));
    EXPECT_TRUE(std::isnan(log(-inf)));
    EXPECT_TRUE(std::isnan(log(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_EQ(log(std::numeric_limits<double>::denorm_min()), std::log(std::numeric_limits<double>::denorm_min()));
}

TEST(VectorLog, OfNormalHasLogsBits) {
    std::vector<double> xs;
    for (double v : sweep_inputs(2'000'000, 1'000'000, 1e-15, 1.0, 9)) {
        if (std::isnan(v) || std::isnormal(v)) xs.push_back(v);
    }
    for (int e = -1022; e < 1024; ++e) {
        double p = std::ldexp(1.0, e);
        for (double v : {p, std::nextafter(p, 0.0), std::nextafter(p, 1e308), p * 1.4142135623730951, -p}) {
            if (std::isnormal(v)) xs.push_back(v);
        }
    }
    std::vector<double> ours(xs.size()), want(xs.size());
    apply(xs.data(), ours.data(), xs.size(), [](double x) { return qv::dl::vm::log_of_normal(x); });
    apply(xs.data(), want.data(), xs.size(), [](double x) { return full_log(x); });
    for (std::size_t i = 0; i < xs.size(); ++i) {
        ASSERT_EQ(bits_of(ours[i]), bits_of(want[i])) << "at " << std::hexfloat << xs[i];
    }
}

namespace {

// Inputs around b (and -b): the 64 doubles on each side and uniform draws
// within b * (1 +- 2^-20).
void add_around(std::vector<double>& xs, double b, std::size_t draws, std::uint64_t seed) {
    std::mt19937_64 g(seed);
    std::uniform_real_distribution<double> u(b - std::ldexp(b, -20), b + std::ldexp(b, -20));
    double below = b, above = b;
    for (int i = 0; i < 64; ++i) {
        below = std::nextafter(below, 0.0);
        above = std::nextafter(above, 1e300);
        for (double v : {below, above}) xs.insert(xs.end(), {v, -v});
    }
    for (std::size_t i = 0; i < draws; ++i) {
        const double v = u(g);
        xs.insert(xs.end(), {v, -v});
    }
}

}  // namespace

namespace {

// Inputs for tanh: every special value and power of two, random bit
// patterns (subnormals, huge values), uniform and log-uniform draws (down to
// 2^-60, where the reduced argument is split at 2^-52), and dense sweeps
// where the algorithm changes course: every boundary between two reductions
// (2|x| = (k + 1/2) ln2), 19.5 (from which the result is 1) and the point
// beyond which tanh rounds to 1.
const std::vector<double>& tanh_inputs() {
    static const std::vector<double> xs = [] {
        auto xs = sweep_inputs(1'500'000, 3'200'000, -20.0, 20.0, 9);
        std::mt19937_64 g(10);
        std::uniform_real_distribution<double> exponent(-60.0, 5.0);
        for (int i = 0; i < 1'500'000; ++i) xs.push_back(std::exp2(exponent(g)) * (i % 2 ? -1.0 : 1.0));
        for (int i = 0; i < 100'000; ++i) xs.push_back(std::bit_cast<double>(g() >> 12));  // subnormals
        const double ln2 = 0.6931471805599453;
        std::uint64_t seed = 11;
        for (int k = 0; k <= 56; ++k) add_around(xs, (k + 0.5) * ln2 / 2, 30'000, seed++);
        for (double b : {19.5, 55 * ln2 / 2}) add_around(xs, b, 100'000, seed++);
        for (int e = -1074; e < 1024; ++e) {
            double p = std::ldexp(1.0, e);
            for (double v : {p, std::nextafter(p, 0.0), std::nextafter(p, 1e300)}) xs.insert(xs.end(), {v, -v});
        }
        return xs;
    }();
    return xs;
}

// |got - truth| in units in the last place of truth (the spacing of the
// doubles in truth's binade): below 1 exactly when got is one of the two
// doubles around truth, below 1/2 when it is the nearest.
double ulps_off(double got, __float128 truth) {
    int e;
    frexpq(truth, &e);
    const __float128 ulp = ldexpq(static_cast<__float128>(1.0), std::max(e - 53, -1074));
    return static_cast<double>(fabsq(static_cast<__float128>(got) - truth) / ulp);
}

// tanh's error at x in units in the last place. The C library's long double
// tanh (64-bit significand, well within 1/64 unit of a double) settles every
// result clearly below half a unit; the others are measured against quad
// precision, which costs ten times as much.
double tanh_error(double got, double x) {
    const double screened = ulps_off(got, static_cast<__float128>(tanhl(x)));
    return screened < 0.5 - 1.0 / 64 ? screened : ulps_off(got, tanhq(x));
}

// The same tanh loop built for each x86-64 level.
template <class F>
void map_baseline(const double* x, double* out, std::size_t n, F f) {
    for (std::size_t i = 0; i < n; ++i) out[i] = f(x[i]);
}
template <class F>
__attribute__((target("arch=x86-64-v3"))) void map_avx2(const double* x, double* out, std::size_t n, F f) {
    for (std::size_t i = 0; i < n; ++i) out[i] = f(x[i]);
}
template <class F>
__attribute__((target("arch=x86-64-v4"))) void map_avx512(const double* x, double* out, std::size_t n, F f) {
    for (std::size_t i = 0; i < n; ++i) out[i] = f(x[i]);
}

[[gnu::noinline]] double tanh_one(double x) { return qv::dl::vm::tanh(x); }

}  // namespace

TEST(VectorTanh, FaithfulAgainstQuadPrecision) {
    const auto& xs = tanh_inputs();
    ASSERT_GE(xs.size(), 10'000'000u);
    std::vector<double> got(xs.size());
    apply(xs.data(), got.data(), xs.size(), [](double v) { return qv::dl::vm::tanh(v); });
    double worst = 0.0, worst_at = 0.0;
    std::size_t not_nearest = 0, not_libm = 0;
    for (std::size_t i = 0; i < xs.size(); ++i) {
        const double x = xs[i];
        not_libm += bits_of(got[i]) != bits_of(std::tanh(x)) && !(std::isnan(x) && std::isnan(got[i]));
        if (std::isnan(x)) {
            EXPECT_TRUE(std::isnan(got[i]));
            continue;
        }
        if (x == 0.0) {
            EXPECT_EQ(bits_of(got[i]), bits_of(x));
        }
        const double off = tanh_error(got[i], x);
        not_nearest += off >= 0.5;
        if (off > worst) worst = off, worst_at = x;
    }
    EXPECT_LT(worst, 1.0) << "at " << std::hexfloat << worst_at;
    // Rounded as if to nearest almost everywhere: a large share of results
    // one step off would mean an error well above the last rounding.
    EXPECT_LT(not_nearest, xs.size() / 100);
    std::printf("tanh over %zu inputs: worst %.3f units at %a; %.3f %% not the nearest double; %.2f %% not the C "
                "library's\n",
                xs.size(), worst, worst_at, 100.0 * not_nearest / xs.size(), 100.0 * not_libm / xs.size());
}

TEST(VectorTanh, SameBitsAtEveryLevelAndOneByOne) {
    const auto& xs = tanh_inputs();
    const auto f = [](double v) { return qv::dl::vm::tanh(v); };
    std::vector<double> baseline(xs.size()), other(xs.size());
    map_baseline(xs.data(), baseline.data(), xs.size(), f);
    auto expect_same = [&](const char* what) {
        std::size_t differ = 0;
        for (std::size_t i = 0; i < xs.size(); ++i) differ += bits_of(other[i]) != bits_of(baseline[i]);
        EXPECT_EQ(differ, 0u) << what;
    };
    for (std::size_t i = 0; i < xs.size(); ++i) other[i] = tanh_one(xs[i]);
    expect_same("one call per element");
    using qv::isa::Level;
    if (qv::isa::supported(Level::avx2)) {
        map_avx2(xs.data(), other.data(), xs.size(), f);
        expect_same("AVX2");
    }
    if (qv::isa::supported(Level::avx512)) {
        map_avx512(xs.data(), other.data(), xs.size(), f);
        expect_same("AVX-512");
    }
    // The activation kernels, which take groups of vectors at a time and
    // store a NaN as the canonical one.
    for (double& y : baseline) y = std::isnan(y) ? std::numeric_limits<double>::quiet_NaN() : y;
    for (Level level : qv::isa::kLevels) {
        if (!qv::isa::supported(level)) continue;
        using namespace qv::dl;
        QV_ISA_AT(level, tanh)(xs.data(), 1, other.data(), xs.size());
        expect_same(qv::isa::name(level));
    }
}

TEST(VectorTanh, SpecialValues) {
    using qv::dl::vm::tanh;
    const double inf = std::numeric_limits<double>::infinity();
    const double tiny = std::numeric_limits<double>::denorm_min();
    EXPECT_EQ(bits_of(tanh(0.0)), bits_of(0.0));
    EXPECT_EQ(bits_of(tanh(-0.0)), bits_of(-0.0));
    EXPECT_EQ(tanh(tiny), tiny);
    EXPECT_EQ(tanh(-tiny), -tiny);
    EXPECT_EQ(tanh(19.5), 1.0);
    EXPECT_EQ(tanh(-1e300), -1.0);
    EXPECT_EQ(tanh(inf), 1.0);
    EXPECT_EQ(tanh(-inf), -1.0);
    EXPECT_TRUE(std::isnan(tanh(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_TRUE(std::isnan(tanh(-std::numeric_limits<double>::quiet_NaN())));
    const double payload = std::bit_cast<double>(0xfff8000000000123ull);
    EXPECT_EQ(bits_of(tanh(payload)), bits_of(payload));
}
