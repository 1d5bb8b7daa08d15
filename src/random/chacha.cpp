#include "random/chacha.hpp"

namespace qv::rnd {

void chacha12_blocks8(const std::uint32_t key[8], std::uint64_t counter, std::uint32_t out[2 * kRefillWords]) {
    static const auto blocks8 = QV_ISA_PICK(chacha12_blocks8);
    blocks8(key, counter, out);
}

}  // namespace qv::rnd
