#include "numeric/levenshtein.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <immintrin.h>

#include "core/buffer.hpp"

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
[[gnu::always_inline]] inline void advance(T& pv, T& mv, const T& match, T& hp, T& hn) noexcept {
    const T xv = match | mv;
    const T eq = match | hn;
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

// ---- patterns of at most 64 bytes: one word -------------------------------
//
// The text byte's match mask comes from comparing it with the whole pattern,
// held zero-padded in vector registers: no table to build. Bits past the
// pattern's end may be set (for byte 0); they only ever reach rows below it.

struct Padded {
    alignas(64) unsigned char bytes[kBits] = {};
    explicit Padded(std::string_view pattern) noexcept { std::memcpy(bytes, pattern.data(), pattern.size()); }
};

struct MatchSse2 {
    __m128i p[4];
    explicit MatchSse2(std::string_view pattern) noexcept {
        const Padded padded(pattern);
        for (int i = 0; i < 4; ++i) p[i] = _mm_load_si128(reinterpret_cast<const __m128i*>(padded.bytes) + i);
    }
    Word operator()(unsigned char c) const noexcept {
        const __m128i b = _mm_set1_epi8(static_cast<char>(c));
        Word r = 0;
        for (int i = 0; i < 4; ++i)
            r |= Word{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(p[i], b)))} << (16 * i);
        return r;
    }
};

struct MatchAvx2 {
    __m256i p[2];
    [[gnu::target("arch=x86-64-v3")]] explicit MatchAvx2(std::string_view pattern) noexcept {
        const Padded padded(pattern);
        for (int i = 0; i < 2; ++i) p[i] = _mm256_load_si256(reinterpret_cast<const __m256i*>(padded.bytes) + i);
    }
    [[gnu::target("arch=x86-64-v3")]] Word operator()(unsigned char c) const noexcept {
        const __m256i b = _mm256_set1_epi8(static_cast<char>(c));
        return Word{static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(p[0], b)))} |
               Word{static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(p[1], b)))} << 32;
    }
};

struct MatchAvx512 {
    __m512i p;
    // A masked load: no copy, nothing read past the pattern.
    [[gnu::target("arch=x86-64-v4")]] explicit MatchAvx512(std::string_view pattern) noexcept
        : p(_mm512_maskz_loadu_epi8(~Word{0} >> (kBits - pattern.size()), pattern.data())) {}
    [[gnu::target("arch=x86-64-v4")]] Word operator()(unsigned char c) const noexcept {
        return _mm512_cmpeq_epi8_mask(p, _mm512_set1_epi8(static_cast<char>(c)));
    }
};

// The AVX2 and AVX-512 matchers are built for their level; that level's
// entry point inlines everything (flatten), them included.
template <class Match>
[[gnu::always_inline]] inline std::int64_t one_word(std::string_view text, std::string_view pattern) noexcept {
    const Match match(pattern);
    Word pv = ~Word{0}, mv = 0;
    for (char ch : text) {
        Word hp = 1, hn = 0;
        advance(pv, mv, match(static_cast<unsigned char>(ch)), hp, hn);
    }
    return static_cast<std::int64_t>(text.size()) + column_sum(pv, mv, pattern.size());
}

// ---- longer patterns: blocks of 64 rows along a wavefront ----------------
//
// The pattern's rows are cut into blocks of 64. Block w at text position t
// needs block w - 1 at t (the horizontal difference entering its first row)
// and itself at t - 1, so blocks of consecutive rows can run side by side if
// each starts one text position after the block above: lane j of a group of
// W lanes runs block gW + j at text position s - j in step s. The
// horizontal differences leaving a group's last lane are kept per text
// position for the next group. Each step reads its W match masks with plain
// loads from a window of rows into which every text byte's masks were
// written skewed (word j of position p into row p + j), W positions ahead.
//
// Band: when the distance is at most k, every cell an optimal path touches
// lies on a diagonal c - r (column c, the text bytes read; row r) with
// |c - r| + |n - m - (c - r)| <= k. A group then only needs the columns where
// its rows meet those diagonals: it starts from a column left of them with
// vertical differences of +1 (never below the true values) and the group
// below takes horizontal differences of +1 past the group's last column. The
// values so computed are never below the true ones and equal them along an
// optimal path, so a result at most k is the distance. A bound too small is
// noticed at a group's last row: every path crosses it, so when each of its
// cells plus the least cost from there to the end exceeds k, so does the
// distance.

