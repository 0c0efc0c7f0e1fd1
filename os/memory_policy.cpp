#include "os/memory_policy.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

namespace os {

namespace {

// Blocks up to this size come from the heap, which keeps them once freed; larger ones are
// mapped and unmapped on their own (a picture beyond about 11000 × 11000 pixels).
constexpr std::size_t kLargestReusedBlock = std::size_t{512} << 20;
// The heap gives memory back to the system only when this much lies free at its top.
constexpr std::size_t kKeptFreeMemory = std::size_t{1} << 30;

#ifndef MADV_POPULATE_READ
#define MADV_POPULATE_READ 22 // Linux 5.14
#endif
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23 // Linux 5.14; older headers lack the name
#endif

// Backs [memory, memory + bytes) with pages now: huge pages where the system gives them
// (2 MiB a fault instead of 4 KiB), all in one call where the kernel can, else a write to
// every page.
void Populate(void* memory, std::size_t bytes) {
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto first = (reinterpret_cast<std::uintptr_t>(memory) + page - 1) / page * page;
    const auto end = (reinterpret_cast<std::uintptr_t>(memory) + bytes) / page * page;
    if (end <= first)
        return;
    auto* const start = reinterpret_cast<char*>(first);
    ::madvise(start, end - first, MADV_HUGEPAGE); // advice only
    if (::madvise(start, end - first, MADV_POPULATE_WRITE) == 0)
        return;
    for (std::uintptr_t at = first; at < end; at += page)
        *reinterpret_cast<volatile char*>(at) = 0;
}

} // namespace

void MapLoadedCode() {
    // Each line of /proc/self/maps: "start-end perms offset device inode path".
    std::FILE* maps = std::fopen("/proc/self/maps", "re");
    if (maps == nullptr)
        return;
    char line[4096];
    while (std::fgets(line, sizeof line, maps) != nullptr) {
        unsigned long start = 0, end = 0;
        char permissions[5] = {};
        if (std::sscanf(line, "%lx-%lx %4s", &start, &end, permissions) != 3)
            continue;
        // Executable file mappings only; the kernel's own pages ([vdso]) are mapped already.
        if (std::strcmp(permissions, "r-xp") != 0 || std::strchr(line, '/') == nullptr)
            continue;
        ::madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_READ); // advice only
    }
    std::fclose(maps);
}

void RetainFreedMemory() {
    ::mallopt(M_MMAP_THRESHOLD, static_cast<int>(kLargestReusedBlock));
    ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(kKeptFreeMemory));
}

std::size_t WorkingMemoryFor(int width, int height) {
    if (width <= 0 || height <= 0)
        return 0;
    const std::size_t copy = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    // Single buffers above kLargestReusedBlock are mapped on their own, and the heap gives
    // back what exceeds kKeptFreeMemory: such a picture's buffers cannot be kept.
    if (copy > kLargestReusedBlock || 3 * copy >= kKeptFreeMemory)
        return 0;
    return 3 * copy;
}

void PrepareWorkingMemory(std::size_t bytes) {
    // What an earlier, larger picture left goes back to the system. Only then: a trim also
    // gives back the free blocks between the heap's blocks, which the saves would reuse.
    static std::size_t prepared = 0;
    if (bytes < prepared)
        ::malloc_trim(bytes);
    prepared = bytes;
    if (bytes == 0)
        return;
    // One block of that size, backed and freed again: it joins the heap's free memory,
    // where the next allocations of the saves find it.
    void* block = std::malloc(bytes);
    if (block == nullptr)
        return; // the saves will ask for their memory when they need it
    Populate(block, bytes);
    std::free(block);
}

} // namespace os
