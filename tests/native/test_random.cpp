#include <gtest/gtest.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstddef>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "chacha_reference.hpp"
#include "core/error.hpp"
#include "fork_helpers.hpp"
#include "random/chacha.hpp"
#include "random/random.hpp"

using namespace qv::rnd;
using qv::test::chacha12_block_scalar;

namespace {

// The key stream of key from block 0 on, by the scalar block function.
std::vector<std::uint32_t> reference_stream(const std::uint32_t key[8], std::size_t words) {
    std::vector<std::uint32_t> out((words + kBlockWords - 1) / kBlockWords * kBlockWords);
    for (std::size_t b = 0; b * kBlockWords < words; ++b) chacha12_block_scalar(key, b, &out[b * kBlockWords]);
    out.resize(words);
    return out;
}

std::uint64_t pair(const std::vector<std::uint32_t>& s, std::size_t i) {
    return s[i] | static_cast<std::uint64_t>(s[i + 1]) << 32;
}

}  // namespace

// Values from an independent implementation of the same generators.
TEST(SeededGenerator, CheckValuesSeedZero) {
    SeededGenerator words(0);
    EXPECT_EQ(words.next_word(), 13486662071293341567ULL);
    EXPECT_EQ(words.next_word(), 14267822071968393595ULL);
    EXPECT_EQ(words.next_word(), 476749353381333526ULL);

    SeededGenerator floats(0);
    EXPECT_EQ(unit_float(floats), 0.7311134158637046);
    EXPECT_EQ(unit_float(floats), 0.7734601843532382);
    EXPECT_EQ(unit_float(floats), 0.025844634233355035);

    SeededGenerator normals(0);
    EXPECT_EQ(normal(normals), 0.7128130103834549);
    EXPECT_EQ(normal(normals), 0.8583314468179001);
    EXPECT_EQ(normal(normals), -2.4362438894664367);
}

TEST(Chacha, VectorLevelsMatchScalar) {
    const std::uint32_t keys[][8] = {{0, 0, 0, 0, 0, 0, 0, 0},
                                     {1, 2, 3, 4, 5, 6, 7, 0xffffffffu},
                                     {0xdeadbeef, 0x01234567, 0x89abcdef, 7, 0x80000000u, 9, 10, 11}};
    // Counters whose four or eight blocks carry into the high word or wrap.
    const std::uint64_t counters[] = {0, 12344, 0xfffffffcULL, 0xfffffffeULL, 0xfffffffffffffffaULL};
    for (qv::isa::Level level : qv::isa::kLevels) {
        if (!qv::isa::supported(level)) continue;
        for (const auto& key : keys) {
            for (std::uint64_t c : counters) {
                std::uint32_t expect[2 * kRefillWords], got[2 * kRefillWords];
                for (int b = 0; b < 8; ++b) chacha12_block_scalar(key, c + b, expect + b * kBlockWords);
                QV_ISA_AT(level, chacha12_blocks8)(key, c, got);
                EXPECT_EQ(std::memcmp(expect, got, sizeof got), 0) << qv::isa::name(level) << " counter " << c;
            }
        }
    }
}

TEST(Chacha, ScalarBlockKnownAnswer) {
    // ChaCha12, all-zero key and nonce, block 0: the published key-stream prefix.
    std::uint32_t key[8] = {}, out[kBlockWords];
    chacha12_block_scalar(key, 0, out);
    const unsigned char expect[8] = {0x9b, 0xf4, 0x9a, 0x6a, 0x07, 0x55, 0xf9, 0x53};
    EXPECT_EQ(std::memcmp(out, expect, sizeof expect), 0);
}

// Word k of a seeded generator is key-stream words 2k and 2k+1, across the
// four-block refills (the 32nd word ends block 3, the 33rd starts block 4)
// and across the eight-block kernel calls.
TEST(SeededGenerator, WordsFollowKeyStream) {
    for (std::uint64_t seed : {0ULL, 1ULL, 0x8000000000000000ULL}) {
        std::uint32_t key[8];
        pcg32_key(seed, key);
        auto stream = reference_stream(key, 600);
        SeededGenerator g(seed);
        for (std::size_t k = 0; k < 300; ++k) ASSERT_EQ(g.next_word(), pair(stream, 2 * k)) << "word " << k;
    }
}

