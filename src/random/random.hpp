// Random sources: the seeded generator (reproducible from a 64-bit seed) and
// the per-thread generator (seeded from the operating system), both on the
// ChaCha block function with 12 rounds; unit floats and normal draws.
#pragma once
#include <cstddef>
#include <cstdint>

#include "random/chacha.hpp"

namespace qv::rnd {

// The key stream of one key (counter from 0, stream 0), read as 64-bit words.
// Refills hold four blocks (64 words); a word whose low half is the last of
// a refill takes its high half from the first word of the next.
class BlockGenerator {
public:
    BlockGenerator() = default;
    explicit BlockGenerator(const std::uint32_t key[8]) { set_key(key); }

    // Two consecutive key-stream words, the first as the low half.
    std::uint64_t next_word() {
        if (end_ - pos_ >= 2) {
            std::uint64_t w = buf_[pos_] | static_cast<std::uint64_t>(buf_[pos_ + 1]) << 32;
            pos_ += 2;
            return w;
        }
        return next_word_across();
    }

    // One key-stream word.
    std::uint32_t next_u32() {
        if (pos_ == end_) refill();
        return buf_[pos_++];
    }

    // New key; counter back to 0, buffer empty.
    void set_key(const std::uint32_t key[8]);

    // Forget the buffered words (the next word starts a refill).
    void discard_buffer() { pos_ = end_; }

protected:
    // Runs before every refill; may replace the key (counter back to 0).
    using RefillHook = void (*)(BlockGenerator&);
    RefillHook before_refill_ = nullptr;

private:
    friend void fill_unit_floats(BlockGenerator& g, double* out, std::size_t n);
    std::uint64_t next_word_across();
    void refill();

    // Two refills' worth: blocks are computed eight at a time (one call of
    // the vector kernel); the second four serve the next refill.
    alignas(64) std::uint32_t buf_[2 * kRefillWords] = {};
    std::uint32_t key_[8] = {};
    std::uint64_t counter_ = 0;  // first block of the next refill
    unsigned pos_ = 0;           // next unread word in buf_
    unsigned end_ = 0;           // end of the current refill in buf_
    bool spare_ = false;         // buf_[64..128) holds the blocks at counter_
};

// Built from a seed by the PCG32 key expansion; lives for one call.
class SeededGenerator : public BlockGenerator {
public:
    explicit SeededGenerator(std::uint64_t seed);
};

// The key expansion of SeededGenerator.
void pcg32_key(std::uint64_t seed, std::uint32_t key[8]);

// Reseeds from an entropy source before a refill once 64 KiB have been drawn
// with the current key, or when the process has forked since the last reseed.
class ThreadGenerator : public BlockGenerator {
public:
    using EntropySource = void (*)(std::uint32_t key[8]);  // throws on failure
    explicit ThreadGenerator(EntropySource source);

    static constexpr std::int64_t kReseedBudget = 0x10000;  // bytes per key

private:
    static void before_refill(BlockGenerator& g);
    EntropySource source_;
    std::int64_t budget_ = kReseedBudget;
    std::uint64_t forks_seen_;
};

// A key read from /dev/urandom: the entropy source on kernels without
// getrandom. Throws qv::Error (internal) if the device cannot be read.
void urandom_entropy(std::uint32_t key[8]);

// This thread's generator: created on the thread's first call with a key from
// the operating system (getrandom); reseeds every 64 KiB of output and after
// a fork. Throws qv::Error (internal) if the entropy source fails.
ThreadGenerator& thread_generator();

// Incremented in the child of every fork (once a thread generator exists).
std::uint64_t fork_count();

// [0, 1) with 53 random bits: (w >> 11) * 2^-53.
inline double unit_float_from(std::uint64_t w) { return static_cast<double>(w >> 11) * 0x1.0p-53; }
inline double unit_float(BlockGenerator& g) { return unit_float_from(g.next_word()); }

// n unit floats into out, exactly as n calls of unit_float in a row.
void fill_unit_floats(BlockGenerator& g, double* out, std::size_t n);

// (0, 1): the 52 high bits of a word as the mantissa of [1, 2), minus 1 - 2^-53.
double open_unit_float_from(std::uint64_t w);
double open_unit_float(BlockGenerator& g);

// Standard normal, 256-layer ziggurat.
double normal(BlockGenerator& g);
// n normal draws into out, exactly as n calls of normal in a row.
void fill_normals(BlockGenerator& g, double* out, std::size_t n);

// The ziggurat's layer boundaries X[0..256] and densities F[0..256].
struct ZigguratTables {
    double x[257];
    double f[257];
};
const ZigguratTables& ziggurat_tables();

}  // namespace qv::rnd
