#include "os/program_start.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace os {

namespace {

// The argument vector in the form exec wants, built before fork: after fork only
// async-signal-safe calls may run.
class ArgumentVector {
public:
    explicit ArgumentVector(const std::vector<std::string>& arguments) : strings_(arguments) {
        for (auto& s : strings_)
            pointers_.push_back(s.data());
        pointers_.push_back(nullptr);
    }
    char* const* get() { return pointers_.data(); }
    const char* program() const { return strings_.front().c_str(); }

private:
    std::vector<std::string> strings_;
    std::vector<char*> pointers_;
};

class Pipe {
public:
    Pipe() {
        if (::pipe2(fds_, O_CLOEXEC) != 0)
            fds_[0] = fds_[1] = -1;
    }
    ~Pipe() {
        CloseRead();
        CloseWrite();
    }
    bool ok() const { return fds_[0] >= 0; }
    int read() const { return fds_[0]; }
    int write() const { return fds_[1]; }
    void CloseRead() { Close(fds_[0]); }
    void CloseWrite() { Close(fds_[1]); }

private:
    static void Close(int& fd) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    int fds_[2];
};

// Reads exactly one int; false at end of file (the writer closed without writing).
bool ReadInt(int fd, int& value) {
    char* out = reinterpret_cast<char*>(&value);
    std::size_t got = 0;
    while (got < sizeof value) {
        const ssize_t n = ::read(fd, out + got, sizeof value - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

void WriteInt(int fd, int value) {
    [[maybe_unused]] const ssize_t n = ::write(fd, &value, sizeof value);
}

// In the child: standard streams to /dev/null, default signal state, then exec. On
// failure errno goes to the parent through the pipe, which exec would have closed.
[[noreturn]] void ExecChild(ArgumentVector& argv, int devNull, int errorPipe, bool ownSession) {
    if (ownSession)
        ::setsid(); // a session and a process group led by the program itself
    if (devNull >= 0) {
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(devNull, STDOUT_FILENO);
        ::dup2(devNull, STDERR_FILENO);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    ::execvp(argv.program(), argv.get());
    WriteInt(errorPipe, errno);
    ::_exit(127);
}

int WaitStatusToExitCode(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

} // namespace

ProgramStart StartDetached(const std::vector<std::string>& arguments) {
    if (arguments.empty() || arguments.front().empty())
        return {0, ENOENT};
    ArgumentVector argv(arguments);
    Pipe pidPipe;  // the middle process reports the program's pid
    Pipe execPipe; // the program reports a failed exec; closed by a successful one
    if (!pidPipe.ok() || !execPipe.ok())
        return {0, EMFILE};
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);

    const pid_t middle = ::fork();
    if (middle < 0) {
        const int error = errno;
        if (devNull >= 0)
            ::close(devNull);
        return {0, error};
    }
    if (middle == 0) {
        // The middle process leaves at once, so the program is adopted by the system and
        // never waits on this process.
        const pid_t program = ::fork();
        if (program == 0)
            ExecChild(argv, devNull, execPipe.write(), true);
        WriteInt(pidPipe.write(), program < 0 ? -errno : program);
        ::_exit(0);
    }
    if (devNull >= 0)
        ::close(devNull);
    pidPipe.CloseWrite();
    execPipe.CloseWrite();
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }

    int pid = 0;
    if (!ReadInt(pidPipe.read(), pid))
        return {0, ECHILD};
    if (pid < 0)
        return {0, -pid};
    int execError = 0;
    if (ReadInt(execPipe.read(), execError))
        return {0, execError};
    return {pid, 0};
}

ProgramRun RunWithLimit(const std::vector<std::string>& arguments, std::chrono::milliseconds limit) {
    if (arguments.empty() || arguments.front().empty())
        return {RunState::NotStarted, -1, ENOENT};
    ArgumentVector argv(arguments);
    Pipe pipe;
    if (!pipe.ok())
        return {RunState::NotStarted, -1, errno};
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t child = ::fork();
    if (child == 0)
        ExecChild(argv, devNull, pipe.write(), false);
    const int forkError = errno;
    if (devNull >= 0)
        ::close(devNull);
    if (child < 0)
        return {RunState::NotStarted, -1, forkError};
    pipe.CloseWrite();

    int execError = 0;
    if (ReadInt(pipe.read(), execError)) {
        ::waitpid(child, nullptr, 0);
        return {RunState::NotStarted, -1, execError};
    }

    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child)
            return {RunState::Finished, WaitStatusToExitCode(status), 0};
        if (done < 0 && errno != EINTR)
            return {RunState::Finished, -1, 0};
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::thread([child] { ::waitpid(child, nullptr, 0); }).detach();
    return {RunState::StillRunning, -1, 0};
}

bool IsProcessRunning(pid_t pid) {
    if (pid <= 0 || (::kill(pid, 0) != 0 && errno == ESRCH))
        return false;
    // A process that ended but was not reaped yet still answers kill(); its state says.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const auto close = text.rfind(')');
    if (close == std::string::npos || close + 2 >= text.size())
        return !text.empty() || ::kill(pid, 0) == 0;
    const char state = text[close + 2];
    return state != 'Z' && state != 'X';
}

} // namespace os
