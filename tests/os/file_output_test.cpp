#include "os/file_output.h"
#include "ui/raised_error.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace fs = std::filesystem;
using ui::RaisedError;
using os::ReplacingFile;

// Every umask() call of this test program comes here first and is counted, then done.
std::atomic<int> umaskCalls{0};
extern "C" mode_t umask(mode_t mask) noexcept {
    ++umaskCalls;
    return static_cast<mode_t>(::syscall(SYS_umask, mask));
}

namespace {

class FileOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("lumivert-file-" + std::to_string(::getpid()) + "-" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override {
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(folder_);
    }

    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void Put(const fs::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::span<const std::byte> Bytes(const std::string& text) {
        return std::as_bytes(std::span(text.data(), text.size()));
    }
    std::size_t EntriesInFolder() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder_), {}));
    }

    fs::path folder_;
};

TEST_F(FileOutputTest, ReplacesALongerFileWithoutStaleBytes) {
    const fs::path path = folder_ / "out.bin";
    Put(path, std::string(1000, 'x'));
    os::WriteWholeFile(path, Bytes("short"));
    EXPECT_EQ(Read(path), "short");
    EXPECT_EQ(EntriesInFolder(), 1u) << "no temporary file may be left behind";
}

// The old file is replaced, never rewritten: whoever still has it open, or holds another
// link to it, keeps the old bytes, and the old content leaves no hidden file behind.
TEST_F(FileOutputTest, ReplacesTheOldFileWithoutTouchingIt) {
    const fs::path path = folder_ / "out.bin";
    const fs::path otherLink = folder_ / "other-link.bin";
    Put(path, "old content");
    fs::create_hard_link(path, otherLink);
    std::ifstream openReader(path, std::ios::binary);

    os::WriteWholeFile(path, Bytes("new"));
    os::WriteWholeFile(path, Bytes("newer"));

    EXPECT_EQ(Read(path), "newer");
    EXPECT_EQ(Read(otherLink), "old content");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(openReader), {}), "old content");
    EXPECT_EQ(EntriesInFolder(), 2u) << "the target and the other link only";
}

TEST_F(FileOutputTest, AFolderPutInTheTargetsPlaceMeanwhileIsRefusedAndKept) {
    const fs::path path = folder_ / "out.bin";
    Put(path, "old content");
    {
        os::ReplacingFile file(path);
        file.Write(Bytes("new content"));
        fs::remove(path);
        fs::create_directory(path);
        Put(path / "inside.txt", "kept");
        EXPECT_THROW(file.Commit(), ui::RaisedError);
    }
    ASSERT_TRUE(fs::is_directory(path));
    EXPECT_EQ(Read(path / "inside.txt"), "kept");
    EXPECT_EQ(EntriesInFolder(), 1u) << "the refused file is removed";
}

// Follows a chain of links, a relative one to another folder and an absolute one, and
// replaces the private file at its end: the links stay, the file stays private.
TEST_F(FileOutputTest, ReplacesWhatALinkChainNamesAndKeepsLinksAndMode) {
    fs::create_directories(folder_ / "pictures");
    const fs::path target = folder_ / "pictures" / "latest.bin";
    Put(target, "old content, longer than the new");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(target, folder_ / "pictures" / "current.bin");
    fs::create_symlink("pictures/current.bin", folder_ / "out.bin");

    os::WriteWholeFile(folder_ / "out.bin", Bytes("new"));

    EXPECT_EQ(Read(target), "new");
    EXPECT_EQ(fs::read_symlink(folder_ / "out.bin"), "pictures/current.bin");
    EXPECT_EQ(fs::read_symlink(folder_ / "pictures" / "current.bin"), target);
    EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(EntriesInFolder(), 2u) << "the link and the pictures folder only";
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "pictures"), {}), 2) << "no temporary file left";

    // A link that names no file yet: the save creates the file it names.
    fs::create_symlink("pictures/first.bin", folder_ / "first.bin");
    os::WriteWholeFile(folder_ / "first.bin", Bytes("first"));
    EXPECT_TRUE(fs::is_symlink(folder_ / "first.bin"));
    EXPECT_EQ(Read(folder_ / "pictures" / "first.bin"), "first");
}

// A new file gets what any new file gets under the umask, and saving never changes the
// umask, not even for a moment: another thread may create a file meanwhile.
TEST_F(FileOutputTest, NewFilesFollowTheUmaskWhichIsNeverChanged) {
    const mode_t before = ::umask(027);
    umaskCalls = 0;
    os::WriteWholeFile(folder_ / "new.bin", Bytes("abc"));
    os::WriteWholeFile(folder_ / "new.bin", Bytes("abcd"));
    const int calls = umaskCalls;
    EXPECT_EQ(::umask(before), 027);
    EXPECT_EQ(calls, 0) << "the umask was changed during a save";
    EXPECT_EQ(fs::status(folder_ / "new.bin").permissions(), static_cast<fs::perms>(0640));
}

// Root saving over another user's file keeps that user's file: owner, group and mode.
TEST_F(FileOutputTest, RootKeepsTheOwnerGroupAndModeOfAnotherUsersFile) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the old file to another user";
    const fs::path path = folder_ / "theirs.bin";
    Put(path, "their old content");
    constexpr uid_t kNobody = 65534;
    constexpr gid_t kNogroup = 65534;
    ASSERT_EQ(::chown(path.c_str(), kNobody, kNogroup), 0);
    ASSERT_EQ(::chmod(path.c_str(), 02660), 0);

    os::WriteWholeFile(path, Bytes("new"));

    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(Read(path), "new");
    EXPECT_EQ(info.st_uid, kNobody);
    EXPECT_EQ(info.st_gid, kNogroup);
    EXPECT_EQ(info.st_mode & 07777, 02660u) << "set-group-ID goes along with the owners kept";
}

TEST_F(FileOutputTest, AnAbandonedWriteLeavesTheOldFileIntact) {
    const fs::path path = folder_ / "keep.bin";
    Put(path, "old content");
    {
        os::ReplacingFile file(path);
        file.Write(Bytes("new content, never committed"));
    }
    EXPECT_EQ(Read(path), "old content");
    EXPECT_EQ(EntriesInFolder(), 1u);
}

TEST_F(FileOutputTest, FailuresRaiseFileErrorsNamingThePath) {
    const auto expectError = [](const std::string& path, std::int32_t number) {
        try {
            os::WriteWholeFile(path, Bytes("data"));
            ADD_FAILURE() << "no error for " << path;
        } catch (const ui::RaisedError& error) {
            EXPECT_EQ(error.number(), number) << path;
            EXPECT_NE(error.description().find(path), std::string::npos) << error.description();
        }
    };
    expectError((folder_ / "missing" / "x.bin").string(), ui::kPathNotFound);
    fs::create_directories(folder_ / "a-folder");
    expectError((folder_ / "a-folder").string(), ui::kPathFileAccessError);
    expectError("/dev/full", ui::kDiskFull);
    expectError((folder_ / std::string(300, 'n')).string(), ui::kBadFileName);

    // A read-only file is refused even for a user the system would let through.
    const fs::path readOnly = folder_ / "read-only.bin";
    Put(readOnly, "protected");
    fs::permissions(readOnly, fs::perms::owner_read);
    expectError(readOnly.string(), ui::kPermissionDenied);
    EXPECT_EQ(Read(readOnly), "protected");
}

TEST_F(FileOutputTest, DeviceTargetsAreWrittenInPlaceNotReplaced) {
    os::WriteWholeFile("/dev/null", Bytes("discarded"));
    struct stat info {};
    ASSERT_EQ(::stat("/dev/null", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
}

} // namespace