// After one single word, every 64-bit word straddles: at read index 63 the
// low half is the refill's last word and the high half the next refill's first.
TEST(SeededGenerator, WordAcrossRefillAtIndex63) {
    std::uint32_t key[8];
    pcg32_key(7, key);
    auto stream = reference_stream(key, 602);
    SeededGenerator g(7);
    EXPECT_EQ(g.next_u32(), stream[0]);
    for (std::size_t k = 0; k < 300; ++k) ASSERT_EQ(g.next_word(), pair(stream, 1 + 2 * k)) << "word " << k;
    EXPECT_EQ(g.next_u32(), stream[601]);
}

TEST(SeededGenerator, SameSeedSameStreamOneBitApartUnrelated) {
    SeededGenerator a(42), b(42), c(43);
    int same_bits = 0;
    for (int i = 0; i < 64; ++i) {
        std::uint64_t wa = a.next_word();
        ASSERT_EQ(wa, b.next_word());
        same_bits += 64 - __builtin_popcountll(wa ^ c.next_word());
    }
    EXPECT_NEAR(same_bits, 64 * 32, 200);  // about half the bits agree
}

TEST(UnitFloat, Conversions) {
    EXPECT_EQ(unit_float_from(0), 0.0);
    EXPECT_EQ(unit_float_from(std::uint64_t{1} << 11), 0x1.0p-53);
    EXPECT_EQ(unit_float_from(~std::uint64_t{0}), 1.0 - 0x1.0p-53);
    EXPECT_EQ(unit_float_from(std::uint64_t{1} << 63), 0.5);
    EXPECT_EQ(open_unit_float_from(0), 0x1.0p-53);
    EXPECT_EQ(open_unit_float_from(~std::uint64_t{0}), 1.0 - 0x1.0p-53);
    EXPECT_GT(open_unit_float_from(std::uint64_t{1} << 12), 0.0);
}

// The bulk fill gives what single draws give, from any read position.
TEST(UnitFloat, FillMatchesSingleDraws) {
    for (int skip_words : {0, 1, 2, 63, 64, 127}) {
        for (std::size_t n : {0u, 1u, 31u, 32u, 33u, 100u, 1000u}) {
            SeededGenerator a(99), b(99);
            for (int i = 0; i < skip_words; ++i) a.next_u32(), b.next_u32();
            std::vector<double> got(n);
            fill_unit_floats(a, got.data(), n);
            for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(got[i], unit_float(b)) << skip_words << " " << n << " " << i;
            EXPECT_EQ(a.next_word(), b.next_word());
        }
    }
}

TEST(Ziggurat, Tables) {
    const auto& t = ziggurat_tables();
    EXPECT_NEAR(t.x[0], 3.91075795953709, 1e-13);
    EXPECT_EQ(t.x[1], 3.654152885361009);
    EXPECT_NEAR(t.f[0], 0.000477467764586655, 1e-17);
    EXPECT_NEAR(t.f[255], 0.9771017012827313, 1e-15);
    EXPECT_EQ(t.x[256], 0.0);
    EXPECT_EQ(t.f[256], 1.0);
    for (int i = 0; i < 256; ++i) {
        ASSERT_GT(t.x[i], t.x[i + 1]) << i;
        ASSERT_LT(t.f[i], t.f[i + 1]) << i;
    }
}

// Tail draws lie beyond R, all others within it; the sample looks normal.
TEST(Ziggurat, NormalDraws) {
    SeededGenerator g(2024);
    const double r = ziggurat_tables().x[1];
    const int n = 1000000;
    double sum = 0, sum_sq = 0;
    int beyond = 0;
    for (int i = 0; i < n; ++i) {
        double x = normal(g);
        ASSERT_TRUE(std::isfinite(x));
        sum += x;
        sum_sq += x * x;
        beyond += std::fabs(x) > r;
    }
    EXPECT_NEAR(sum / n, 0.0, 0.005);
    EXPECT_NEAR(sum_sq / n, 1.0, 0.01);
    EXPECT_GT(beyond, 150);  // about 258 expected: 2 (1 - Phi(R)) n
    EXPECT_LT(beyond, 400);

    SeededGenerator a(5), b(5);
    std::vector<double> filled(500);
    fill_normals(a, filled.data(), filled.size());
    for (double v : filled) ASSERT_EQ(v, normal(b));
}

namespace {

// The seeded generator and its normal draw written out plainly: the key
// stream a block at a time, a 64-bit word from two consecutive words, the
// ziggurat's tables and the draw, counting how often each way out is taken.
struct PlainNormals {
    static constexpr double kR = 3.654152885361009, kV = 0.00492867323399;
    std::uint32_t key[8], block[kBlockWords];
    std::uint64_t counter = 0;
    int pos = kBlockWords;
    double x[257], f[257];
    long layer = 0, wedge_in = 0, wedge_out = 0, tail = 0, tail_retries = 0;

