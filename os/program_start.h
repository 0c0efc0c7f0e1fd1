#pragma once

// Starting programs from an argument list, never through a shell: every argument reaches
// the program as it is, blanks and quotes included. Programs are started by posix_spawn,
// which does not copy this process (no fork: the pages of a large program do not turn
// copy-on-write, so the next piece of work pays no page faults for a start).

#include "os/started_program.h"

#include <chrono>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace os {

// The outcome of starting a program: the started program, or the errno of the failed
// start (for example ENOENT for a missing program, EACCES for one that is not executable).
struct ProgramStart {
    std::unique_ptr<StartedProgram> program;
    int error = 0;
    bool started() const { return program != nullptr; }
};

// Descriptors of this process that the program gets as its own descriptors 3, 4, ...
// (in this order); every other descriptor stays closed to it.
using PassedDescriptors = std::vector<int>;

// Starts arguments[0] (a path, or a name searched on PATH) in a session of its own: its
// process group is its pid, so the whole tree can be signalled at once, and it keeps
// running when this program exits. Input and output go to /dev/null.
ProgramStart StartDetached(const std::vector<std::string>& arguments, const PassedDescriptors& passed = {});

enum class RunState { Finished, StillRunning, NotStarted };

struct ProgramRun {
    RunState state = RunState::NotStarted;
    int exitCode = -1; // when Finished: the exit status, or 128 + signal
    int error = 0;     // when NotStarted: the errno of the failed start
};

// Runs a program and waits for it at most limit; a program still running then is left
// to finish on its own (it is reaped in the background).
ProgramRun RunWithLimit(const std::vector<std::string>& arguments, std::chrono::milliseconds limit);

// True while the process exists and has not ended (an ended process awaiting its reaping
// counts as ended).
bool IsProcessRunning(pid_t pid);

} // namespace os
