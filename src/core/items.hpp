// A list element as a routine sees it: its value and, opaque to the routine,
// the element object itself, so that a result made of the same elements can
// hand back the caller's objects instead of making new ones. Items compare
// by value only; routines move them around but never copy one item into two
// places or drop one. Plain C++: no Python here.
#pragma once
#include <cstdint>

namespace qv {

template <class V>
struct Item {
    V value;
    void* object;  // a reference owned by the list of items; null: none

    friend bool operator<(const Item& a, const Item& b) noexcept { return a.value < b.value; }
    friend bool operator>(const Item& a, const Item& b) noexcept { return a.value > b.value; }
};

using IntItem = Item<std::int64_t>;
using FloatItem = Item<double>;

}  // namespace qv
