#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "core/buffer.hpp"
#include "random/random.hpp"
#include "tensor/gemm.hpp"
#include "tensor/tensor.hpp"

using namespace qv;
using namespace qv::tensor;

// A buffer moved from, by construction or by assignment, is left empty, so
// that its size() and end() never reach into storage it no longer owns.
TEST(Buffer, MovedFromIsEmpty) {
    auto a = Buffer<double>::uninit(5);
    Buffer<double> b(std::move(a));
    auto c = Buffer<double>::zeros(3);
    c = std::move(b);
    EXPECT_EQ(c.size(), 5u);
    for (const auto* moved : {&a, &b}) {
        EXPECT_EQ(moved->size(), 0u);
        EXPECT_EQ(moved->data(), nullptr);
    }
}

// Enough normal draws to take the tail and the wedges several times.
TEST(TensorRandom, SeededFillsFollowTheGeneratorsStream) {
    const Tensor u = tensor::rand({300, 333}, 12345), z = tensor::randn({300, 333}, 12345);
    rnd::SeededGenerator gu(12345), gz(12345);
    for (std::size_t i = 0; i < u.size; ++i) {
        ASSERT_EQ(u.begin()[i], rnd::unit_float(gu)) << i;
        ASSERT_EQ(z.begin()[i], rnd::normal(gz)) << i;
    }
}

TEST(Isa, LevelChoice) {
    using isa::Level;
    EXPECT_EQ(isa::level_for(nullptr, Level::avx2), Level::avx2);
    EXPECT_EQ(isa::level_for("baseline", Level::avx512), Level::baseline);
    EXPECT_EQ(isa::level_for("avx2", Level::avx512), Level::avx2);
    EXPECT_EQ(isa::level_for("avx512", Level::avx2), Level::avx2);  // never above the processor
    EXPECT_EQ(isa::level_for("avx512", Level::baseline), Level::baseline);
    EXPECT_EQ(isa::level_for("AVX2", Level::avx512), Level::avx512);  // unknown: ignored
    EXPECT_EQ(isa::level_for("", Level::avx2), Level::avx2);
    EXPECT_LE(isa::level(), isa::cpu_level());
}

// Each level the processor has, against the plain triple loop, for the four
// transpose combinations on sizes around the blocking and register tiles.
TEST(Gemm, EveryLevelMatchesTheTripleLoop) {
    std::mt19937_64 rng(7);
    std::normal_distribution<double> normal;
    for (isa::Level lv : isa::kLevels) {
        if (!isa::supported(lv)) continue;
        const GemmFn fn = QV_ISA_AT(lv, gemm);
        for (auto [m, n, k] : {std::array<std::int64_t, 3>{1, 1, 1}, {7, 9, 3}, {33, 17, 300}, {260, 130, 70}}) {
            std::vector<double> a(m * k), b(k * n), c(m * n), want(m * n, 0.0);
            for (double& v : a) v = normal(rng);
            for (double& v : b) v = normal(rng);
            for (int ta = 0; ta < 2; ++ta) {
                for (int tb = 0; tb < 2; ++tb) {
                    // op(a)[i][p] and op(b)[p][j] stored row-major as given or transposed.
                    auto at = [&](std::int64_t i, std::int64_t p) { return ta ? a[p * m + i] : a[i * k + p]; };
                    auto bt = [&](std::int64_t p, std::int64_t j) { return tb ? b[j * k + p] : b[p * n + j]; };
                    fn(m, n, k, {a.data(), ta ? m : k, ta == 1}, {b.data(), tb ? k : n, tb == 1}, c.data());
                    for (std::int64_t i = 0; i < m; ++i) {
                        for (std::int64_t j = 0; j < n; ++j) {
                            double s = 0.0;
                            for (std::int64_t p = 0; p < k; ++p) s += at(i, p) * bt(p, j);
                            ASSERT_NEAR(c[i * n + j], s, 1e-11) << isa::name(lv) << " " << ta << tb << " " << m << "x" << n << "x" << k;
                        }
                    }
                }
            }
        }
    }
}
