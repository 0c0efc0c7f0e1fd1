#pragma once

// A program this process started, held by a pidfd rather than by its process id: once the
// program has ended and been reaped, its id may be given to any other process, but the
// pidfd still names the ended program, so a signal sent through it reaches nobody else.
//
// The program stays a child of this process (it is started without copying this process,
// see program_start.h); a thread of its own reaps it as soon as it ends, so it never
// lingers as a zombie, and the program keeps running when this process exits.

#include <chrono>
#include <memory>
#include <optional>
#include <sys/types.h>

namespace os {

class StartedProgram {
public:
    // Holds a freshly started child that has not been reaped (so its id is still its
    // own); errno is set and nothing is returned when no pidfd can be opened for it.
    static std::unique_ptr<StartedProgram> Hold(pid_t pid);
    ~StartedProgram();

    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    // The id the program had when it started; it may belong to another process once the
    // program has ended.
    pid_t pid() const { return pid_; }

    // Closes the pidfd, for a program that will not be signalled any more: a descriptor
    // held for each program the process ever started would run out in a long session.
    // IsRunning, WaitForEnd and SignalGroup go on answering from the reaping; Signal
    // then answers false.
    void ReleasePidfd();

    // False once the program has ended (reaped or not; once reaped when the pidfd is released).
    bool IsRunning() const;

    // Waits at most limit for the program to end and be reaped; true when it has.
    bool WaitForEnd(std::chrono::milliseconds limit) const;

    // The exit status (or 128 + signal) once the program has ended and been reaped.
    std::optional<int> ExitCode() const;

    // Signals the program itself; false when it has ended.
    bool Signal(int signal) const;

    // Signals the program's process group (a program started in a session of its own leads
    // it). Only while the program is not reaped: its id then still stands for its group,
    // and no other process can have been given it. False when it has ended and been reaped.
    bool SignalGroup(int signal) const;

private:
    StartedProgram(pid_t pid, int pidfd);

    struct Reaping;
    pid_t pid_;
    int pidfd_;
    std::shared_ptr<Reaping> reaping_; // shared with the thread that reaps the program
};

} // namespace os
