// One ChaCha12 block in plain scalar code: the reference the vector builds of
// chacha12_blocks8 and the generators' key streams are checked against.
#pragma once
#include <cstdint>
#include <cstring>

#include "random/chacha.hpp"

namespace qv::test {

inline std::uint32_t rotl32(std::uint32_t x, int r) { return (x << r) | (x >> (32 - r)); }

inline void quarter_round(std::uint32_t* x, int a, int b, int c, int d) {
    x[a] += x[b]; x[d] = rotl32(x[d] ^ x[a], 16);
    x[c] += x[d]; x[b] = rotl32(x[b] ^ x[c], 12);
    x[a] += x[b]; x[d] = rotl32(x[d] ^ x[a], 8);
    x[c] += x[d]; x[b] = rotl32(x[b] ^ x[c], 7);
}

// Block `counter` of key's stream (stream identifier 0).
inline void chacha12_block_scalar(const std::uint32_t key[8], std::uint64_t counter,
                                  std::uint32_t out[rnd::kBlockWords]) {
    using rnd::kSigma;
    const std::uint32_t in[rnd::kBlockWords] = {kSigma[0], kSigma[1], kSigma[2], kSigma[3], key[0], key[1],
                                                key[2], key[3], key[4], key[5], key[6], key[7],
                                                static_cast<std::uint32_t>(counter),
                                                static_cast<std::uint32_t>(counter >> 32), 0, 0};
    std::uint32_t x[rnd::kBlockWords];
    std::memcpy(x, in, sizeof x);
    for (int r = 0; r < rnd::kChachaRounds; r += 2) {
        quarter_round(x, 0, 4, 8, 12);
        quarter_round(x, 1, 5, 9, 13);
        quarter_round(x, 2, 6, 10, 14);
        quarter_round(x, 3, 7, 11, 15);
        quarter_round(x, 0, 5, 10, 15);
        quarter_round(x, 1, 6, 11, 12);
        quarter_round(x, 2, 7, 8, 13);
        quarter_round(x, 3, 4, 9, 14);
    }
    for (int i = 0; i < rnd::kBlockWords; ++i) out[i] = x[i] + in[i];
}

}  // namespace qv::test
