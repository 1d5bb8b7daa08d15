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
inline void prefer_huge_pages(void* p, std::size_t bytes) noexcept {
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    if (bytes < 2 * kHuge) return;
    const auto start = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t lo = (start + kHuge - 1) & ~(kHuge - 1), hi = (start + bytes) & ~(kHuge - 1);
    if (hi > lo) madvise(reinterpret_cast<void*>(lo), hi - lo, MADV_HUGEPAGE);
}

template <class T>
class Buffer {
public:
    Buffer() = default;

    // Uninitialised storage for n elements. Throws std::bad_alloc.
    static Buffer uninit(std::size_t n) { return Buffer(alloc(n, false), n); }
    // Zero-filled storage for n elements (calloc: large zero pages are lazy).
    static Buffer zeros(std::size_t n) { return Buffer(alloc(n, true), n); }

    T* data() noexcept { return ptr_.get(); }
    const T* data() const noexcept { return ptr_.get(); }
    std::size_t size() const noexcept { return n_; }
    T& operator[](std::size_t i) noexcept { return ptr_.get()[i]; }
    const T& operator[](std::size_t i) const noexcept { return ptr_.get()[i]; }
    T* begin() noexcept { return data(); }
    T* end() noexcept { return data() + n_; }

    // Give up ownership; the caller frees with std::free.
    T* release() noexcept { n_ = 0; return ptr_.release(); }

private:
    Buffer(T* p, std::size_t n) : ptr_(p), n_(n) {}

    static T* alloc(std::size_t n, bool zero) {
        if (n > std::numeric_limits<std::size_t>::max() / sizeof(T) / 2) throw std::bad_alloc();
        std::size_t bytes = n == 0 ? sizeof(T) : n * sizeof(T);
        void* p = zero ? std::calloc(1, bytes) : std::malloc(bytes);
        if (!p) throw std::bad_alloc();
        prefer_huge_pages(p, bytes);
        return static_cast<T*>(p);
    }

    std::unique_ptr<T, FreeDeleter> ptr_;
    std::size_t n_ = 0;
};

}  // namespace qv
