#include "os/program_start.h"
#include "tests/support/scratch_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <sched.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Arguments reach the program whole: see LaunchBrowserTest.TargetReachesTheBrowserAsOneArgument.
TEST(ProgramStart, DetachedProgramLeadsItsProcessGroupAndOutlivesItsHandle) {
    const os::ProgramStart start = os::StartDetached({"sleep", "30"});
    ASSERT_TRUE(start.started());
    const pid_t pid = start.program->pid();
    EXPECT_TRUE(start.program->IsRunning());
    EXPECT_EQ(::getpgid(pid), pid);
    EXPECT_EQ(::getsid(pid), pid);
    EXPECT_TRUE(start.program->SignalGroup(SIGKILL));
    ASSERT_TRUE(start.program->WaitForEnd(5s));
    EXPECT_FALSE(start.program->IsRunning());
    EXPECT_EQ(start.program->ExitCode(), 128 + SIGKILL);
    EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(pid))) << "reaped: no zombie left";
    EXPECT_FALSE(start.program->Signal(SIGTERM)) << "an ended program takes no signal";
    EXPECT_FALSE(start.program->SignalGroup(SIGTERM));
    // Its handle gone, as when this program ends, the program still runs.
    pid_t other = 0;
    {
        const os::ProgramStart second = os::StartDetached({"sleep", "30"});
        other = second.started() ? second.program->pid() : 0;
    }
    EXPECT_TRUE(other > 0 && os::IsProcessRunning(other)) << "ended with its handle";
    ::kill(other, SIGKILL);
}

// In a pid namespace of its own (pid 1 there), the scenario forces the id of an ended,
// reaped program onto a stranger that leads a process group of that id, then asks the old
// handle to signal the program and its group. Exit code 0: the stranger was not touched.
int ReusedIdScenario() {
    const os::ProgramStart start = os::StartDetached({"sleep", "30"});
    if (!start.started())
        return 10;
    const pid_t old = start.program->pid();
    ::kill(old, SIGKILL);
    if (!start.program->WaitForEnd(5s))
        return 11;
    std::ofstream("/proc/sys/kernel/ns_last_pid") << old - 1 << std::flush;
    int led[2];
    if (::pipe(led) != 0)
        return 12;
    const pid_t stranger = ::fork();
    if (stranger == 0) {
        ::setsid();
        ::close(led[1]); // tells the parent it leads its own group now
        for (;;)
            ::pause();
    }
    ::close(led[1]);
    char none;
    [[maybe_unused]] const ssize_t ended = ::read(led[0], &none, 1);
    if (stranger != old || ::getpgid(stranger) != old)
        return 13; // the id could not be forced
    const bool signalled = start.program->Signal(SIGKILL) || start.program->SignalGroup(SIGKILL);
    std::this_thread::sleep_for(100ms);
    const bool strangerAlive = ::waitpid(stranger, nullptr, WNOHANG) == 0;
    ::kill(stranger, SIGKILL);
    ::waitpid(stranger, nullptr, 0);
    return signalled ? 14 : strangerAlive ? 0 : 15;
}

// The exit code of body run in a forked child; -1 when it did not exit normally.
int InChild(int (*body)()) {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(body());
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ProgramStart, AnIdGivenToAnotherProcessIsNeverSignalled) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "forcing an id onto another process needs root (a pid namespace and its ns_last_pid)";
    const int code = InChild([] { return ::unshare(CLONE_NEWPID) != 0 ? 20 : InChild(ReusedIdScenario); });
    if (code == 20)
        GTEST_SKIP() << "no new pid namespace here (a container without CAP_SYS_ADMIN)";
    EXPECT_EQ(code, 0) << "10-13: the scenario could not be set up; 14: a signal went out through the old handle; "
                          "15: the stranger died";
}

TEST(ProgramStart, FailedStartsReportTheirCause) {
    const test_support::ScratchFolder folder;
    folder.Put("not executable", "#!/bin/sh\n");
    EXPECT_EQ(os::StartDetached({folder / "missing"}).error, ENOENT);
    EXPECT_EQ(os::StartDetached({folder / "not executable"}).error, EACCES);
    EXPECT_EQ(os::StartDetached({}).error, ENOENT);
    const os::ProgramRun run = os::RunWithLimit({folder / "not executable"}, 1s);
    EXPECT_EQ(run.state, os::RunState::NotStarted);
    EXPECT_EQ(run.error, EACCES);
}

TEST(ProgramStart, RunWithLimitGivesTheExitCodeOrLeavesASlowProgramRunning) {
    const os::ProgramRun done = os::RunWithLimit({"sh", "-c", "exit 3"}, 5s);
    EXPECT_EQ(done.state, os::RunState::Finished);
    EXPECT_EQ(done.exitCode, 3);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(os::RunWithLimit({"sleep", "5"}, 200ms).state, os::RunState::StillRunning);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 4s) << "the wait is bounded";
}

TEST(ProgramStart, EndedProcessesDoNotCountAsRunning) {
    EXPECT_TRUE(os::IsProcessRunning(::getpid()));
    EXPECT_FALSE(os::IsProcessRunning(0));
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    siginfo_t ended{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(child), &ended, WEXITED | WNOWAIT), 0); // ended, not reaped
    EXPECT_FALSE(os::IsProcessRunning(child)) << "an unreaped (zombie) process has ended";
    ::waitpid(child, nullptr, 0);
}

} // namespace
