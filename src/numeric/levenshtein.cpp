#include "numeric/levenshtein.hpp"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#include "frame/buffer.hpp"

namespace qv::numeric {
namespace {

using Word = std::uint64_t;
constexpr std::size_t kBits = 64;

// The pair with its common prefix and suffix removed, the shorter string as
// the pattern (the column of the table) and the longer as the text.
struct Pair {
    std::string_view text, pattern;
};

Pair strip(std::string_view a, std::string_view b) noexcept {
    if (a.size() < b.size()) std::swap(a, b);
    const auto lead = std::mismatch(b.begin(), b.end(), a.begin()).first - b.begin();
    a.remove_prefix(lead);
    b.remove_prefix(lead);
    const auto tail = std::mismatch(b.rbegin(), b.rend(), a.rbegin()).first - b.rbegin();
    a.remove_suffix(tail);
    b.remove_suffix(tail);
    return {a, b};
}

// One text byte against one 64-row block of the pattern (Myers' step in
// Hyyrö's form). pv / mv: the rows whose vertical difference is +1 / -1.
// eq: the rows that hold the text byte. hp / hn: on entry, 1 when the
// horizontal difference above the block's first row is +1 / -1; on return,
// the same below its last row. T is a word or a vector of words.
template <class T>
[[gnu::always_inline]] inline void advance(T& pv, T& mv, T eq, T& hp, T& hn) noexcept {
    const T xv = eq | mv;
    eq |= hn;
    const T xh = (((eq & pv) + pv) ^ pv) | eq;
    T ph = mv | ~(xh | pv);
    T mh = pv & xh;
    const T hp_out = ph >> (kBits - 1), hn_out = mh >> (kBits - 1);
    ph = (ph << 1) | hp;
    mh = (mh << 1) | hn;
    pv = mh | ~(xv | ph);
    mv = ph & xv;
    hp = hp_out;
    hn = hn_out;
}

// The distance at the bottom of the last column: the first cell of the
// column is the text length n, and each row below adds its vertical
// difference. rows: how many of the word's rows belong to the pattern.
inline std::int64_t column_sum(Word pv, Word mv, std::size_t rows) noexcept {
    const Word keep = rows == kBits ? ~Word{0} : (Word{1} << rows) - 1;
    return std::popcount(pv & keep) - std::popcount(mv & keep);
}

// Pattern of at most 64 bytes: one word, the match masks of its distinct
// bytes in a small table on the stack.
std::int64_t one_word(std::string_view text, std::string_view pattern) noexcept {
    std::uint8_t code[256] = {};  // 0: the byte is not in the pattern
    Word masks[kBits + 1];
    masks[0] = 0;
    unsigned distinct = 0;
    for (std::size_t j = 0; j < pattern.size(); ++j) {
        std::uint8_t& c = code[static_cast<unsigned char>(pattern[j])];
        if (c == 0) masks[c = static_cast<std::uint8_t>(++distinct)] = 0;
        masks[c] |= Word{1} << j;
    }
    Word pv = ~Word{0}, mv = 0;
    for (char ch : text) {
        Word hp = 1, hn = 0;
        advance(pv, mv, masks[code[static_cast<unsigned char>(ch)]], hp, hn);
    }
    return static_cast<std::int64_t>(text.size()) + column_sum(pv, mv, pattern.size());
}

// Longer patterns: one word per 64 rows, each text byte advancing the blocks
// from the top down.
std::int64_t blocks(std::string_view text, std::string_view pattern) {
    const std::size_t m = pattern.size(), nb = (m + kBits - 1) / kBits;
    auto masks = Buffer<Word>::zeros(256 * nb);
    for (std::size_t j = 0; j < m; ++j)
        masks[static_cast<unsigned char>(pattern[j]) * nb + j / kBits] |= Word{1} << (j % kBits);
    auto pv = Buffer<Word>::uninit(nb), mv = Buffer<Word>::uninit(nb);
    std::fill(pv.begin(), pv.end(), ~Word{0});
    std::fill(mv.begin(), mv.end(), Word{0});
    for (char ch : text) {
        const Word* eq = masks.data() + static_cast<unsigned char>(ch) * nb;
        Word hp = 1, hn = 0;
        for (std::size_t w = 0; w < nb; ++w) advance(pv[w], mv[w], eq[w], hp, hn);
    }
    std::int64_t d = static_cast<std::int64_t>(text.size());
    for (std::size_t w = 0; w < nb; ++w) d += column_sum(pv[w], mv[w], std::min(kBits, m - w * kBits));
    return d;
}

}  // namespace

std::int64_t levenshtein(std::string_view a, std::string_view b) {
    const auto [text, pattern] = strip(a, b);
    if (pattern.empty()) return static_cast<std::int64_t>(text.size());
    if (pattern.size() <= kBits) return one_word(text, pattern);
    return blocks(text, pattern);
}

}  // namespace qv::numeric