// The pattern's match masks: row[c] is the offset of byte c's masks (the
// zero row 0 for bytes not in the pattern); `stride` words a row, the blocks
// padded to a whole number of groups.
struct MaskTable {
    Buffer<Word> masks;
    std::size_t row[256];
    std::size_t stride;

    MaskTable(std::string_view pattern, std::size_t stride) : stride(stride) {
        std::uint16_t code[256] = {};
        std::size_t distinct = 0;
        for (char ch : pattern) {
            std::uint16_t& c = code[static_cast<unsigned char>(ch)];
            if (c == 0) c = static_cast<std::uint16_t>(++distinct);
        }
        masks = Buffer<Word>::zeros((distinct + 1) * stride);
        for (int c = 0; c < 256; ++c) row[c] = code[c] * stride;
        for (std::size_t j = 0; j < pattern.size(); ++j)
            masks[row[static_cast<unsigned char>(pattern[j])] + j / kBits] |= Word{1} << (j % kBits);
    }
};

// Two to four blocks: one after the other for each text byte, in plain
// words. The processor overlaps consecutive bytes, which beats a vector of
// mostly idle lanes.
template <std::size_t Blocks>
[[gnu::always_inline]] inline std::int64_t few_blocks(std::string_view text, std::string_view pattern) {
    const MaskTable table(pattern, Blocks);
    Word pv[Blocks], mv[Blocks];
    for (std::size_t w = 0; w < Blocks; ++w) pv[w] = ~Word{0}, mv[w] = 0;
    for (char ch : text) {
        const Word* eq = table.masks.data() + table.row[static_cast<unsigned char>(ch)];
        Word hp = 1, hn = 0;
        for (std::size_t w = 0; w < Blocks; ++w) advance(pv[w], mv[w], eq[w], hp, hn);
    }
    std::int64_t d = static_cast<std::int64_t>(text.size());
    for (std::size_t w = 0; w < Blocks; ++w) d += column_sum(pv[w], mv[w], std::min(kBits, pattern.size() - w * kBits));
    return d;
}

// The diagonals c - r a path of cost at most k may use, from text length n
// and pattern length m <= n; k at least n covers the whole table.
struct Band {
    std::int64_t k, low, high;
    Band(std::int64_t k, std::int64_t n, std::int64_t m) : k(k), low(-((k - (n - m)) / 2)), high((k + n - m) / 2) {}
};

// L lanes a vector, U vectors a step.
template <int L, int U>
struct Wave {
    static constexpr std::size_t kLanes = std::size_t{L} * U;
    static constexpr std::size_t kGroupRows = kLanes * kBits;
    static constexpr std::size_t kWindow = 64;  // steps between moves of the mask window
    typedef Word V __attribute__((vector_size(L * sizeof(Word))));
    typedef std::int64_t S __attribute__((vector_size(L * sizeof(Word))));

    const unsigned char* text;
    std::int64_t n, m;
    const MaskTable& table;
    std::uint8_t* up;    // per text position: 1 when the horizontal difference
    std::uint8_t* down;  // below the last group run is +1 / -1
    Word* window;        // (kWindow + 2 kLanes) rows of kLanes words

    // The group being run: its masks, its columns, its lanes.
    const Word* masks;
    std::int64_t lo, hi, base;  // first row of the window: text position base
    V pv[U], mv[U], hp[U], hn[U];

