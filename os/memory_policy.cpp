#include "os/memory_policy.h"

#include <malloc.h>

namespace os {

namespace {

// Blocks up to this size come from the heap, which keeps them once freed; larger ones are
// mapped and unmapped on their own (a picture beyond about 11000 × 11000 pixels).
constexpr int kLargestReusedBlock = 512 << 20;
// The heap gives memory back to the system only when this much lies free at its top.
constexpr int kKeptFreeMemory = 1 << 30;

} // namespace

void RetainFreedMemory() {
    ::mallopt(M_MMAP_THRESHOLD, kLargestReusedBlock);
    ::mallopt(M_TRIM_THRESHOLD, kKeptFreeMemory);
}

} // namespace os
