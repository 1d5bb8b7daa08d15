// Owned native buffers: result storage allocated once at its final size and,
// for array results, handed to NumPy without a copy. Plain C++.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include <sys/mman.h>

namespace qv {

struct FreeDeleter {
    void operator()(void* p) const noexcept { std::free(p); }
};

// A large fresh allocation is a new mapping that the first writes fault in:
// ask for huge pages, so that this happens once per 2 MiB rather than once
// per 4 KiB. Advice only: if it is refused nothing changes.
[[gnu::always_inline]] inline void prefer_huge_pages(void* p, std::size_t bytes) noexcept {
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    if (bytes < 2 * kHuge) return;
    const auto start = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t lo = (start + kHuge - 1) & ~(kHuge - 1), hi = (start + bytes) & ~(kHuge - 1);
    if (hi > lo) madvise(reinterpret_cast<void*>(lo), hi - lo, MADV_HUGEPAGE);
}

// Every member is always inlined, so that the kernels built once per x86-64
// level (isa/per_level.hpp) can use it without the linker sharing one
// level's out-of-line copy with another.
template <class T>
class Buffer {
public:
    Buffer() = default;
    [[gnu::always_inline]] Buffer(Buffer&& other) noexcept : ptr_(other.ptr_), n_(other.n_) {
        other.ptr_ = nullptr;
        other.n_ = 0;
    }
    [[gnu::always_inline]] Buffer& operator=(Buffer&& other) noexcept {
        if (this != &other) {
            std::free(ptr_);
            ptr_ = other.ptr_;
            n_ = other.n_;
            other.ptr_ = nullptr;
            other.n_ = 0;
        }
        return *this;
    }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    [[gnu::always_inline]] ~Buffer() { std::free(ptr_); }

    // Uninitialised storage for n elements. Throws std::bad_alloc.
    [[gnu::always_inline]] static Buffer uninit(std::size_t n) { return Buffer(alloc(n, false), n); }
    // Zero-filled storage for n elements (calloc: large zero pages are lazy).
    [[gnu::always_inline]] static Buffer zeros(std::size_t n) { return Buffer(alloc(n, true), n); }

    [[gnu::always_inline]] T* data() noexcept { return ptr_; }
    [[gnu::always_inline]] const T* data() const noexcept { return ptr_; }
    [[gnu::always_inline]] std::size_t size() const noexcept { return n_; }
    [[gnu::always_inline]] T& operator[](std::size_t i) noexcept { return ptr_[i]; }
    [[gnu::always_inline]] const T& operator[](std::size_t i) const noexcept { return ptr_[i]; }
    [[gnu::always_inline]] T* begin() noexcept { return ptr_; }
    [[gnu::always_inline]] T* end() noexcept { return ptr_ + n_; }

    // Give up ownership; the caller frees with std::free.
    [[gnu::always_inline]] T* release() noexcept {
        T* p = ptr_;
        ptr_ = nullptr;
        n_ = 0;
        return p;
    }

private:
    [[gnu::always_inline]] Buffer(T* p, std::size_t n) : ptr_(p), n_(n) {}

    [[gnu::always_inline]] static T* alloc(std::size_t n, bool zero) {
        if (n > std::numeric_limits<std::size_t>::max() / sizeof(T) / 2) throw std::bad_alloc();
        std::size_t bytes = n == 0 ? sizeof(T) : n * sizeof(T);
        void* p = zero ? std::calloc(1, bytes) : std::malloc(bytes);
        if (!p) throw std::bad_alloc();
        prefer_huge_pages(p, bytes);
        return static_cast<T*>(p);
    }

    T* ptr_ = nullptr;
    std::size_t n_ = 0;
};

}  // namespace qv
