// The replacing writer (its refusals: tests/reliability), started programs, memory, row parts.

#include "os/file_output.h"
#include "os/memory_policy.h"
#include "os/program_start.h"
#include "os/rows_in_parts.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch_folder.h"
#include "report/raised_error.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <poll.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

// Counts umask() calls: a save must never change the umask, as another thread may create a file.
std::atomic<int> umaskCalls{0};
extern "C" mode_t umask(mode_t mask) noexcept {
    ++umaskCalls;
    return static_cast<mode_t>(::syscall(SYS_umask, mask));
}

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test_support::ExitCodeInChild;
using test_support::FolderState;

std::span<const std::byte> Bytes(const std::string& text) { return std::as_bytes(std::span(text.data(), text.size())); }

// Replaced, never rewritten; an abandoned write or a folder put in the target's place changes nothing.
TEST(FileOutput, ReplacesTheOldFileWithoutTouchingItAndLeavesNoTemporaryFile) {
    const test_support::ScratchFolder folder;
    folder.Put("out.bin", std::string(1000, 'x'));
    fs::create_hard_link(folder / "out.bin", folder / "link.bin");
    std::ifstream openReader(folder / "out.bin", std::ios::binary);
    os::WriteWholeFile(folder / "out.bin", Bytes("new content"));
    os::WriteWholeFile(folder / "out.bin", Bytes("newer"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(openReader), {}), std::string(1000, 'x'));
    os::ReplacingFile(folder / "out.bin").Write(Bytes("never committed"));
    EXPECT_EQ(folder.State(), (FolderState{{"link.bin", std::string(1000, 'x')}, {"out.bin", "newer"}}));
    {
        os::ReplacingFile file(folder / "out.bin");
        file.Write(Bytes("new content"));
        folder.Remove("out.bin");
        folder.MakeFolder("out.bin");
        folder.Put("out.bin/inside.txt", "kept");
        EXPECT_THROW(file.Commit(), report::RaisedError);
    }
    EXPECT_EQ(folder.State(), (FolderState{{"link.bin", std::string(1000, 'x')}, {"out.bin", "<folder>"},
                                           {"out.bin/inside.txt", "kept"}}));
}

// The links stay, the file at their end keeps its mode; a new file gets what the umask gives.
TEST(FileOutput, ReplacesWhatALinkChainNamesAndKeepsLinksModeAndUmask) {
    const test_support::ScratchFolder folder;
    folder.MakeFolder("pictures");
    const std::string target = folder / "pictures/latest.bin";
    folder.Put("pictures/latest.bin", "old content, longer than the new", 0600);
    fs::create_symlink(target, folder / "pictures/current.bin");
    fs::create_symlink("pictures/current.bin", folder / "out.bin");
    fs::create_symlink("pictures/first.bin", folder / "first.bin");
    const mode_t before = ::umask(027);
    umaskCalls = 0;
    os::WriteWholeFile(folder / "out.bin", Bytes("new"));
    os::WriteWholeFile(folder / "first.bin", Bytes("first"));
    os::WriteWholeFile(folder / "first.bin", Bytes("again"));
    EXPECT_EQ(umaskCalls.load(), 0) << "the umask was changed during a save";
    ::umask(before);
    EXPECT_EQ(folder.State(), (FolderState{{"pictures", "<folder>"}, {"pictures/first.bin", "again"},
                                           {"pictures/latest.bin", "new"}}));
    EXPECT_EQ(fs::read_symlink(folder / "out.bin"), "pictures/current.bin");
    EXPECT_EQ(fs::read_symlink(folder / "pictures/current.bin"), target);
    EXPECT_EQ(fs::read_symlink(folder / "first.bin"), "pictures/first.bin");
    EXPECT_EQ(fs::status(target).permissions(), static_cast<fs::perms>(0600));
    EXPECT_EQ(fs::status(folder / "pictures/first.bin").permissions(), static_cast<fs::perms>(0640));
}

