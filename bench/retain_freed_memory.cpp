// Every benchmark runs with the program's memory policy, so that it measures saves as the
// program makes them: only the first save of a size pays for fresh memory.

#include "os/memory_policy.h"

namespace {

const bool kPolicySet = (os::RetainFreedMemory(), true);

} // namespace
