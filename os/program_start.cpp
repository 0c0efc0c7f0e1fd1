#include "os/program_start.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace os {

namespace {

// The argument vector in the form exec wants.
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

class SpawnAttributes {
public:
    explicit SpawnAttributes(bool ownSession) {
        ::posix_spawnattr_init(&attributes_);
        // Signals as a new program expects them: none blocked, every one at its default
        // (this program may ignore SIGPIPE, and ignored signals survive exec).
        sigset_t signals;
        sigemptyset(&signals);
        ::posix_spawnattr_setsigmask(&attributes_, &signals);
        sigfillset(&signals);
        ::posix_spawnattr_setsigdefault(&attributes_, &signals);
        short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
        if (ownSession)
            flags |= POSIX_SPAWN_SETSID; // a session and a process group led by the program
        ::posix_spawnattr_setflags(&attributes_, flags);
    }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    const posix_spawnattr_t* get() const { return &attributes_; }

private:
    posix_spawnattr_t attributes_;
};

class SpawnFileActions {
public:
    explicit SpawnFileActions(const PassedDescriptors& passed) {
        ::posix_spawn_file_actions_init(&actions_);
        ::posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        ::posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        ::posix_spawn_file_actions_adddup2(&actions_, STDOUT_FILENO, STDERR_FILENO);
        // The descriptors of this process are close-on-exec; a dup2 gives the program its
        // own copy without that flag.
        int target = STDERR_FILENO + 1;
        for (const int fd : passed)
            ::posix_spawn_file_actions_adddup2(&actions_, fd, target++);
    }
    ~SpawnFileActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    SpawnFileActions(const SpawnFileActions&) = delete;
    SpawnFileActions& operator=(const SpawnFileActions&) = delete;
    const posix_spawn_file_actions_t* get() const { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

// Copies of the passed descriptors numbered above every number they are passed as, so
// that giving one its number in the program never overwrites another still to be passed.
class RaisedDescriptors {
public:
    explicit RaisedDescriptors(const PassedDescriptors& passed) {
        const int lowest = STDERR_FILENO + 1 + static_cast<int>(passed.size());
        for (const int fd : passed)
            fds_.push_back(::fcntl(fd, F_DUPFD_CLOEXEC, lowest));
    }
    ~RaisedDescriptors() {
        for (const int fd : fds_)
            if (fd >= 0)
                ::close(fd);
    }
    RaisedDescriptors(const RaisedDescriptors&) = delete;
    RaisedDescriptors& operator=(const RaisedDescriptors&) = delete;
    bool ok() const { return std::find(fds_.begin(), fds_.end(), -1) == fds_.end(); }
    const PassedDescriptors& get() const { return fds_; }

private:
    PassedDescriptors fds_;
};

ProgramStart Spawn(const std::vector<std::string>& arguments, const PassedDescriptors& passed, bool ownSession) {
    if (arguments.empty() || arguments.front().empty())
        return {nullptr, ENOENT};
    ArgumentVector argv(arguments);
    const RaisedDescriptors raised(passed);
    if (!raised.ok())
        return {nullptr, EMFILE};
    const SpawnAttributes attributes(ownSession);
    const SpawnFileActions actions(raised.get());
    pid_t pid = 0;
    // glibc's posix_spawn shares this process's memory with the child until exec (no copy)
    // and answers exec's own error, such as ENOENT or EACCES.
    const int error = ::posix_spawnp(&pid, argv.program(), actions.get(), attributes.get(), argv.get(), environ);
    if (error != 0)
        return {nullptr, error};
    // The child is not reaped yet, so its id is still its own: the pidfd names it.
    auto program = StartedProgram::Hold(pid);
    if (!program) {
        const int holdError = errno;
        ::kill(pid, SIGKILL); // cannot be held safely: do not leave it running
        ::waitpid(pid, nullptr, 0);
        return {nullptr, holdError};
    }
    return {std::move(program), 0};
}

} // namespace

ProgramStart StartDetached(const std::vector<std::string>& arguments, const PassedDescriptors& passed) {
    return Spawn(arguments, passed, true);
}

ProgramRun RunWithLimit(const std::vector<std::string>& arguments, std::chrono::milliseconds limit) {
    const ProgramStart start = Spawn(arguments, {}, false);
    if (!start.started())
        return {RunState::NotStarted, -1, start.error};
    if (!start.program->WaitForEnd(limit))
        return {RunState::StillRunning, -1, 0};
    return {RunState::Finished, *start.program->ExitCode(), 0};
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
