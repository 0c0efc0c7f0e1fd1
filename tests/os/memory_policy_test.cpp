#include "os/memory_policy.h"
#include "tests/sanitized_build.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sys/resource.h>

namespace {

long MinorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// Allocates a picture-sized block, touches every byte and frees it; returns the page
// faults that took.
long FaultsOfOneBuffer(std::size_t size) {
    const long before = MinorFaults();
    {
        const auto block = std::make_unique_for_overwrite<unsigned char[]>(size);
        std::memset(block.get(), 0x5A, size);
        // Keeps the compiler from dropping the touch of a block nobody reads.
        asm volatile("" : : "r"(block.get()) : "memory");
    }
    return MinorFaults() - before;
}

TEST(MemoryPolicy, ASecondPictureSizedBufferReusesTheFirstOnesMemory) {
    if (lumivert::testing::kAddressSanitizer)
        GTEST_SKIP() << "the C library's allocator, which the policy tunes, is replaced under AddressSanitizer";
    constexpr std::size_t kPicture = 4096u * 4096u * 4u; // 64 MiB, 16384 pages
    os::RetainFreedMemory();
    const long first = FaultsOfOneBuffer(kPicture);
    const long second = FaultsOfOneBuffer(kPicture);
    EXPECT_GT(first, 10000) << "the first buffer should have been fresh memory";
    EXPECT_LT(second, 100) << "the second buffer should have found the first one's pages";
}

} // namespace
