// The ChaCha12 block function over vectors, built once per x86-64 level (see
// isa/per_level.hpp).
#include "isa/per_level.hpp"

#include <cstring>
#include <utility>

#include "random/chacha.hpp"

namespace qv::rnd::QV_ISA_LEVEL {
namespace {

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

}  // namespace

// Eight blocks per call keep enough independent work in flight. AVX2 turns
// words by 8 and 16 bits with a byte shuffle; SSE2 has none, and AVX-512
// rotates in one instruction.
void chacha12_blocks8(const std::uint32_t key[8], std::uint64_t counter, std::uint32_t out[2 * kRefillWords]) {
    constexpr int W = 2 * isa::kWidth;  // words to a vector
    if constexpr (W == 4) {
        blocks_rows<4, 4, false>(key, counter, out);
        blocks_rows<4, 4, false>(key, counter + 4, out + 4 * kBlockWords);
    } else {
        blocks_rows<W, 8, isa::kLevel == isa::Level::avx2>(key, counter, out);
    }
}

}  // namespace qv::rnd::QV_ISA_LEVEL
