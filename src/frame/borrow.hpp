// The borrow rules. Only ever touched with the interpreter lock held, which
// serialises every acquisition and release.
#pragma once
#include <cstdint>

namespace qv {

// Who borrows an array: the entry point, the parameter and the call (one id
// per call, so that a call's own arrays are told apart from another call's).
struct BorrowSite {
    const char* owner = "";  // "adam_step", "Tensor.add_bias_inplace"
    const char* param = "";
    std::uint64_t call = 0;
};

// A fresh call id (lock held).
std::uint64_t next_call_id() noexcept;

// Array borrows: a process-wide table of the memory ranges of every array
// borrowed by a running call. A shared borrow conflicts with an overlapping
// exclusive one; an exclusive borrow conflicts with any overlapping borrow.
class ArrayBorrow {
public:
    ArrayBorrow() = default;
    ArrayBorrow(const ArrayBorrow&) = delete;
    ArrayBorrow& operator=(const ArrayBorrow&) = delete;
    ArrayBorrow(ArrayBorrow&& o) noexcept : id_(o.id_) { o.id_ = 0; }
    ArrayBorrow& operator=(ArrayBorrow&& o) noexcept {
        if (this != &o) { release(); id_ = o.id_; o.id_ = 0; }
        return *this;
    }
    ~ArrayBorrow() { release(); }

    // Record the byte range [lo, hi). On conflict nothing is recorded and the
    // conflicting borrow is returned (its site); nullptr on success.
    const BorrowSite* acquire(std::uintptr_t lo, std::uintptr_t hi, bool exclusive, const BorrowSite& site);
    void release() noexcept;

private:
    std::uint64_t id_ = 0;
};

// Instance borrows: a flag carried by every instance of the module's classes.
struct BorrowFlag {
    std::int64_t state = 0;  // 0 free, n > 0 shared by n, -1 exclusive
};

}  // namespace qv
