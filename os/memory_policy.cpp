#include "os/memory_policy.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <system_error>
#include <utility>

#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
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

constexpr std::size_t kUnlimited = std::numeric_limits<std::size_t>::max();

// The value of "Name:  N kB" in a /proc file, in bytes; kUnlimited when it is not there.
std::size_t KilobytesField(const char* file, const std::string& name) {
    std::ifstream in(file);
    std::string key;
    std::size_t kilobytes = 0;
    while (in >> key) {
        if (key == name + ":" && in >> kilobytes)
            return kilobytes * 1024;
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return kUnlimited;
}

// The number after name in a file of "name number" lines (memory.stat); 0 when not there.
std::size_t StatField(const std::string& file, const std::string& name) {
    std::ifstream in(file);
    std::string key;
    std::size_t value = 0;
    while (in >> key >> value)
        if (key == name)
            return value;
    return 0;
}

// What the control groups the process belongs to still allow: the least of memory.max −
// memory.current over its group and each group above it (cgroup v2). The inactive file
// cache a group holds counts as free: the kernel drops it before anything is refused.
std::size_t ControlGroupHeadroom() {
    std::ifstream groups("/proc/self/cgroup");
    std::string line, path;
    while (std::getline(groups, line))
        if (line.rfind("0::", 0) == 0)
            path = line.substr(3);
    std::size_t headroom = kUnlimited;
    while (!path.empty()) {
        std::ifstream maximumFile("/sys/fs/cgroup" + path + "/memory.max");
        std::ifstream currentFile("/sys/fs/cgroup" + path + "/memory.current");
        std::string maximum;
        std::size_t current = 0;
        if (maximumFile >> maximum && maximum != "max" && currentFile >> current) {
            const std::size_t limit = std::stoull(maximum) + StatField("/sys/fs/cgroup" + path + "/memory.stat", "inactive_file");
            headroom = std::min(headroom, limit > current ? limit - current : 0);
        }
        if (path == "/")
            break;
        const std::size_t slash = path.find_last_of('/');
        path = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
    }
    return headroom;
}

// What the address-space limit still allows: the limit less the address space in use.
std::size_t AddressSpaceHeadroom() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return kUnlimited;
    const std::size_t used = KilobytesField("/proc/self/status", "VmSize");
    if (used == kUnlimited)
        return kUnlimited;
    return limit.rlim_cur > used ? static_cast<std::size_t>(limit.rlim_cur) - used : 0;
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
    // One heap for every thread. Otherwise each thread that allocates (a part of a pass over
    // the picture, a thread that waits for a browser, one of Qt's) is given a heap of its own,
    // up to eight a processor, which no trim shrinks from its top: each keeps the most its
    // threads ever held, and the saves' prepared memory is not in it. The threads allocate
    // little and seldom; they do not wait for each other.
    ::mallopt(M_ARENA_MAX, 1);
}

std::size_t WorkingMemoryFor(int width, int height) {
    if (width <= 0 || height <= 0)
        return 0;
    const std::size_t copy = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    // Single buffers above kLargestReusedBlock are mapped on their own, and the heap gives
    // back what exceeds kKeptFreeMemory: such a picture's buffers cannot be kept.
    if (copy > kLargestReusedBlock || 2 * copy >= kKeptFreeMemory)
        return 0;
    return 2 * copy;
}

std::size_t MemoryToOpen(int width, int height) {
    if (width <= 0 || height <= 0)
        return 0;
    return std::size_t{3} * 4 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

std::size_t AvailableMemory() {
    std::size_t available = KilobytesField("/proc/meminfo", "MemAvailable");
    available = std::min({available, ControlGroupHeadroom(), AddressSpaceHeadroom()});
    if (available == kUnlimited)
        return kUnlimited; // nothing tells: no refusal
    return available + ::mallinfo2().fordblks; // the heap's free memory is used again first
}

namespace {

// Takes bytes from the heap (null for 0), then gives back to the system everything else the
// heap holds free: what a save, a dialog or a refused picture left free between its blocks
// stays resident otherwise (the heap only gives back at its top, past kKeptFreeMemory), and a
// long session grows by it. Taken first, the block is most often memory the last save freed
// and is still backed; and being held, it is the one free range the trim cannot take, so the
// process never holds a picture's working memory twice (a backed range kept free at the top
// beside a block found lower down).
void* TakeWorkingMemory(std::size_t bytes) {
    void* block = bytes == 0 ? nullptr : std::malloc(bytes);
    ::malloc_trim(0);
    return block;
}

} // namespace

void PrepareWorkingMemory(std::size_t bytes) {
    if (void* block = TakeWorkingMemory(bytes)) {
        Populate(block, bytes);
        std::free(block); // joins the heap's free memory, where the saves' allocations find it
    }
}

void WorkingMemoryPreparation::Prepare(std::size_t bytes) {
    Release(); // first: the trim would otherwise leave the old block backed beside the new one
    block_ = TakeWorkingMemory(bytes);
    if (block_ == nullptr)
        return;
    try {
        thread_ = std::jthread(Populate, block_, bytes);
    } catch (const std::system_error&) {
        Populate(block_, bytes); // no thread to be had: now
    }
}

void WorkingMemoryPreparation::GiveBackOtherFreeMemory() {
    // Once released the block is free memory too, kept for the save that takes it.
    if (block_ != nullptr)
        ::malloc_trim(0);
}

void WorkingMemoryPreparation::Release() {
    if (thread_.joinable())
        thread_.join();
    std::free(std::exchange(block_, nullptr));
}

} // namespace os
