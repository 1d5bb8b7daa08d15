// The key hash of the integer hash map and of dedup's set: the SplitMix64
// finaliser on the key's 64 bits. A table of 2^b slots takes the low b bits.
#pragma once
#include <cstdint>

namespace qv::hashmap {

inline std::uint64_t key_hash(std::int64_t key) noexcept {
    std::uint64_t z = static_cast<std::uint64_t>(key);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

}  // namespace qv::hashmap
