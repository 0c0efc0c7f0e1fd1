#include "os/program_start.h"
#include "tests/support/scratch_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class ProgramStartTest : public ::testing::Test {
protected:
    test_support::ScratchFolder scratch_;
    fs::path folder_{scratch_.path()};
};

TEST_F(ProgramStartTest, DetachedProgramGetsEachArgumentWhole) {
    // Each argument on a line of its own, moved into place once complete.
    const fs::path script = folder_ / "record args";
    scratch_.Put("record args", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.part\"\n"
                                "mv \"$0.part\" \"$0.out\"\n", 0755);
    const os::ProgramStart start =
        os::StartDetached({script.string(), "/a folder/with blanks.html", "\"quoted\" $HOME; echo no"});
    ASSERT_TRUE(start.started()) << start.error;
    EXPECT_EQ(test_support::WaitForWholeFile(script.string() + ".out", 10s).value_or(""),
              "/a folder/with blanks.html\n\"quoted\" $HOME; echo no\n");
    ASSERT_TRUE(start.program->WaitForEnd(5s));
    EXPECT_EQ(start.program->ExitCode(), 0);
    EXPECT_FALSE(fs::exists("/proc/" + std::to_string(start.program->pid()))) << "reaped: no zombie left";
}

TEST_F(ProgramStartTest, DetachedProgramLeadsItsProcessGroup) {
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
    EXPECT_FALSE(start.program->Signal(SIGTERM)) << "an ended program takes no signal";
    EXPECT_FALSE(start.program->SignalGroup(SIGTERM));
}

TEST_F(ProgramStartTest, DetachedProgramOutlivesTheProgramThatStartedIt) {
    int pids[2];
    ASSERT_EQ(::pipe(pids), 0);
    const pid_t starter = ::fork();
    if (starter == 0) {
        const os::ProgramStart start = os::StartDetached({"sleep", "30"});
        const pid_t pid = start.started() ? start.program->pid() : 0;
        [[maybe_unused]] const ssize_t n = ::write(pids[1], &pid, sizeof pid);
        ::_exit(0);
    }
    ::close(pids[1]);
    pid_t pid = 0;
    ASSERT_EQ(::read(pids[0], &pid, sizeof pid), static_cast<ssize_t>(sizeof pid));
    ::close(pids[0]);
    ASSERT_GT(pid, 0);
    ::waitpid(starter, nullptr, 0);
    EXPECT_TRUE(os::IsProcessRunning(pid)) << "still running after its starter ended";
    ::kill(pid, SIGKILL);
}

// In a pid namespace of its own (pid 1 there), the scenario forces the id of an ended,
// reaped program onto a stranger that leads a process group of that id, then asks the old
// handle to signal the program and its group. Exit code 0: the stranger was not touched.
int ReusedIdScenario() {
    const os::ProgramStart start = os::StartDetached({"sleep", "30"});
    if (!start.started())
        return 10;
    const pid_t old = start.program->pid();
    ::kill(old, SIGKILL); // the user closed the browser
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
    ::close(led[0]);
    if (stranger != old)
        return 12; // the id could not be forced
    if (::getpgid(stranger) != old)
        return 13;
    const bool signalled = start.program->Signal(SIGKILL) || start.program->SignalGroup(SIGKILL);
    std::this_thread::sleep_for(100ms);
    const bool strangerAlive = ::waitpid(stranger, nullptr, WNOHANG) == 0;
    ::kill(stranger, SIGKILL);
    ::waitpid(stranger, nullptr, 0);
    return signalled ? 14 : strangerAlive ? 0 : 15;
}

TEST(StartedProgramTest, AnIdGivenToAnotherProcessIsNeverSignalled) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "forcing an id onto another process needs root (a pid namespace and its ns_last_pid)";
    const pid_t outer = ::fork();
    if (outer == 0) {
        if (::unshare(CLONE_NEWPID) != 0)
            ::_exit(20);
        const pid_t init = ::fork(); // pid 1 of the new namespace
        if (init == 0)
            ::_exit(ReusedIdScenario());
        int status = 0;
        ::waitpid(init, &status, 0);
        ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 21);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(outer, &status, 0), outer);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 20)
        GTEST_SKIP() << "no new pid namespace here (a container without CAP_SYS_ADMIN)";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10-13: the scenario could not be set up; 14: a signal went out through "
                                         "the old handle; 15: the stranger died";
}

TEST_F(ProgramStartTest, FailedStartsReportTheirCause) {
    EXPECT_EQ(os::StartDetached({(folder_ / "missing").string()}).error, ENOENT);
    const fs::path plain = folder_ / "not executable";
    std::ofstream(plain) << "#!/bin/sh\n";
    EXPECT_EQ(os::StartDetached({plain.string()}).error, EACCES);
    EXPECT_EQ(os::StartDetached({}).error, ENOENT);
    const os::ProgramRun run = os::RunWithLimit({plain.string()}, 1s);
    EXPECT_EQ(run.state, os::RunState::NotStarted);
    EXPECT_EQ(run.error, EACCES);
}

TEST_F(ProgramStartTest, RunWithLimitGivesTheExitCodeOrLeavesASlowProgramRunning) {
    const os::ProgramRun done = os::RunWithLimit({"sh", "-c", "exit 3"}, 5s);
    EXPECT_EQ(done.state, os::RunState::Finished);
    EXPECT_EQ(done.exitCode, 3);

    const auto before = std::chrono::steady_clock::now();
    const os::ProgramRun slow = os::RunWithLimit({"sleep", "5"}, 200ms);
    EXPECT_EQ(slow.state, os::RunState::StillRunning);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 4s) << "the wait is bounded";
}

TEST(ProcessStateTest, EndedProcessesDoNotCountAsRunning) {
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
