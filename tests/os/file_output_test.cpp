#include "os/file_output.h"
#include "ui/raised_error.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;
using ui::RaisedError;
using os::ReplacingFile;

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

TEST_F(FileOutputTest, NewFileGetsTheUsualPermissions) {
    const fs::path path = folder_ / "new.bin";
    os::WriteWholeFile(path, Bytes("abc"));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
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
