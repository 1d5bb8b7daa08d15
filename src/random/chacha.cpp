#include "random/chacha.hpp"

#include <cstring>
#include <utility>

namespace qv::rnd {
namespace {

constexpr std::uint32_t kSigma[4] = {0x61707865, 0x3320646e, 0x79622d32, 0x6b206574};  // "expand 32-byte k"

// ---- scalar --------------------------------------------------------------

inline std::uint32_t rotl32(std::uint32_t x, int r) { return (x << r) | (x >> (32 - r)); }

inline void quarter_round(std::uint32_t* x, int a, int b, int c, int d) {
    x[a] += x[b]; x[d] = rotl32(x[d] ^ x[a], 16);
    x[c] += x[d]; x[b] = rotl32(x[b] ^ x[c], 12);
    x[a] += x[b]; x[d] = rotl32(x[d] ^ x[a], 8);
    x[c] += x[d]; x[b] = rotl32(x[b] ^ x[c], 7);
}

// ---- vector: the 4x4 word matrix by rows, W / 4 blocks side by side -----
//
// A vector of W lanes holds one row (four words) of W / 4 consecutive blocks.
// The column round works on whole rows; the diagonal round first turns rows
// b, c and d by one, two and three words within each block, then back.

template <int W>
struct Lanes {
    typedef std::uint32_t u32 __attribute__((vector_size(W * 4)));
    typedef std::uint8_t u8 __attribute__((vector_size(W * 4)));
    typedef std::int32_t i32 __attribute__((vector_size(W * 4)));
    typedef std::int8_t i8 __attribute__((vector_size(W * 4)));
};

// Rotate every word of each block left by S positions.
template <int W, int S, std::size_t... I>
[[gnu::always_inline]] inline typename Lanes<W>::u32 turn(typename Lanes<W>::u32 v, std::index_sequence<I...>) {
    using M = typename Lanes<W>::i32;
    return __builtin_shuffle(v, M{static_cast<std::int32_t>((I & ~3u) | ((I + S) & 3u))...});
}
template <int W, int S>
[[gnu::always_inline]] inline typename Lanes<W>::u32 turn(typename Lanes<W>::u32 v) {
    return turn<W, S>(v, std::make_index_sequence<W>{});
}

// Rotate every 32-bit lane left by R bits (by 8 and 16 as a byte shuffle when
// the instruction set has one: one instruction instead of three).
template <int W, int R, std::size_t... I>
[[gnu::always_inline]] inline typename Lanes<W>::u32 rotl_bytes(typename Lanes<W>::u32 v, std::index_sequence<I...>) {
    using B = typename Lanes<W>::u8;
    using M = typename Lanes<W>::i8;
    constexpr unsigned k = R / 8;
    return reinterpret_cast<typename Lanes<W>::u32>(
        __builtin_shuffle(reinterpret_cast<B>(v), M{static_cast<std::int8_t>((I & ~3u) | ((I - k) & 3u))...}));
}
template <int W, int R, bool ByteShuffle>
[[gnu::always_inline]] inline typename Lanes<W>::u32 rotl(typename Lanes<W>::u32 v) {
    if constexpr (ByteShuffle && R % 8 == 0) return rotl_bytes<W, R>(v, std::make_index_sequence<W * 4>{});
    else return (v << R) | (v >> (32 - R));
}

// NB blocks from counter on; NB / (W / 4) independent groups interleaved.
template <int W, int NB, bool ByteShuffle>
[[gnu::always_inline]] inline void blocks_rows(const std::uint32_t key[8], std::uint64_t counter, std::uint32_t* out) {
    using V = typename Lanes<W>::u32;
    constexpr int kPer = W / 4;  // blocks per vector
    constexpr int kGroups = NB / kPer;
    V a0, b0, c0, d0[kGroups];
    for (int j = 0; j < kPer; ++j) {
        for (int w = 0; w < 4; ++w) {
            a0[4 * j + w] = kSigma[w];
            b0[4 * j + w] = key[w];
            c0[4 * j + w] = key[4 + w];
        }
    }
    for (int g = 0; g < kGroups; ++g) {
        for (int j = 0; j < kPer; ++j) {
            std::uint64_t ctr = counter + static_cast<std::uint64_t>(g * kPer + j);
            d0[g][4 * j] = static_cast<std::uint32_t>(ctr);
            d0[g][4 * j + 1] = static_cast<std::uint32_t>(ctr >> 32);
            d0[g][4 * j + 2] = 0;
            d0[g][4 * j + 3] = 0;
        }
    }
    V a[kGroups], b[kGroups], c[kGroups], d[kGroups];
    for (int g = 0; g < kGroups; ++g) { a[g] = a0; b[g] = b0; c[g] = c0; d[g] = d0[g]; }

    auto half_round = [&] {
        for (int g = 0; g < kGroups; ++g) { a[g] += b[g]; d[g] = rotl<W, 16, ByteShuffle>(d[g] ^ a[g]); }
        for (int g = 0; g < kGroups; ++g) { c[g] += d[g]; b[g] = rotl<W, 12, ByteShuffle>(b[g] ^ c[g]); }
        for (int g = 0; g < kGroups; ++g) { a[g] += b[g]; d[g] = rotl<W, 8, ByteShuffle>(d[g] ^ a[g]); }
        for (int g = 0; g < kGroups; ++g) { c[g] += d[g]; b[g] = rotl<W, 7, ByteShuffle>(b[g] ^ c[g]); }
    };
    for (int r = 0; r < kChachaRounds; r += 2) {
        half_round();
        for (int g = 0; g < kGroups; ++g) { b[g] = turn<W, 1>(b[g]); c[g] = turn<W, 2>(c[g]); d[g] = turn<W, 3>(d[g]); }
        half_round();
        for (int g = 0; g < kGroups; ++g) { b[g] = turn<W, 3>(b[g]); c[g] = turn<W, 2>(c[g]); d[g] = turn<W, 1>(d[g]); }
    }
    for (int g = 0; g < kGroups; ++g) {
        V rows[4] = {a[g] + a0, b[g] + b0, c[g] + c0, d[g] + d0[g]};
        for (int j = 0; j < kPer; ++j) {
            std::uint32_t* block = out + kBlockWords * (g * kPer + j);
            for (int row = 0; row < 4; ++row)
                std::memcpy(block + 4 * row, reinterpret_cast<const std::uint32_t*>(&rows[row]) + 4 * j, 16);
        }
    }
}

// One function per instruction-set level (each with its own vector width, so
// not one body cloned per target); the widest the processor has is picked
// once. Eight blocks per call keep enough independent work in flight.
void blocks8_baseline(const std::uint32_t key[8], std::uint64_t counter, std::uint32_t* out) {
    blocks_rows<4, 4, false>(key, counter, out);
    blocks_rows<4, 4, false>(key, counter + 4, out + 4 * kBlockWords);
}
[[gnu::target("arch=x86-64-v3")]] void blocks8_v3(const std::uint32_t key[8], std::uint64_t counter,
                                                  std::uint32_t* out) {
    blocks_rows<8, 8, true>(key, counter, out);
}
[[gnu::target("arch=x86-64-v4")]] void blocks8_v4(const std::uint32_t key[8], std::uint64_t counter,
                                                  std::uint32_t* out) {
    blocks_rows<16, 8, false>(key, counter, out);
}

using BlocksFn = void (*)(const std::uint32_t*, std::uint64_t, std::uint32_t*);

BlocksFn pick_blocks8() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("x86-64-v4")) return blocks8_v4;
    if (__builtin_cpu_supports("x86-64-v3")) return blocks8_v3;
    return blocks8_baseline;
}