    explicit PlainNormals(std::uint64_t seed) {
        pcg32_key(seed, key);
        auto density = [](double v) { return std::exp(-v * v / 2.0); };
        x[0] = kV / density(kR);
        x[1] = kR;
        for (int i = 1; i <= 254; ++i) x[i + 1] = std::sqrt(-2.0 * std::log(kV / x[i] + density(x[i])));
        x[256] = 0.0;
        for (int i = 0; i <= 255; ++i) f[i] = density(x[i]);
        f[256] = 1.0;
    }
    std::uint64_t u32() {
        if (pos == kBlockWords) chacha12_block_scalar(key, counter++, block), pos = 0;
        return block[pos++];
    }
    std::uint64_t word() {
        const std::uint64_t low = u32();
        return low | u32() << 32;
    }
    static double with_bits(std::uint64_t b) { return std::bit_cast<double>(b); }
    double open_unit() { return with_bits(0x3ff0000000000000ULL | word() >> 12) - (1.0 - 0x1.0p-53); }

    double draw() {
        for (;;) {
            const std::uint64_t w = word();
            const unsigned i = w & 0xff;
            const double u = with_bits(0x4000000000000000ULL | w >> 12) - 3.0;
            const double v = u * x[i];
            if (std::fabs(v) < x[i + 1]) return ++layer, v;
            if (i == 0) {
                for (;; ++tail_retries) {
                    const double t = std::log(open_unit()) / kR, y = std::log(open_unit());
                    if (t * t <= -2.0 * y) return ++tail, u < 0.0 ? t - kR : kR - t;
                }
            }
            const double below = static_cast<double>(word() >> 11) * 0x1.0p-53;
            if (below * (f[i] - f[i + 1]) + f[i + 1] < std::exp(v * v * -0.5)) return ++wedge_in, v;
            ++wedge_out;
        }
    }
};

}  // namespace

