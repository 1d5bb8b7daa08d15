#include "frame/borrow.hpp"

#include <vector>

namespace qv {
namespace {

struct Range {
    std::uintptr_t lo, hi;
    bool exclusive;
    std::uint64_t id;
    BorrowSite site;
};

std::vector<Range>& table() {
    static std::vector<Range> ranges;
    return ranges;
}
std::uint64_t next_id = 1;
std::uint64_t next_call = 1;

}  // namespace

std::uint64_t next_call_id() noexcept { return next_call++; }

const BorrowSite* ArrayBorrow::acquire(std::uintptr_t lo, std::uintptr_t hi, bool exclusive, const BorrowSite& site) {
    release();
    auto& t = table();
    for (const Range& r : t) {
        bool overlap = lo < r.hi && r.lo < hi;
        if (overlap && (exclusive || r.exclusive)) return &r.site;
    }
    id_ = next_id++;
    t.push_back({lo, hi, exclusive, id_, site});
    return nullptr;
}

void ArrayBorrow::release() noexcept {
    if (!id_) return;
    auto& t = table();
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i].id == id_) {
            t[i] = t.back();
            t.pop_back();
            break;
        }
    }
    id_ = 0;
}

}  // namespace qv