// A device is written in place; root saving another user's file keeps its owners and mode.
TEST(FileOutput, ADeviceIsWrittenInPlaceAndRootKeepsAnotherUsersOwnersAndMode) {
    os::WriteWholeFile("/dev/null", Bytes("discarded"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the old file to another user";
    const test_support::ScratchFolder folder;
    const std::string path = folder / "theirs.bin";
    folder.Put("theirs.bin", "their old content");
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0); // nobody, nogroup
    ASSERT_EQ(::chmod(path.c_str(), 02660), 0);
    os::WriteWholeFile(path, Bytes("new"));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(test_support::ReadBytes(path), "new");
    EXPECT_EQ(std::tuple(info.st_uid, info.st_gid, info.st_mode & 07777), std::tuple(65534u, 65534u, 02660u))
        << "set-group-ID goes along with the owners kept";
}

TEST(ProgramStart, DetachedProgramLeadsItsSessionOutlivesItsHandleAndEndsForGood) {
    const os::ProgramStart start = os::StartDetached({"sleep", "30"});
    ASSERT_TRUE(start.started());
    const pid_t pid = start.program->pid();
    EXPECT_TRUE(start.program->IsRunning());
    EXPECT_EQ(std::pair(::getpgid(pid), ::getsid(pid)), std::pair(pid, pid)) << "leads its group and session";
    EXPECT_TRUE(start.program->SignalGroup(SIGKILL));
    ASSERT_TRUE(start.program->WaitForEnd(5s));
    EXPECT_FALSE(start.program->IsRunning());
    EXPECT_EQ(start.program->ExitCode(), 128 + SIGKILL);
    EXPECT_FALSE(fs::exists("/proc/" + std::to_string(pid))) << "reaped: no zombie left";
    EXPECT_FALSE(start.program->Signal(SIGTERM) || start.program->SignalGroup(SIGTERM)) << "an ended program takes no signal";
    int other = -1; // a pidfd of our own: it names the program even after the handle has reaped it
    {
        const os::ProgramStart second = os::StartDetached({"sleep", "30"});
        ASSERT_TRUE(second.started());
        other = static_cast<int>(::syscall(SYS_pidfd_open, second.program->pid(), 0));
        ASSERT_GE(other, 0);
    }
    pollfd otherEnd{other, POLLIN, 0};
    EXPECT_EQ(::poll(&otherEnd, 1, 500), 0) << "ended with its handle"; // a kill at the handle's end lands at once
    ::syscall(SYS_pidfd_send_signal, other, SIGKILL, nullptr, 0);
    ::close(other);
    EXPECT_FALSE(os::IsProcessRunning(0));
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    siginfo_t ended{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(child), &ended, WEXITED | WNOWAIT), 0); // ended, not reaped
    EXPECT_FALSE(os::IsProcessRunning(child)) << "an unreaped (zombie) process has ended";
    ::waitpid(child, nullptr, 0);
}

// As pid 1 of a pid namespace: signals through the handle of a reaped program whose id (and
// group id) a stranger now has. 0: the stranger was not touched.
int ReusedIdScenario() {
    const os::ProgramStart start = os::StartDetached({"sleep", "30"});
    if (!start.started())
        return 10;
    const pid_t old = start.program->pid();
    ::kill(old, SIGKILL);
    if (!start.program->WaitForEnd(5s))
        return 11;
    std::ofstream("/proc/sys/kernel/ns_last_pid") << old - 1 << std::flush;
    const pid_t stranger = ::fork();
    if (stranger == 0) {
        ::setsid();
        for (;;)
            ::pause();
    }
    if (stranger < 0)
        return 12;
    while (::getpgid(stranger) != stranger) // until it leads its own group
        std::this_thread::sleep_for(1ms);
    if (stranger != old)
        return 13; // the id could not be forced
    const bool signalled = start.program->Signal(SIGKILL) || start.program->SignalGroup(SIGKILL);
    std::this_thread::sleep_for(100ms);
    const bool strangerAlive = ::waitpid(stranger, nullptr, WNOHANG) == 0;
    ::kill(stranger, SIGKILL);
    ::waitpid(stranger, nullptr, 0);
    return signalled ? 14 : strangerAlive ? 0 : 15;
}