const BlocksFn g_blocks8 = pick_blocks8();

}  // namespace

void chacha12_block_scalar(const std::uint32_t key[8], std::uint64_t counter, std::uint32_t out[kBlockWords]) {
    std::uint32_t in[kBlockWords] = {kSigma[0], kSigma[1], kSigma[2], kSigma[3], key[0], key[1], key[2], key[3],
                                     key[4], key[5], key[6], key[7], static_cast<std::uint32_t>(counter),
                                     static_cast<std::uint32_t>(counter >> 32), 0, 0};
    std::uint32_t x[kBlockWords];
    std::memcpy(x, in, sizeof x);
    for (int r = 0; r < kChachaRounds; r += 2) {
        quarter_round(x, 0, 4, 8, 12);
        quarter_round(x, 1, 5, 9, 13);
        quarter_round(x, 2, 6, 10, 14);
        quarter_round(x, 3, 7, 11, 15);
        quarter_round(x, 0, 5, 10, 15);
        quarter_round(x, 1, 6, 11, 12);
        quarter_round(x, 2, 7, 8, 13);
        quarter_round(x, 3, 4, 9, 14);
    }
    for (int i = 0; i < kBlockWords; ++i) out[i] = x[i] + in[i];
}

void chacha12_blocks8(const std::uint32_t key[8], std::uint64_t counter, std::uint32_t out[2 * kRefillWords]) {
    g_blocks8(key, counter, out);
}

bool chacha_level_supported(ChachaLevel level) {
    __builtin_cpu_init();
    switch (level) {
        case ChachaLevel::V4: return __builtin_cpu_supports("x86-64-v4");
        case ChachaLevel::V3: return __builtin_cpu_supports("x86-64-v3");
        default: return true;
    }
}

void chacha12_blocks8_at(ChachaLevel level, const std::uint32_t key[8], std::uint64_t counter,
                         std::uint32_t out[2 * kRefillWords]) {
    switch (level) {
        case ChachaLevel::V4: blocks8_v4(key, counter, out); break;
        case ChachaLevel::V3: blocks8_v3(key, counter, out); break;
        default: blocks8_baseline(key, counter, out); break;
    }
}

}  // namespace qv::rnd
