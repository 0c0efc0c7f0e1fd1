#pragma once

// Runs out of memory for real: a forked child lowers its address-space limit to what it
// uses now and carries on until an allocation fails.

#include "tests/sanitized_build.h"

#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace maps_testing {

// AddressSanitizer maps its heap inside a region it reserved at start, so a lower
// address-space limit never makes an allocation fail there (the child only hangs); the tests
// that run out of memory this way skip in a sanitizer build.
inline constexpr bool kAddressSpaceLimitFailsAllocations = !lumivert::testing::kAddressSanitizer;

// Lets the calling process grow by at most headroom bytes from here on.
inline void LimitAddressSpaceToCurrentUse(rlim_t headroom) {
    long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld", &pages) != 1)
            pages = 0;
        std::fclose(statm);
    }
    rlimit limit{};
    ::getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + headroom;
    ::setrlimit(RLIMIT_AS, &limit);
}

// Lets the calling process grow up to its hard limit again.
inline void LiftAddressSpaceLimit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_AS, &limit);
}

// The exit code of body run in a forked child; -1 when the child did not exit normally.
inline int ExitCodeInChild(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(body());
    int status = 0;
    if (child == -1 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

} // namespace maps_testing
