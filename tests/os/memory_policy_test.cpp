#include "os/memory_policy.h"
#include "tests/sanitized_build.h"

#include <gtest/gtest.h>

#include <fstream>
#include <malloc.h>
#include <unistd.h>

namespace {

TEST(MemoryPolicy, AFreedPictureSizedBufferStaysInTheHeapForTheNext) {
    if (lumivert::testing::kAddressSanitizer)
        GTEST_SKIP() << "the C library's allocator, which the policy tunes, is replaced under AddressSanitizer";
    constexpr std::size_t kPicture = 4096u * 4096u * 4u; // 64 MiB
    os::RetainFreedMemory();
    void* block = ::malloc(kPicture);
    asm volatile("" : : "r"(block) : "memory"); // the block is really taken
    ::free(block);
    EXPECT_GE(::mallinfo2().fordblks, kPicture) << "not mapped on its own nor given back when freed";
}

// The process's resident set in bytes.
std::size_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

TEST(MemoryPolicy, WorkingMemoryIsBackedAtLoadAndGivenBackForASmallerPicture) {
    if (lumivert::testing::kAddressSanitizer)
        GTEST_SKIP() << "the C library's allocator, which the policy tunes, is replaced under AddressSanitizer";
    constexpr std::size_t kMiB = 1 << 20;
    os::RetainFreedMemory();
    ::malloc_trim(0); // what earlier tests left free is not counted
    const std::size_t before = ResidentBytes();

    const std::size_t large = os::WorkingMemoryFor(4096, 4096);
    EXPECT_EQ(large, 192 * kMiB);
    os::PrepareWorkingMemory(large);
    EXPECT_GE(ResidentBytes(), before + large - 8 * kMiB) << "the working memory should be backed now";

    // A smaller picture opened next: the larger one's memory goes back to the system.
    os::PrepareWorkingMemory(os::WorkingMemoryFor(420, 345));
    EXPECT_LT(ResidentBytes(), before + 16 * kMiB);

    // No picture, or one whose buffers the heap cannot keep: nothing to prepare.
    EXPECT_EQ(os::WorkingMemoryFor(0, 345), 0u);
    EXPECT_EQ(os::WorkingMemoryFor(20000, 20000), 0u);
    os::PrepareWorkingMemory(0);
    EXPECT_LT(ResidentBytes(), before + 16 * kMiB);
}

} // namespace
