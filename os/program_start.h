#pragma once

// Starting programs from an argument list, never through a shell: every argument reaches
// the program as it is, blanks and quotes included.

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace os {

// The outcome of starting a program: its process id, or the errno of the failed start
// (for example ENOENT for a missing program, EACCES for one that is not executable).
struct ProgramStart {
    pid_t pid = 0;
    int error = 0;
    bool started() const { return pid > 0; }
};

// Starts arguments[0] (a path, or a name searched on PATH) in a session of its own that
// outlives this program: it is not a child of this process, and its process group is
// its pid, so the whole tree can be signalled at once. Input and output go to /dev/null.
ProgramStart StartDetached(const std::vector<std::string>& arguments);

enum class RunState { Finished, StillRunning, NotStarted };

struct ProgramRun {
    RunState state = RunState::NotStarted;
    int exitCode = -1; // when Finished: the exit status, or 128 + signal
    int error = 0;     // when NotStarted: the errno of the failed start
};

// Runs a program as a child and waits for it at most limit; a program still running then
// is left to finish on its own (it is reaped in the background).
ProgramRun RunWithLimit(const std::vector<std::string>& arguments, std::chrono::milliseconds limit);

// True while the process exists and has not ended (an ended process awaiting its reaping
// counts as ended).
bool IsProcessRunning(pid_t pid);

} // namespace os
