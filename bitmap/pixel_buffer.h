#pragma once

// Uninitialised memory for the pixels of a whole picture. Large buffers are aligned to and
// advised for the system's huge pages: a 4096 × 4096 picture then costs a few dozen page
// faults instead of sixteen thousand, which on a virtual machine is most of the time a save
// would otherwise take. The memory is freed with the buffer.

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

#include <sys/mman.h>

namespace mdlBitmap {

namespace detail {
struct FreeMemory {
    void operator()(void* memory) const noexcept { std::free(memory); }
};
inline void* AllocatePixels(std::size_t bytes) {
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    if (bytes < kHugePage) {
        if (void* memory = std::malloc(bytes == 0 ? 1 : bytes))
            return memory;
        throw std::bad_alloc();
    }
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* memory = std::aligned_alloc(kHugePage, rounded);
    if (memory == nullptr)
        throw std::bad_alloc();
    ::madvise(memory, rounded, MADV_HUGEPAGE); // advice only: without it the memory still works
    return memory;
}
} // namespace detail

template <class T>
using PixelBuffer = std::unique_ptr<T[], detail::FreeMemory>;

// count elements of T (a trivial type), not initialised.
template <class T>
PixelBuffer<T> MakePixelBuffer(std::size_t count) {
    return PixelBuffer<T>(static_cast<T*>(detail::AllocatePixels(count * sizeof(T))));
}

} // namespace mdlBitmap
