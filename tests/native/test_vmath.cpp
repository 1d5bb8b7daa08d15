// The vectorisable exp, log and tanh against the C library: at most one
// unit in the last place apart over sweeps of more than ten million inputs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "dl/clones.hpp"
#include "dl/vmath.hpp"

namespace {

using qv::dl::vm::bits_of;

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

// The loop the module's kernels use: vectorised, built for this machine.
template <class F>
QV_CLONES void apply(const double* x, double* out, std::size_t n, F f) {
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
    expect_within_one_ulp(compare(xs, [](double x) { return qv::dl::vm::log(x); }, [](double x) { return std::log(x); }),
                          xs.size());
}

TEST(VectorLog, SpecialValues) {
    using qv::dl::vm::log;
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
    apply(xs.data(), want.data(), xs.size(), [](double x) { return qv::dl::vm::log(x); });
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

TEST(VectorTanh, WithinOneUlpOfLibm) {
    auto xs = sweep_inputs(2'000'000, 5'000'000, -25.0, 25.0, 9);
    auto unit = sweep_inputs(0, 2'000'000, -1.0, 1.0, 10);
    xs.insert(xs.end(), unit.begin(), unit.end());
    // Where the C library changes formula: x itself below 2^-55, the bounds
    // of the reductions with k = 0 and k = -1 for the argument -2|x|, 1, the
    // switches of the reconstruction at k = 20 and k = 57 for 2|x| (near
    // 19.5 ln2 and 56.5 ln2), 22.
    const double ln2 = 0.6931471805599453;
    const double bounds[] = {0x1p-55, 0x1.62e43p-3, 0x1.0a2b2p-1, 1.0, 9.75 * ln2, 28.25 * ln2, 22.0};
    std::uint64_t seed = 11;
    for (double b : bounds) add_around(xs, b, 70'000, seed++);
    for (int k = 1; k < 64; ++k) add_around(xs, (k + 0.5) * ln2 / 2, 4'000, seed++);  // every change of k
    for (int e = -1074; e < 1024; ++e) {  // powers of two and their neighbours, both signs
        double p = std::ldexp(1.0, e);
        for (double v : {p, std::nextafter(p, 0.0), std::nextafter(p, 1e300)}) xs.insert(xs.end(), {v, -v});
    }
    ASSERT_GE(xs.size(), 10'000'000u);
    qv::dl::vm::with_libm_tanh([&](auto ours) {
        expect_within_one_ulp(compare(xs, ours, [](double x) { return std::tanh(x); }), xs.size());
        return 0;
    });
}

TEST(VectorTanh, SpecialValues) {
    const double inf = std::numeric_limits<double>::infinity();
    const double tiny = std::numeric_limits<double>::denorm_min();
    qv::dl::vm::with_libm_tanh([&](auto tanh) {
        EXPECT_EQ(bits_of(tanh(0.0)), bits_of(0.0));
        EXPECT_EQ(bits_of(tanh(-0.0)), bits_of(-0.0));
        EXPECT_EQ(tanh(tiny), tiny);
        EXPECT_EQ(tanh(-tiny), -tiny);
        EXPECT_EQ(tanh(0x1.fffffffffffffp-56), 0x1.fffffffffffffp-56);
        EXPECT_EQ(tanh(22.0), 1.0);
        EXPECT_EQ(tanh(-1e300), -1.0);
        EXPECT_EQ(tanh(inf), 1.0);
        EXPECT_EQ(tanh(-inf), -1.0);
        EXPECT_TRUE(std::isnan(tanh(std::numeric_limits<double>::quiet_NaN())));
        EXPECT_TRUE(std::isnan(tanh(-std::numeric_limits<double>::quiet_NaN())));
        return 0;
    });
}

#ifdef __GLIBC__
// glibc's tanh is the algorithm vm::tanh repeats (with or without fused
// multiply-add): the kernels must not fall back to calling it per element.
TEST(VectorTanh, RecognisesTheCLibrarys) {
    EXPECT_NE(qv::dl::vm::libm_tanh(), qv::dl::vm::LibmTanh::other);
}
#endif
