// The borrow rules, of arrays and of instances, and the errors that refuse a
// borrow. Only ever touched with the interpreter lock held, which serialises
// every acquisition and release.
#pragma once
#include <cstdint>
#include <utility>

#include "frame/numpy.hpp"
#include "frame/python.hpp"

namespace qv {

// RuntimeError for a borrow refused because another one is held: "Already
// borrowed" when the refused one is exclusive, else "Already mutably borrowed".
void raise_already_borrowed(bool exclusive);

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

    // Borrow the byte range spanned by the array's elements. False with a
    // Python exception set when refused: a read-only array borrowed
    // exclusively, or one call's exclusive array overlapping another of its
    // arrays (ValueError, naming the parameters); an overlap with an array
    // that a concurrent call holds (RuntimeError, as for instances).
    bool acquire(const np::ArrayInfo& a, bool exclusive, const BorrowSite& site);
    void release() noexcept;

private:
    // Record the byte range [lo, hi). On conflict nothing is recorded and the
    // conflicting borrow is returned (its site); nullptr on success.
    const BorrowSite* record(std::uintptr_t lo, std::uintptr_t hi, bool exclusive, const BorrowSite& site);

    std::uint64_t id_ = 0;
};

// Instance borrows: a flag carried by every instance of the module's classes.
struct BorrowFlag {
    std::int64_t state = 0;  // 0 free, n > 0 shared by n, -1 exclusive
};

// A held instance borrow, returned when the call ends.
class InstanceBorrow {
public:
    InstanceBorrow() = default;
    InstanceBorrow(const InstanceBorrow&) = delete;
    InstanceBorrow& operator=(const InstanceBorrow&) = delete;
    InstanceBorrow(InstanceBorrow&& o) noexcept : flag_(std::exchange(o.flag_, nullptr)), exclusive_(o.exclusive_) {}
    InstanceBorrow& operator=(InstanceBorrow&& o) noexcept {
        std::swap(flag_, o.flag_);
        std::swap(exclusive_, o.exclusive_);
        return *this;
    }
    ~InstanceBorrow() {
        if (flag_) flag_->state = exclusive_ ? 0 : flag_->state - 1;
    }

    // False with RuntimeError set when the borrow is refused.
    bool acquire(BorrowFlag& f, bool exclusive) {
        if (exclusive ? f.state != 0 : f.state < 0) {
            raise_already_borrowed(exclusive);
            return false;
        }
        f.state = exclusive ? -1 : f.state + 1;
        flag_ = &f;
        exclusive_ = exclusive;
        return true;
    }

private:
    BorrowFlag* flag_ = nullptr;
    bool exclusive_ = false;
};

}  // namespace qv
