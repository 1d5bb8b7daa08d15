// The integer hash map: open addressing with linear probing, tombstones and
// a power-of-two slot count, hashed by key_hash. Plain C++.
#pragma once
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "core/buffer.hpp"

namespace qv::hashmap {

class HashMap {
public:
    static constexpr char class_name[] = "VaneHashMap";

    enum State : std::uint64_t { kEmpty = 0, kDeleted = 1, kOccupied = 2 };
    struct Slot {
        std::uint64_t state;
        std::int64_t key;
        std::int64_t value;
    };
    static constexpr std::size_t kInitialSlots = 16;

    HashMap();

    // The previous value if the key was present.
    std::optional<std::int64_t> insert(std::int64_t key, std::int64_t value);
    std::optional<std::int64_t> get(std::int64_t key) const noexcept;
    std::optional<std::int64_t> remove(std::int64_t key) noexcept;
    bool contains(std::int64_t key) const noexcept { return find(key) != kNotFound; }

    // Slot order.
    std::vector<std::int64_t> keys() const;
    std::vector<std::int64_t> values() const;
    std::vector<std::pair<std::int64_t, std::int64_t>> items() const;

    std::uint64_t size() const noexcept { return live_; }
    std::size_t capacity() const noexcept { return capacity_; }
    std::size_t deleted() const noexcept { return deleted_; }
    const Slot& slot(std::size_t i) const noexcept { return slots_[i]; }

private:
    static constexpr std::size_t kNotFound = ~std::size_t{0};

    // Where the key is (found), and where it would go if absent (target: the
    // first deleted slot on its probe path, else the empty slot ending it).
    struct Probe {
        std::size_t found, target;
    };
    std::size_t find(std::int64_t key) const noexcept;
    Probe probe(std::int64_t key) const noexcept;
    // Put an absent key into slot i (empty or deleted).
    void store(std::size_t i, std::int64_t key, std::int64_t value) noexcept;
    // A new array of `capacity` slots holding the occupied entries, re-placed
    // in slot order; deleted slots are dropped.
    void rebuild(std::size_t capacity);

    // pick(slot) of every occupied slot, in slot order.
    template <class Pick>
    auto collect(Pick pick) const {
        std::vector<decltype(pick(slots_[0]))> out;
        out.reserve(live_);
        for (std::size_t i = 0; i < capacity_; ++i)
            if (slots_[i].state == kOccupied) out.push_back(pick(slots_[i]));
        return out;
    }

    Buffer<Slot> slots_;
    std::size_t capacity_ = 0;
    std::uint64_t live_ = 0;
    std::size_t deleted_ = 0;
};

}  // namespace qv::hashmap
