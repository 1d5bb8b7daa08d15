// Zeroed slot arrays for the open-addressing tables (the hash map and
// dedup's set). Large tables are probed at random: they ask the kernel for
// huge pages, which spares a TLB miss on most probes.
#pragma once
#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

#include "core/buffer.hpp"

namespace qv::hashmap {

template <class Slot>
Buffer<Slot> zeroed_table(std::size_t slots) {
    Buffer<Slot> table = Buffer<Slot>::zeros(slots);
    constexpr std::uintptr_t kHuge = std::uintptr_t{1} << 21;
    const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(table.data());
    const std::uintptr_t end = begin + slots * sizeof(Slot);
    // Only the 2 MiB-aligned part can be backed by huge pages; calloc hands
    // out such large blocks untouched, so the advice precedes every fault.
    const std::uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1), last = end & ~(kHuge - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);  // advice only
    return table;
}

}  // namespace qv::hashmap
