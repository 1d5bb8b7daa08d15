#include "hashmap/hash_map.hpp"

#include "hashmap/key_hash.hpp"
#include "hashmap/table_memory.hpp"

namespace qv::hashmap {

HashMap::HashMap() : slots_(zeroed_table<Slot>(kInitialSlots)), capacity_(kInitialSlots) {}

std::size_t HashMap::find(std::int64_t key) const noexcept {
    const std::size_t mask = capacity_ - 1;
    std::size_t i = key_hash(key) & mask;
    for (std::size_t step = 0; step < capacity_; ++step, i = (i + 1) & mask) {
        const Slot& s = slots_[i];
        if (s.state == kEmpty) return kNotFound;
        if (s.state == kOccupied && s.key == key) return i;
    }
    return kNotFound;
}

HashMap::Probe HashMap::probe(std::int64_t key) const noexcept {
    const std::size_t mask = capacity_ - 1;
    std::size_t i = key_hash(key) & mask;
    std::size_t first_deleted = kNotFound;
    // At most one turn round the table (there is always an empty slot; see
    // insert).
    for (std::size_t step = 0; step < capacity_; ++step, i = (i + 1) & mask) {
        const Slot& s = slots_[i];
        if (s.state == kOccupied) {
            if (s.key == key) return {i, i};
        } else if (s.state == kDeleted) {
            if (first_deleted == kNotFound) first_deleted = i;
        } else {
            return {kNotFound, first_deleted == kNotFound ? i : first_deleted};
        }
    }
    return {kNotFound, first_deleted};
}

void HashMap::store(std::size_t i, std::int64_t key, std::int64_t value) noexcept {
    if (slots_[i].state == kDeleted) --deleted_;
    slots_[i] = {kOccupied, key, value};
    ++live_;
}

void HashMap::rebuild(std::size_t capacity) {
    Buffer<Slot> old = std::exchange(slots_, zeroed_table<Slot>(capacity));
    const std::size_t old_capacity = std::exchange(capacity_, capacity);
    live_ = 0;
    deleted_ = 0;
    for (std::size_t i = 0; i < old_capacity; ++i)
        if (old[i].state == kOccupied) store(probe(old[i].key).target, old[i].key, old[i].value);
}

std::optional<std::int64_t> HashMap::insert(std::int64_t key, std::int64_t value) {
    if ((live_ + 1) * 10 >= capacity_ * 7) rebuild(capacity_ * 2);
    Probe p = probe(key);
    if (p.found != kNotFound) return std::exchange(slots_[p.found].value, value);
    // Deleted slots are otherwise reclaimed only by growth, so a long run of
    // insertions and removals of ever new keys would fill every empty slot
    // with tombstones. Before an insertion would leave fewer than an eighth
    // of the slots empty, the table is rebuilt at its size without them:
    // probe walks stay short and always end at an empty slot.
    if (slots_[p.target].state == kEmpty && (live_ + deleted_ + 1) * 8 > capacity_ * 7) {
        rebuild(capacity_);
        p = probe(key);
    }
    store(p.target, key, value);
    return std::nullopt;
}

std::optional<std::int64_t> HashMap::get(std::int64_t key) const noexcept {
    std::size_t i = find(key);
    if (i == kNotFound) return std::nullopt;
    return slots_[i].value;
}

std::optional<std::int64_t> HashMap::remove(std::int64_t key) noexcept {
    std::size_t i = find(key);
    if (i == kNotFound) return std::nullopt;
    slots_[i].state = kDeleted;
    --live_;
    ++deleted_;
    return slots_[i].value;
}

std::vector<std::int64_t> HashMap::keys() const {
    return collect([](const Slot& s) { return s.key; });
}

std::vector<std::int64_t> HashMap::values() const {
    return collect([](const Slot& s) { return s.value; });
}

std::vector<std::pair<std::int64_t, std::int64_t>> HashMap::items() const {
    return collect([](const Slot& s) { return std::make_pair(s.key, s.value); });
}

}  // namespace qv::hashmap
