#include "os/started_program.h"

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace os {

// What the reaping thread and the owner share. While the mutex is held the program cannot
// be reaped, so its id cannot pass to another process.
struct StartedProgram::Reaping {
    std::mutex mutex;
    std::condition_variable reaped;
    std::optional<int> exitCode; // set when reaped
};

namespace {

int ExitCodeOf(const siginfo_t& info) {
    if (info.si_code == CLD_EXITED)
        return info.si_status;
    return 128 + info.si_status; // killed or dumped: the signal
}

// Debian 12's glibc declares its pidfd wrappers without C linkage; the system calls
// themselves are plain.
int PidfdOpen(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

int PidfdSendSignal(int pidfd, int signal) {
    return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
}

} // namespace

std::unique_ptr<StartedProgram> StartedProgram::Hold(pid_t pid) {
    const int pidfd = PidfdOpen(pid);
    if (pidfd < 0)
        return nullptr;
    return std::unique_ptr<StartedProgram>(new StartedProgram(pid, pidfd));
}

StartedProgram::StartedProgram(pid_t pid, int pidfd)
    : pid_(pid), pidfd_(pidfd), reaping_(std::make_shared<Reaping>()) {
    // Waits for the program to end without reaping it, then reaps it under the mutex.
    std::thread([pid, reaping = reaping_] {
        siginfo_t info{};
        while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
        }
        std::lock_guard lock(reaping->mutex);
        info = {};
        while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED) != 0 && errno == EINTR) {
        }
        reaping->exitCode = info.si_pid == pid ? ExitCodeOf(info) : -1;
        reaping->reaped.notify_all();
    }).detach();
}

StartedProgram::~StartedProgram() {
    if (pidfd_ >= 0)
        ::close(pidfd_);
}

void StartedProgram::ReleasePidfd() {
    if (pidfd_ >= 0)
        ::close(pidfd_);
    pidfd_ = -1;
}

bool StartedProgram::IsRunning() const {
    if (pidfd_ < 0)
        return !ExitCode().has_value();
    // A pidfd turns readable when its process has ended.
    pollfd ended{pidfd_, POLLIN, 0};
    return ::poll(&ended, 1, 0) == 0;
}

bool StartedProgram::WaitForEnd(std::chrono::milliseconds limit) const {
    std::unique_lock lock(reaping_->mutex);
    return reaping_->reaped.wait_for(lock, limit, [this] { return reaping_->exitCode.has_value(); });
}

std::optional<int> StartedProgram::ExitCode() const {
    std::lock_guard lock(reaping_->mutex);
    return reaping_->exitCode;
}

bool StartedProgram::Signal(int signal) const {
    return pidfd_ >= 0 && PidfdSendSignal(pidfd_, signal) == 0;
}

bool StartedProgram::SignalGroup(int signal) const {
    std::lock_guard lock(reaping_->mutex);
    if (reaping_->exitCode)
        return false; // the id may be another process's by now
    return ::killpg(pid_, signal) == 0;
}

} // namespace os
