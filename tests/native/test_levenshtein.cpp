#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "numeric/levenshtein.hpp"


namespace {

// The two-row programme over bytes.
std::int64_t reference(const std::string& a, const std::string& b) {
    std::vector<std::int64_t> prev(b.size() + 1), cur(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) prev[j] = static_cast<std::int64_t>(j);
    for (std::size_t i = 1; i <= a.size(); ++i) {
        cur[0] = static_cast<std::int64_t>(i);
        for (std::size_t j = 1; j <= b.size(); ++j)
            cur[j] = std::min({prev[j - 1] + (a[i - 1] != b[j - 1]), cur[j - 1] + 1, prev[j] + 1});
        std::swap(prev, cur);
    }
    return prev[b.size()];
}

std::string random_string(std::mt19937_64& g, std::size_t n, int alphabet) {
    std::string s(n, '\0');
    // alphabet 256: every byte; -2: NUL and 'a' (the padding of short patterns is NUL)
    for (auto& c : s)
        c = static_cast<char>(alphabet == 256 ? g() % 256 : alphabet == -2 ? 'a' * (g() % 2) : 'a' + g() % alphabet);
    return s;
}

// s with `edits` single-byte substitutions, insertions and deletions.
std::string mutate(std::mt19937_64& g, std::string s, std::size_t edits, int alphabet) {
    for (std::size_t e = 0; e < edits; ++e) {
        const std::size_t i = g() % (s.size() + 1);
        const char c = static_cast<char>('a' + g() % alphabet);
        switch (g() % 3) {
            case 0: if (i < s.size()) s[i] = c; break;
            case 1: s.insert(s.begin() + static_cast<std::ptrdiff_t>(i), c); break;
            default: if (i < s.size()) s.erase(i, 1);
        }
    }
    return s;
}

void expect_all_levels(const std::string& a, const std::string& b) {
    const std::int64_t expect = reference(a, b);
    using namespace qv::numeric;
    for (qv::isa::Level level : qv::isa::kLevels) {
        if (!qv::isa::supported(level)) continue;
        const auto distance = QV_ISA_AT(level, levenshtein);
        EXPECT_EQ(distance(a, b), expect) << qv::isa::name(level) << ", lengths " << a.size() << " and " << b.size();
        EXPECT_EQ(distance(b, a), expect) << qv::isa::name(level) << ", swapped";
    }
}

}  // namespace

// Both strings within one word, NUL bytes included.
TEST(Levenshtein, ShortStrings) {
    std::mt19937_64 g(3);
    for (std::size_t n = 0; n <= 64; ++n) {
        for (int alphabet : {1, -2, 3, 256}) {
            expect_all_levels(random_string(g, n, alphabet), random_string(g, g() % 65, alphabet));
            expect_all_levels(random_string(g, n, alphabet), random_string(g, 65 + g() % 100, alphabet));
        }
    }
}

// Lengths at the edges of words (64), vector groups (128 to 1024 rows) and
// the mask window, unrelated and over alphabets from one letter to all bytes.
TEST(Levenshtein, UnrelatedStringsAtBlockEdges) {
    std::mt19937_64 g(1);
    const std::size_t lengths[] = {65, 127, 128, 129, 255, 256, 257, 511, 512, 513, 1023, 1025, 1100};
    for (std::size_t n : lengths) {
        for (int alphabet : {1, 2, 4, 256}) {
            const std::size_t m = lengths[g() % std::size(lengths)];
            expect_all_levels(random_string(g, n, alphabet), random_string(g, m, alphabet));
        }
    }
    for (int i = 0; i < 60; ++i) {
        const int alphabet = i % 3 == 0 ? 256 : 3;
        expect_all_levels(random_string(g, 65 + g() % 700, alphabet), random_string(g, 1 + g() % 1500, alphabet));
    }
}

// Similar strings, whose distance a band finds: distances on both sides of
// each band the kernels try, edits spread out or bunched at either end.
TEST(Levenshtein, SimilarStringsAroundBandEdges) {
    std::mt19937_64 g(2);
    for (std::size_t n : {700, 3000, 5000}) {
        const std::string s = random_string(g, n, 4);
        for (std::size_t edits : {0, 1, 40, 120, 250, 400, 700}) expect_all_levels(s, mutate(g, s, edits, 4));
    }
    const std::string s = random_string(g, 4000, 26);
    for (std::size_t d : {127, 128, 129, 255, 256, 257, 511, 512, 513, 1023, 1025}) {
        std::string t = s;
        for (std::size_t i = 0; i < d; ++i) t[i * 3] = '#';  // d substitutions from the start
        expect_all_levels(s, t);
        std::reverse(t.begin(), t.end());  // ... and at the end
        std::string r = s;
        std::reverse(r.begin(), r.end());
        expect_all_levels(r, t);
        expect_all_levels(s, s.substr(0, 1000) + std::string(d, '#') + s.substr(1000));  // d inserted
    }
    // Long enough that a second, wider band is tried after the first fails.
    std::string u = random_string(g, 12000, 26), v = u;
    for (std::size_t i = 0; i < v.size(); i += 20) v[i] = '#';
    expect_all_levels(u, v);
}