    // Shuffle indices that move lanes up by one, lane 0 taking lane L - 1 of
    // a second vector.
    template <class Seq>
    struct Consts;
    template <std::size_t... I>
    struct Consts<std::index_sequence<I...>> {
        static constexpr S up = {static_cast<std::int64_t>(I == 0 ? 2 * L - 1 : I - 1)...};
    };
    using K = Consts<std::make_index_sequence<L>>;
    // kLanes words of ones, then kLanes of zeros: kLanes words from
    // kLanes - 1 - a on have lanes 0 to a set.
    static constexpr std::array<Word, 2 * kLanes> kFirst = [] {
        std::array<Word, 2 * kLanes> a{};
        for (std::size_t j = 0; j < kLanes; ++j) a[j] = ~Word{0};
        return a;
    }();
    [[gnu::always_inline]] static const Word* first_lanes(std::int64_t a) {
        return kFirst.data() + (kLanes - 1 - std::clamp<std::int64_t>(a, -1, kLanes - 1));
    }

    // Word j of text position p's masks into row p + j of the window.
    [[gnu::always_inline]] void put(std::int64_t p) {
        const Word* src = masks + table.row[text[p]];
        Word* dst = window + (p - base) * kLanes;
        for (std::size_t j = 0; j < kLanes; ++j) dst[j * (kLanes + 1)] = src[j];
    }

    // Step s: lane j at text position s - j. Edge: some lanes outside
    // [lo, hi), which keep their state.
    template <bool Edge>
    [[gnu::always_inline]] void step(std::int64_t s) {
        if (s - base == std::int64_t{kWindow}) {
            std::memcpy(window, window + kWindow * kLanes, 2 * kLanes * kLanes * sizeof(Word));
            base += kWindow;
        }
        if (s + std::int64_t{kLanes} < hi) put(s + kLanes);
        const Word* eq = window + (s - base) * kLanes;
        // The differences entering each lane: those the lane above left in
        // the previous step, for lane 0 those of the group above.
        const bool top_in = !Edge || s < hi;
        V cp[U], cn[U];
        cp[0] = __builtin_shuffle(hp[0], V{} + Word{top_in ? up[s] : 0u}, K::up);
        cn[0] = __builtin_shuffle(hn[0], V{} + Word{top_in ? down[s] : 0u}, K::up);
        for (int u = 1; u < U; ++u) {
            cp[u] = __builtin_shuffle(hp[u], hp[u - 1], K::up);
            cn[u] = __builtin_shuffle(hn[u], hn[u - 1], K::up);
        }
        for (int u = 0; u < U; ++u) {
            V x;
            std::memcpy(&x, eq + u * L, sizeof x);
            V p = pv[u], q = mv[u];
            advance(p, q, x, cp[u], cn[u]);
            hp[u] = cp[u], hn[u] = cn[u];
            if constexpr (Edge) {  // lanes s - hi < j <= s - lo run
                V run, past;
                std::memcpy(&run, first_lanes(s - lo) + u * L, sizeof run);
                std::memcpy(&past, first_lanes(s - hi) + u * L, sizeof past);
                const V keep = ~run | past;
                p = (pv[u] & keep) | (p & ~keep);
                q = (mv[u] & keep) | (q & ~keep);
            }
            pv[u] = p, mv[u] = q;
        }
        const std::int64_t t = s - std::int64_t{kLanes - 1};
        if (!Edge || (t >= lo && t < hi)) {
            up[t] = static_cast<std::uint8_t>(hp[U - 1][L - 1]);
            down[t] = static_cast<std::uint8_t>(hn[U - 1][L - 1]);
        }
    }

    // Runs group g over text positions [from, to).
    [[gnu::always_inline]] void run_group(std::size_t g, std::int64_t from, std::int64_t to) {
        masks = table.masks.data() + g * kLanes;
        lo = from, hi = to, base = from;
        for (int u = 0; u < U; ++u) pv[u] = ~V{}, mv[u] = V{}, hp[u] = V{}, hn[u] = V{};
        const std::int64_t w = kLanes;
        for (std::int64_t p = lo; p < std::min(hi, lo + w); ++p) put(p);
        const std::int64_t inner = lo + w - 1, end = hi + w - 1;
        std::int64_t s = lo;
        for (; s < std::min(inner, end); ++s) step<true>(s);
        for (; s < hi; ++s) step<false>(s);
        for (; s < end; ++s) step<true>(s);
    }

