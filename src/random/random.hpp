// Random sources: the seeded generator (reproducible from a 64-bit seed) and
// the per-thread generator (seeded from the operating system), both on the
// ChaCha block function with 12 rounds; unit floats and normal draws.
#pragma once
#include <cstdint>

namespace qv::rnd {

// Four ChaCha12 blocks per refill, read out as 64-bit words.
class BlockGenerator {
public:
    BlockGenerator() = default;
    explicit BlockGenerator(const std::uint32_t key[8]);

    std::uint64_t next_word();   // two buffer words, the first as the low half
    void set_key(const std::uint32_t key[8]);  // counter back to 0, buffer empty

protected:
    virtual void before_refill() {}
    void refill();

    std::uint32_t key_[8] = {};
    std::uint64_t counter_ = 0;
    std::uint32_t buf_[64] = {};
    unsigned index_ = 64;  // 64: empty

public:
    virtual ~BlockGenerator() = default;
};

// Built from a seed by the PCG32 key expansion; lives for one call.
class SeededGenerator : public BlockGenerator {
public:
    explicit SeededGenerator(std::uint64_t seed);
};

// This thread's generator (created on first use; reseeds every 64 KiB of
// output and after a fork). Throws qv::Error (internal) if the operating
// system's entropy source fails.
BlockGenerator& thread_generator();

// [0, 1) with 53 random bits: (w >> 11) * 2^-53.
inline double unit_float(BlockGenerator& g) {
    return static_cast<double>(g.next_word() >> 11) * 0x1.0p-53;
}
// (0, 1): used by the normal draw's tail.
double open_unit_float(BlockGenerator& g);
// Standard normal, 256-layer ziggurat.
double normal(BlockGenerator& g);

}  // namespace qv::rnd
