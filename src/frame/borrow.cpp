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

void raise_already_borrowed(bool exclusive) {
    PyErr_SetString(PyExc_RuntimeError, exclusive ? "Already borrowed" : "Already mutably borrowed");
}

std::uint64_t next_call_id() noexcept { return next_call++; }

bool ArrayBorrow::acquire(const np::ArrayInfo& a, bool exclusive, const BorrowSite& site) {
    if (exclusive && !a.writeable) {
        PyErr_Format(PyExc_ValueError, "argument '%s': array is read-only", site.param);
        return false;
    }
    std::uintptr_t lo = reinterpret_cast<std::uintptr_t>(a.data), hi = lo + 8;
    for (int k = 0; k < a.ndim; ++k) {
        if (a.dims[k] == 0) {
            hi = lo;
            break;
        }
        std::int64_t extent = a.strides[k] * (a.dims[k] - 1);
        if (extent >= 0)
            hi += static_cast<std::uintptr_t>(extent);
        else
            lo -= static_cast<std::uintptr_t>(-extent);
    }
    if (lo == hi) return true;  // no memory: nothing to conflict with
    const BorrowSite* holder = record(lo, hi, exclusive, site);
    if (!holder) return true;
    if (holder->call == site.call && site.call != 0)
        PyErr_Format(PyExc_ValueError, "%s(): '%s' and '%s' share memory", site.owner, holder->param, site.param);
    else
        raise_already_borrowed(exclusive);
    return false;
}

const BorrowSite* ArrayBorrow::record(std::uintptr_t lo, std::uintptr_t hi, bool exclusive, const BorrowSite& site) {
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