    // The distance if it is at most band.k, else a guess above band.k.
    [[gnu::always_inline]] std::int64_t run(const Band& band) {
        const std::int64_t rows = kGroupRows, groups = (m + rows - 1) / rows;
        // The group's text positions [from, to), and the value at column
        // `from` in the row above its first.
        std::int64_t from = 0, to = 0, corner = 0;
        for (std::int64_t g = 0; g < groups; ++g) {
            const std::int64_t top = g * rows + 1, bottom = top + rows - 1;
            const std::int64_t next_from = std::max<std::int64_t>(0, top + band.low - 1);
            const std::int64_t next_to = std::min(n, bottom + band.high);
            if (g == 0) {  // row 0: D(c, 0) = c
                corner = next_from;
                std::memset(up + next_from, 1, next_to - next_from);
                std::memset(down + next_from, 0, next_to - next_from);
            } else {  // past the group above's columns: +1
                corner += rows;
                for (std::int64_t t = from; t < next_from; ++t) corner += up[t] - down[t];
                std::memset(up + to, 1, next_to - to);
                std::memset(down + to, 0, next_to - to);
            }
            from = next_from, to = next_to;
            if (g + 1 == groups) break;
            run_group(g, from, to);
            if (band.k < n) {
                const std::int64_t least = least_through(corner + rows, bottom);
                // Too small a bound: guess the distance from the rows so far.
                if (least > band.k) return std::max<std::int64_t>(least, static_cast<double>(least) * m / bottom);
            }
        }
        // The last group reaches column n: the value there in the row above
        // it, then the vertical differences of its rows down to m.
        std::int64_t d = corner;
        for (std::int64_t t = from; t < n; ++t) d += up[t] - down[t];
        run_group(groups - 1, from, n);
        Word p[kLanes], q[kLanes];
        std::memcpy(p, pv, sizeof p);
        std::memcpy(q, mv, sizeof q);
        const std::int64_t left = m - (groups - 1) * rows;
        for (std::int64_t j = 0; j * std::int64_t{kBits} < left; ++j)
            d += column_sum(p[j], q[j], std::min<std::int64_t>(kBits, left - j * kBits));
        return d;
    }

    // The least over the group's last row, from column lo (value v) to hi,
    // of a cell plus the least cost from there to (n, m). When the distance
    // is at most the band's k, this is no more than the distance.
    std::int64_t least_through(std::int64_t v, std::int64_t row) const {
        const std::int64_t skew = n - m + row;
        std::int64_t least = v + std::abs(skew - lo);
        for (std::int64_t c = lo; c < hi; ++c) {
            v += up[c] - down[c];
            least = std::min(least, v + std::abs(skew - c - 1));
        }
        return least;
    }
};

// The band's columns summed over the groups: the steps a run takes.
std::int64_t band_steps(const Band& band, std::int64_t n, std::int64_t m, std::int64_t lanes) {
    const std::int64_t rows = lanes * kBits;
    std::int64_t steps = 0;
    for (std::int64_t top = 1; top <= m; top += rows)
        steps += std::min(n, top + rows - 1 + band.high) - std::max<std::int64_t>(0, top + band.low - 1) + lanes;
    return steps;
}

// Bands of growing width while a band costs at most half the whole table,
// then the whole table. A band too narrow gives a guess of the distance, and
// the next is at least twice as wide and a quarter wider than that guess.
// text is at least as long as pattern.
template <int L, int U>
[[gnu::always_inline]] inline std::int64_t wavefront(std::string_view text, std::string_view pattern) {
    using W = Wave<L, U>;
    const std::int64_t n = static_cast<std::int64_t>(text.size()), m = static_cast<std::int64_t>(pattern.size());
    const std::int64_t groups = (m + W::kGroupRows - 1) / W::kGroupRows;
    const MaskTable table(pattern, groups * W::kLanes);
    auto up = Buffer<std::uint8_t>::uninit(n), down = Buffer<std::uint8_t>::uninit(n);
    auto window = Buffer<Word>::zeros((W::kWindow + 2 * W::kLanes) * W::kLanes);
    W wave{reinterpret_cast<const unsigned char*>(text.data()), n, m, table, up.data(), down.data(), window.data()};
    const Band whole(2 * n + 2, n, m);
    const std::int64_t all = band_steps(whole, n, m, W::kLanes);
    for (std::int64_t k = n - m + W::kGroupRows / 2;;) {
        const Band band(k, n, m);
        if (band.k >= n || 2 * band_steps(band, n, m, W::kLanes) > all) break;
        const std::int64_t d = wave.run(band);
        if (d <= band.k) return d;
        k = std::max(2 * k, d + d / 4);
    }
    return wave.run(whole);
}

