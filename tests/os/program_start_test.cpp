#include "os/program_start.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class ProgramStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("lumivert program start " + std::to_string(::getpid()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    // A script that writes each of its arguments on a line of its own to the file out.
    fs::path ArgumentRecorder() {
        const fs::path script = folder_ / "record args";
        std::ofstream(script) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.out\"\n";
        fs::permissions(script, fs::perms::owner_all);
        return script;
    }

    static std::string WaitForFile(const fs::path& file) {
        for (int i = 0; i < 500 && !fs::exists(file); ++i)
            std::this_thread::sleep_for(10ms);
        std::this_thread::sleep_for(20ms);
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path folder_;
};

TEST_F(ProgramStartTest, DetachedProgramGetsEachArgumentWhole) {
    const fs::path script = ArgumentRecorder();
    const os::ProgramStart start =
        os::StartDetached({script.string(), "/a folder/with blanks.html", "\"quoted\" $HOME; echo no"});
    ASSERT_TRUE(start.started()) << start.error;
    EXPECT_EQ(WaitForFile(script.string() + ".out"), "/a folder/with blanks.html\n\"quoted\" $HOME; echo no\n");
    EXPECT_EQ(::waitpid(start.pid, nullptr, WNOHANG), -1) << "not a child of this process";
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(ProgramStartTest, DetachedProgramLeadsItsProcessGroup) {
    const os::ProgramStart start = os::StartDetached({"sleep", "30"});
    ASSERT_TRUE(start.started());
    EXPECT_TRUE(os::IsProcessRunning(start.pid));
    EXPECT_EQ(::getpgid(start.pid), start.pid);
    EXPECT_EQ(::getsid(start.pid), start.pid);
    ::kill(-start.pid, SIGKILL);
    for (int i = 0; i < 200 && os::IsProcessRunning(start.pid); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(os::IsProcessRunning(start.pid));
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
    const os::ProgramRun slow = os::RunWithLimit({"sleep", "3"}, 200ms);
    EXPECT_EQ(slow.state, os::RunState::StillRunning);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s) << "the wait is bounded";
}

TEST(ProcessStateTest, EndedProcessesDoNotCountAsRunning) {
    EXPECT_TRUE(os::IsProcessRunning(::getpid()));
    EXPECT_FALSE(os::IsProcessRunning(0));
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(os::IsProcessRunning(child)) << "an unreaped (zombie) process has ended";
    ::waitpid(child, nullptr, 0);
}

} // namespace
