#pragma once

// Work run in a forked child, so that a crash, a dropped privilege or a cap on memory stays there.

#include <cstdio>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace test_support {

// The exit code of body run in a forked child; -1 when it did not exit normally.
inline int ExitCodeInChild(const std::function<int()>& body) {
    std::fflush(nullptr); // what the parent has buffered is not written twice
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(body());
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace test_support