// Two vectors a step: each vector's state is six registers (pv, mv, hp, hn
// and the differences coming in), so with 16 vector registers (below
// AVX-512) a third or fourth vector spills. Smaller groups also waste fewer
// lanes on patterns of a few blocks and keep the band narrow.
[[gnu::noinline]] std::int64_t wavefront_baseline(std::string_view text, std::string_view pattern) {
    return wavefront<2, 2>(text, pattern);
}
[[gnu::target("arch=x86-64-v3"), gnu::noinline]] std::int64_t wavefront_v3(std::string_view text,
                                                                         std::string_view pattern) {
    return wavefront<4, 2>(text, pattern);
}
[[gnu::target("arch=x86-64-v4"), gnu::noinline]] std::int64_t wavefront_v4(std::string_view text,
                                                                         std::string_view pattern) {
    return wavefront<8, 2>(text, pattern);
}

// The whole distance with one level's kernels. Two strings that both fit a
// word are read along the shorter, with the longer as the pattern; patterns
// of up to four words run word by word, longer ones along the wavefront.
template <class Match>
[[gnu::always_inline]] inline std::int64_t distance(std::string_view a, std::string_view b,
                                                    std::int64_t (*longer)(std::string_view, std::string_view)) {
    auto [text, pattern] = strip(a, b);
    if (pattern.empty()) return static_cast<std::int64_t>(text.size());
    switch ((pattern.size() + kBits - 1) / kBits) {
        case 1:
            if (text.size() <= kBits) std::swap(text, pattern);
            return one_word<Match>(text, pattern);
        case 2: return few_blocks<2>(text, pattern);
        case 3: return few_blocks<3>(text, pattern);
        case 4: return few_blocks<4>(text, pattern);
        default: return longer(text, pattern);
    }
}

[[gnu::flatten]] std::int64_t distance_baseline(std::string_view a, std::string_view b) {
    return distance<MatchSse2>(a, b, wavefront_baseline);
}
[[gnu::target("arch=x86-64-v3"), gnu::flatten]] std::int64_t distance_v3(std::string_view a, std::string_view b) {
    return distance<MatchAvx2>(a, b, wavefront_v3);
}
[[gnu::target("arch=x86-64-v4"), gnu::flatten]] std::int64_t distance_v4(std::string_view a, std::string_view b) {
    return distance<MatchAvx512>(a, b, wavefront_v4);
}

using DistanceFn = std::int64_t (*)(std::string_view, std::string_view);

DistanceFn distance_for(Isa level) {
    switch (level) {
        case Isa::V4: return distance_v4;
        case Isa::V3: return distance_v3;
        default: return distance_baseline;
    }
}

Isa best_level() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("x86-64-v4")) return Isa::V4;
    if (__builtin_cpu_supports("x86-64-v3")) return Isa::V3;
    return Isa::Baseline;
}

const DistanceFn g_distance = distance_for(best_level());

}  // namespace

std::int64_t levenshtein(std::string_view a, std::string_view b) { return g_distance(a, b); }

bool levenshtein_is_quick(std::string_view a, std::string_view b) noexcept {
    return std::min(a.size(), b.size()) <= kBits && std::max(a.size(), b.size()) <= 256;
}

bool isa_supported(Isa level) {
    __builtin_cpu_init();
    switch (level) {
        case Isa::V4: return __builtin_cpu_supports("x86-64-v4");
        case Isa::V3: return __builtin_cpu_supports("x86-64-v3");
        default: return true;
    }
}

std::int64_t levenshtein_at(Isa level, std::string_view a, std::string_view b) {
    return distance_for(level)(a, b);
}

}  // namespace qv::numeric
