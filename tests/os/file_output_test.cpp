// The replacing writer. Its refusals (missing folder, read-only file, full device, ...) are
// checked for every saver in tests/reliability.

#include "os/file_output.h"
#include "tests/support/scratch_folder.h"
#include "ui/raised_error.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace fs = std::filesystem;
using test_support::ReadBytes;

// Every umask() call of this test program comes here first and is counted, then done.
std::atomic<int> umaskCalls{0};
extern "C" mode_t umask(mode_t mask) noexcept {
    ++umaskCalls;
    return static_cast<mode_t>(::syscall(SYS_umask, mask));
}

namespace {

std::span<const std::byte> Bytes(const std::string& text) { return std::as_bytes(std::span(text.data(), text.size())); }

// The old file is replaced, never rewritten: an open reader and another link keep the old
// bytes. An abandoned write, and one whose target became a folder meanwhile, leave what was
// there; no temporary file is left.
TEST(FileOutput, ReplacesTheOldFileWithoutTouchingItAndLeavesNoTemporaryFile) {
    const test_support::ScratchFolder folder;
    folder.Put("out.bin", std::string(1000, 'x'));
    fs::create_hard_link(folder / "out.bin", folder / "link.bin");
    std::ifstream openReader(folder / "out.bin", std::ios::binary);
    os::WriteWholeFile(folder / "out.bin", Bytes("new content"));
    os::WriteWholeFile(folder / "out.bin", Bytes("newer"));
    EXPECT_EQ(ReadBytes(folder / "out.bin"), "newer");
    EXPECT_EQ(ReadBytes(folder / "link.bin"), std::string(1000, 'x'));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(openReader), {}), std::string(1000, 'x'));
    os::ReplacingFile(folder / "out.bin").Write(Bytes("never committed"));
    EXPECT_EQ(ReadBytes(folder / "out.bin"), "newer");
    {
        os::ReplacingFile file(folder / "out.bin");
        file.Write(Bytes("new content"));
        folder.Remove("out.bin");
        folder.MakeFolder("out.bin");
        folder.Put("out.bin/inside.txt", "kept");
        EXPECT_THROW(file.Commit(), ui::RaisedError);
    }
    EXPECT_EQ(ReadBytes(folder / "out.bin/inside.txt"), "kept");
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"link.bin", "out.bin"}));
}

// A chain of links, relative to another folder and absolute, stays; the private file at
// its end is replaced and stays private. A link that names no file yet creates it.
TEST(FileOutput, ReplacesWhatALinkChainNamesAndKeepsLinksAndMode) {
    const test_support::ScratchFolder folder;
    folder.MakeFolder("pictures");
    const std::string target = folder / "pictures/latest.bin";
    folder.Put("pictures/latest.bin", "old content, longer than the new", 0600);
    fs::create_symlink(target, folder / "pictures/current.bin");
    fs::create_symlink("pictures/current.bin", folder / "out.bin");
    fs::create_symlink("pictures/first.bin", folder / "first.bin");
    os::WriteWholeFile(folder / "out.bin", Bytes("new"));
    os::WriteWholeFile(folder / "first.bin", Bytes("first"));
    EXPECT_EQ(ReadBytes(target), "new");
    EXPECT_EQ(ReadBytes(folder / "pictures/first.bin"), "first");
    EXPECT_EQ(fs::read_symlink(folder / "out.bin"), "pictures/current.bin");
    EXPECT_EQ(fs::read_symlink(folder / "pictures/current.bin"), target);
    EXPECT_TRUE(fs::is_symlink(folder / "first.bin"));
    EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "pictures"), {}), 3) << "no temporary file left";
}

// A new file gets what any new file gets under the umask, and saving never changes the
// umask, not even for a moment: another thread may create a file meanwhile.
TEST(FileOutput, NewFilesFollowTheUmaskWhichIsNeverChanged) {
    const test_support::ScratchFolder folder;
    const mode_t before = ::umask(027);
    umaskCalls = 0;
    os::WriteWholeFile(folder / "new.bin", Bytes("abc"));
    os::WriteWholeFile(folder / "new.bin", Bytes("abcd"));
    const int calls = umaskCalls;
    EXPECT_EQ(::umask(before), 027);
    EXPECT_EQ(calls, 0) << "the umask was changed during a save";
    EXPECT_EQ(fs::status(folder / "new.bin").permissions(), static_cast<fs::perms>(0640));
}

// Root saving over another user's file keeps its owner, group and mode; a device is written
// in place, never replaced.
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
    EXPECT_EQ(ReadBytes(path), "new");
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(info.st_gid, 65534u);
    EXPECT_EQ(info.st_mode & 07777, 02660u) << "set-group-ID goes along with the owners kept";
}

} // namespace