// Bit for bit the plain draw, over enough draws per seed that the rare ways
// out -- the tail (about once in 4 000 draws), its rejections, the wedge
// test either way -- are each taken many times.
TEST(Ziggurat, NormalDrawsMatchPlainTranscription) {
    constexpr std::size_t kDraws = 300'000;
    long layer = 0, wedge_in = 0, wedge_out = 0, tail = 0, tail_retries = 0;
    std::vector<double> got(kDraws);
    for (std::uint64_t seed : {1ULL, 77ULL, 2026ULL, 0xfeedfacecafeULL}) {
        PlainNormals plain(seed);
        SeededGenerator g(seed);
        fill_normals(g, got.data(), kDraws);
        for (std::size_t k = 0; k < kDraws; ++k)
            ASSERT_EQ(std::bit_cast<std::uint64_t>(got[k]), std::bit_cast<std::uint64_t>(plain.draw()))
                << "seed " << seed << ", draw " << k;
        layer += plain.layer, wedge_in += plain.wedge_in, wedge_out += plain.wedge_out;
        tail += plain.tail, tail_retries += plain.tail_retries;
    }
    // These seeds take 1 190 017 draws from a layer, 9 673 and 8 041 through the
    // wedge test either way, 310 from the tail after 21 rejections.
    EXPECT_GT(layer, 1'100'000);
    EXPECT_GT(wedge_in, 8'000);
    EXPECT_GT(wedge_out, 6'500);
    EXPECT_GT(tail, 250);
    EXPECT_GT(tail_retries, 12);
}

// ---- thread generator ------------------------------------------------------

namespace {

// Key n of a counting entropy source: {n, pid, 0, ...}.
std::uint32_t g_entropy_calls = 0;
void counting_entropy(std::uint32_t key[8]) {
    std::memset(key, 0, 32);
    key[0] = ++g_entropy_calls;
    key[1] = static_cast<std::uint32_t>(getpid());
}
std::vector<std::uint32_t> counting_stream(std::uint32_t n, std::size_t words) {
    std::uint32_t key[8] = {n, static_cast<std::uint32_t>(getpid())};
    return reference_stream(key, words);
}

void failing_entropy(std::uint32_t*) { qv::internal_failure("no entropy"); }

}  // namespace

// The key is replaced before the 257th refill (after 64 KiB), counter from 0.
TEST(ThreadGenerator, ReseedsEvery64KiB) {
    g_entropy_calls = 0;
    ThreadGenerator g(counting_entropy);
    const std::size_t words_per_key = ThreadGenerator::kReseedBudget / 8;  // 64-bit words
    auto first = counting_stream(1, 2 * words_per_key);
    for (std::size_t k = 0; k < words_per_key; ++k) ASSERT_EQ(g.next_word(), pair(first, 2 * k)) << k;
    EXPECT_EQ(g_entropy_calls, 1u);
    auto second = counting_stream(2, 64);
    for (std::size_t k = 0; k < 32; ++k) ASSERT_EQ(g.next_word(), pair(second, 2 * k)) << k;
    EXPECT_EQ(g_entropy_calls, 2u);
}

TEST(ThreadGenerator, EntropyFailureIsInternal) {
    try {
        ThreadGenerator g(failing_entropy);
        FAIL() << "no failure";
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.kind, qv::ErrorKind::Internal);
    }
}

TEST(ThreadGenerator, PerThread) {
    ThreadGenerator* mine = &thread_generator();
    EXPECT_EQ(mine, &thread_generator());
    std::uint64_t w_main = thread_generator().next_word();
    std::uint64_t w_other = 0;
    ThreadGenerator* other = nullptr;
    std::thread([&] {
        other = &thread_generator();
        w_other = other->next_word();
    }).join();
    EXPECT_NE(mine, other);
    EXPECT_NE(w_main, w_other);
}

// A forked child reseeds before its next refill.
TEST(ThreadGenerator, ReseedsInForkedChild) {
    g_entropy_calls = 0;
    ThreadGenerator g(counting_entropy);
    auto first = counting_stream(1, 2 * kRefillWords);
    std::uint64_t before = fork_count();
    g.next_word();
    int rc = qv::test::run_in_child([&] {
        for (std::size_t k = 1; k < 32; ++k)
            if (g.next_word() != pair(first, 2 * k)) return 1;  // the refill's other words
        auto fresh = counting_stream(2, 2);                     // (key 2 holds the child's pid)
        return g.next_word() == pair(fresh, 0) ? 0 : 3;         // then key 2, from block 0
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(fork_count(), before);  // only the child counts the fork
    for (std::size_t k = 1; k < 40; ++k) ASSERT_EQ(g.next_word(), pair(first, 2 * k));  // the parent carries on
}

// The thread generator of the forking thread drops its buffered words in the
// child: parent and child never hand out the same words.
TEST(ThreadGenerator, ParentAndChildDrawDifferentWords) {
    thread_generator().next_word();  // buffer part-used before the fork
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    int rc = qv::test::run_in_child([&] {
        std::uint64_t w[4];
        for (auto& x : w) x = thread_generator().next_word();
        return write(fds[1], w, sizeof w) == static_cast<ssize_t>(sizeof w) ? 0 : 1;
    });
    ASSERT_EQ(rc, 0);
    std::uint64_t child[4], parent[4];
    ASSERT_EQ(read(fds[0], child, sizeof child), static_cast<ssize_t>(sizeof child));
    close(fds[0]);
    close(fds[1]);
    for (auto& x : parent) x = thread_generator().next_word();
    for (int i = 0; i < 4; ++i) EXPECT_NE(child[i], parent[i]) << i;
}

// The fallback source of kernels without getrandom: full keys, a fresh one
// each call, and a generator that runs on them.
TEST(ThreadGenerator, UrandomFallbackGivesKeys) {
    std::uint32_t a[8], b[8];
    urandom_entropy(a);
    urandom_entropy(b);
    EXPECT_NE(std::memcmp(a, b, sizeof a), 0);
    int zero_words = 0;
    for (std::uint32_t w : a) zero_words += w == 0;
    EXPECT_LT(zero_words, 2);
    ThreadGenerator g(urandom_entropy);
    EXPECT_NE(g.next_word(), ThreadGenerator(urandom_entropy).next_word());
}

// A kernel without getrandom, made with a seccomp filter in a forked child:
// a new thread's generator is keyed from /dev/urandom instead.
TEST(ThreadGenerator, KeyedFromUrandomWhereGetrandomIsMissing) {
    int rc = qv::test::run_in_child([] {
        sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_getrandom, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
            return 77;  // no seccomp here
        char byte;
        if (syscall(SYS_getrandom, &byte, 1, 0) != -1 || errno != ENOSYS) return 3;
        std::uint64_t a = 0, b = 0;
        std::thread([&] { a = thread_generator().next_word(); }).join();
        std::thread([&] { b = thread_generator().next_word(); }).join();
        return a != b ? 0 : 4;
    });
    if (rc == 77) GTEST_SKIP() << "seccomp filters are not allowed here";
    EXPECT_EQ(rc, 0);
}
