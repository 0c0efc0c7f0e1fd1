#include "os/memory_policy.h"
#include "tests/sanitized_build.h"

#include <gtest/gtest.h>

#include <fstream>
#include <malloc.h>
#include <unistd.h>

namespace {

std::size_t ResidentBytes() {
    std::size_t pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// A freed picture-sized buffer stays in the heap for the next; the working memory for a
// picture is backed when it is opened and given back when a smaller one follows.
TEST(MemoryPolicy, WorkingMemoryIsKeptBackedAtLoadAndGivenBackForASmallerPicture) {
    if (lumivert::testing::kAddressSanitizer)
        GTEST_SKIP() << "the C library's allocator, which the policy tunes, is replaced under AddressSanitizer";
    constexpr std::size_t kMiB = 1 << 20;
    os::RetainFreedMemory();
    void* block = ::malloc(64 * kMiB);
    asm volatile("" : : "r"(block) : "memory"); // the block is really taken
    ::free(block);
    EXPECT_GE(::mallinfo2().fordblks, 64 * kMiB) << "not mapped on its own nor given back when freed";
    ::malloc_trim(0);
    const std::size_t before = ResidentBytes();
    EXPECT_EQ(os::WorkingMemoryFor(4096, 4096), 192 * kMiB);
    os::PrepareWorkingMemory(os::WorkingMemoryFor(4096, 4096));
    EXPECT_GE(ResidentBytes(), before + 184 * kMiB) << "the working memory should be backed now";
    os::PrepareWorkingMemory(os::WorkingMemoryFor(420, 345));
    EXPECT_LT(ResidentBytes(), before + 16 * kMiB);
    // No picture, or one whose buffers the heap cannot keep: nothing to prepare.
    EXPECT_EQ(os::WorkingMemoryFor(0, 345), 0u);
    EXPECT_EQ(os::WorkingMemoryFor(20000, 20000), 0u);
}

} // namespace
