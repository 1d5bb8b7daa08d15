// The ChaCha block function with 12 rounds (64-bit block counter, 64-bit
// stream identifier fixed at 0), as used by both random generators.
#pragma once
#include <cstdint>

namespace qv::rnd {

inline constexpr int kChachaRounds = 12;
inline constexpr int kBlockWords = 16;
inline constexpr int kBlocksPerRefill = 4;
inline constexpr int kRefillWords = kBlockWords * kBlocksPerRefill;  // 64

// Eight consecutive key-stream blocks (counters counter .. counter + 7) into
// out[0..128), block by block: two refills. Vectorised, picked for the
// processor at run time.
void chacha12_blocks8(const std::uint32_t key[8], std::uint64_t counter, std::uint32_t out[2 * kRefillWords]);

// One block, plain scalar code: the reference the vector versions must match.
void chacha12_block_scalar(const std::uint32_t key[8], std::uint64_t counter, std::uint32_t out[kBlockWords]);

// The vector versions by instruction-set level, for the tests (each must only
// be called when the processor supports it; see chacha_level_supported).
enum class ChachaLevel { Baseline, V3, V4 };
bool chacha_level_supported(ChachaLevel level);
void chacha12_blocks8_at(ChachaLevel level, const std::uint32_t key[8], std::uint64_t counter,
                         std::uint32_t out[2 * kRefillWords]);

}  // namespace qv::rnd
