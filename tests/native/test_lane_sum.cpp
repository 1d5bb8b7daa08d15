// The vector forms of one leaf of a lane-grouped sum, at every vector width a
// level may build them with, give the bits of the grouping itself (terms one
// at a time into 32 lanes, then the lanes combined). Built here for the
// baseline level, the wider vectors run as emulated ones, so every width is
// checked on any processor.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <vector>

#include "dl/lane_sum.hpp"
#include "parallel/pool.hpp"

namespace lanes = qv::dl::lanes;
using lanes::Term;

namespace {

template <Term term>
double grouping(const std::vector<double>& a, const std::vector<double>& b) {
    auto t = [&](std::size_t i) { return lanes::term_of<term>(a[i], b[i]); };
    return qv::par::detail::lane_sum(0, a.size(), t);
}

template <std::size_t W, Term term>
void expect_width(const std::vector<double>& a, const std::vector<double>& b) {
    const std::uint64_t want = std::bit_cast<std::uint64_t>(grouping<term>(a, b));
    const std::size_t m = a.size();
    EXPECT_EQ(std::bit_cast<std::uint64_t>(lanes::leaf_sum<W, term>(a.data(), b.data(), m)), want)
        << "width " << W << ", " << m << " terms";
    const double filled = lanes::leaf_sum_filled<W>(m, [&](std::size_t i, std::size_t count, double* row) {
        for (std::size_t t = 0; t < count; ++t) row[t] = lanes::term_of<term>(a[i + t], b[i + t]);
    });
    EXPECT_EQ(std::bit_cast<std::uint64_t>(filled), want) << "width " << W << ", " << m << " terms, filled";
}

template <Term term>
void expect_every_width(const std::vector<double>& a, const std::vector<double>& b) {
    expect_width<2, term>(a, b);
    expect_width<4, term>(a, b);
    expect_width<8, term>(a, b);
}

}  // namespace

TEST(LaneSum, EveryVectorWidthGivesTheGroupingsBits) {
    std::mt19937_64 gen(11);
    // Magnitudes far apart, so that a term added to the wrong lane or in the
    // wrong order changes the rounding.
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-40, 40);
    for (std::size_t m : {0, 1, 31, 32, 33, 63, 65, 95, 255, 256, 257, 511, 513, 1000, 4095, 4096}) {
        std::vector<double> a(m), b(m);
        for (std::size_t i = 0; i < m; ++i) {
            a[i] = std::ldexp(mantissa(gen), exponent(gen));
            b[i] = std::ldexp(mantissa(gen), exponent(gen));
        }
        if (m > 3) a[3] = -0.0, b[3] = 0.0;
        expect_every_width<Term::value>(a, b);
        expect_every_width<Term::square>(a, b);
        expect_every_width<Term::squared_difference>(a, b);
        expect_every_width<Term::absolute_difference>(a, b);
    }
}

TEST(LaneSum, AllNegativeZerosStayNegative) {
    const std::vector<double> z(40, -0.0);
    expect_every_width<Term::value>(z, z);
    EXPECT_TRUE(std::signbit(lanes::leaf_sum<4, Term::value>(z.data(), z.data(), z.size())));
}