TEST(ProgramStart, AnIdGivenToAnotherProcessIsNeverSignalled) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "forcing an id onto another process needs root (a pid namespace and its ns_last_pid)";
    const int code = ExitCodeInChild([] { return ::unshare(CLONE_NEWPID) != 0 ? 20 : ExitCodeInChild(ReusedIdScenario); });
    if (code == 20)
        GTEST_SKIP() << "no new pid namespace here (a container without CAP_SYS_ADMIN)";
    EXPECT_EQ(code, 0) << "10, 11, 12, 13: not set up; 14: a signal went out through the old handle; 15: the stranger died";
}
TEST(ProgramStart, FailedStartsGiveTheirCauseAndRunsTheirExitCodeWithinTheLimit) {
    const test_support::ScratchFolder folder;
    folder.Put("not executable", "#!/bin/sh\n");
    EXPECT_EQ(std::pair(os::StartDetached({folder / "missing"}).error, os::StartDetached({folder / "not executable"}).error),
              std::pair(ENOENT, EACCES));
    const os::ProgramRun refused = os::RunWithLimit({folder / "not executable"}, 1s);
    EXPECT_EQ(std::pair(refused.state, refused.error), std::pair(os::RunState::NotStarted, EACCES));
    const os::ProgramRun done = os::RunWithLimit({"sh", "-c", "exit 3"}, 5s);
    EXPECT_EQ(std::pair(done.state, done.exitCode), std::pair(os::RunState::Finished, 3));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(os::RunWithLimit({"sleep", "5"}, 200ms).state, os::RunState::StillRunning);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 4s) << "the wait is bounded";
}

// Two 32-bit copies while a picture is saved, three in all to open one; nothing kept for no
// picture or one whose buffers the heap cannot keep.
TEST(MemoryPolicy, WorkingMemoryIsTwoCopiesAndOpeningNeedsThree) {
    constexpr std::size_t kMiB = 1 << 20;
    EXPECT_EQ((std::vector{os::WorkingMemoryFor(4096, 4096), os::WorkingMemoryFor(0, 345), os::WorkingMemoryFor(20000, 20000),
                           os::MemoryToOpen(4096, 4096), os::MemoryToOpen(20000, 20000)}),
              (std::vector<std::size_t>{128 * kMiB, 0, 0, 192 * kMiB, std::size_t{4800000000}}));
}

// The parts cover every row once; a failing last part ends no other early and its exception
// reaches the caller after them.
TEST(RowsInParts, EveryRowIsWorkedOnOnceAndAFailingPartIsPassedOnAfterAll) {
    for (const auto& [rows, pixelsPerRow] : {std::pair<std::size_t, std::size_t>{0, 100}, {1, 1}, {7, 3},
                                             {1000, 1000}, {1025, 1024}, {4099, 4096}, {3, 1u << 22}}) {
        std::vector<std::atomic<int>> visits(rows);
        const auto work = [&, rows = rows](std::size_t first, std::size_t end) {
            for (std::size_t row = first; row < end; ++row)
                ++visits[row];
            if (rows == 4099 && end == rows)
                throw std::runtime_error("the last part failed");
        };
        if (rows == 4099)
            EXPECT_THROW(os::ForRowsInParts(rows, pixelsPerRow, work), std::runtime_error);
        else
            os::ForRowsInParts(rows, pixelsPerRow, work);
        for (std::size_t row = 0; row < rows; ++row)
            ASSERT_EQ(visits[row].load(), 1) << rows << " × " << pixelsPerRow << ", row " << row;
    }
}

} // namespace
