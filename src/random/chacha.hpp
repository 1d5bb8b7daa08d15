// The ChaCha block function with 12 rounds (64-bit block counter, 64-bit
// stream identifier fixed at 0), as used by both random generators.
#pragma once
#include <cstdint>

#include "isa/level.hpp"

namespace qv::rnd {

inline constexpr int kChachaRounds = 12;
inline constexpr int kBlockWords = 16;
inline constexpr int kBlocksPerRefill = 4;
inline constexpr int kRefillWords = kBlockWords * kBlocksPerRefill;  // 64
constexpr std::uint32_t kSigma[4] = {0x61707865, 0x3320646e, 0x79622d32, 0x6b206574};  // "expand 32-byte k"

// Eight consecutive key-stream blocks (counters counter .. counter + 7) into
// out[0..128), block by block: two refills, at the level in use.
void chacha12_blocks8(const std::uint32_t key[8], std::uint64_t counter, std::uint32_t out[2 * kRefillWords]);

// The vector builds of chacha12_blocks8, by level (chacha_level.cpp).
QV_ISA_DECLARE(void chacha12_blocks8(const std::uint32_t key[8], std::uint64_t counter,
                                     std::uint32_t out[2 * kRefillWords]))

}  // namespace qv::rnd
