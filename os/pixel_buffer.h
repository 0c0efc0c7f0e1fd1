#pragma once

// The one way the program makes memory for pixels and file bytes: uninitialised, since every
// such buffer is written whole before it is read, and zero-filling it first would cost a
// pass of its own. Large buffers are advised for the system's huge pages: a 4096 × 4096
// picture then costs a few dozen page faults instead of sixteen thousand where the heap's
// memory is fresh, which on a virtual machine is most of the time a save would otherwise
// take. A PixelBuffer is a fixed array; UninitialisedAllocator gives a std::vector the same
// memory.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>

#include <sys/mman.h>

namespace os {

namespace detail {
struct FreeMemory {
    void operator()(void* memory) const noexcept { std::free(memory); }
};
inline void* AllocatePixels(std::size_t bytes) {
    void* memory = std::malloc(bytes == 0 ? 1 : bytes);
    if (memory == nullptr)
        throw std::bad_alloc();
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    if (bytes >= 2 * kHugePage) {
        // The whole huge pages inside the block; the heap's memory is not aligned to them,
        // and aligning the block would leave gaps beside it where small blocks settle and
        // split the heap's free memory.
        const auto first = (reinterpret_cast<std::uintptr_t>(memory) + kHugePage - 1) / kHugePage * kHugePage;
        const auto end = (reinterpret_cast<std::uintptr_t>(memory) + bytes) / kHugePage * kHugePage;
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE); // advice only
    }
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

// A std::vector allocator over the same memory: new elements are left as they are.
template <class T>
struct UninitialisedAllocator {
    using value_type = T;
    UninitialisedAllocator() = default;
    template <class U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) { return static_cast<T*>(detail::AllocatePixels(count * sizeof(T))); }
    void deallocate(T* memory, std::size_t) noexcept { std::free(memory); }

    template <class U>
    void construct(U* element) noexcept {
        ::new (static_cast<void*>(element)) U;
    }
    template <class U, class... Arguments>
    void construct(U* element, Arguments&&... arguments) {
        ::new (static_cast<void*>(element)) U(std::forward<Arguments>(arguments)...);
    }
    friend bool operator==(UninitialisedAllocator, UninitialisedAllocator) { return true; }
};

} // namespace os
