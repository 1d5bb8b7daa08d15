// The borrow rules. Only ever touched with the interpreter lock held, which
// serialises every acquisition and release.
#pragma once
#include <cstdint>

namespace qv {

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

    // Record the byte range [lo, hi). False on conflict (nothing recorded).
    bool acquire(std::uintptr_t lo, std::uintptr_t hi, bool exclusive);
    void release() noexcept;

private:
    std::uint64_t id_ = 0;
};

// Instance borrows: a flag carried by every instance of the module's classes.
struct BorrowFlag {
    std::int64_t state = 0;  // 0 free, n > 0 shared by n, -1 exclusive
};

}  // namespace qv
