// Every saver of the picture under the faults a user's disk can throw at it, each triggered
// for real: a folder the user may not write (a child that dropped root; its writable old
// files are rewritten in place), a folder where the file should be, a read-only old file, a
// disk that fills up part-way (a 64 KiB tmpfs in a private mount namespace), names and
// paths longer than the system allows.
//
// For each: the save fails with an error that says what happened (the raised error's number
// and a description naming the path; the imaging layer answers false, and its caller shows
// the message), the folder holds exactly what it held before (old file unchanged, no partial
// or temporary file), and the next save to a sound folder works.

#include "tests/reliability/fault_fixtures.h"

#include "ui/raised_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <unistd.h>

namespace reliability {
namespace {

using ui::kBadFileName;
using ui::kDiskFull;
using ui::kPathFileAccessError;
using ui::kPermissionDenied;

class SaverFaults : public ::testing::Test {
protected:
    SamplePictureBox picture_;
    const std::vector<Saver> savers_ = AllSavers(picture_);
};

TEST_F(SaverFaults, AFolderOfTheSameNameIsRefusedAndKeptWithItsContent) {
    ScratchFolder folder;
    for (const Saver& saver : savers_) {
        folder.MakeFolder(saver.fileName);
        folder.Put(saver.fileName + "/inside.txt", "kept");
    }
    const FolderState before = folder.State();
    for (const Saver& saver : savers_)
        EXPECT_EQ(CheckRefused(saver, folder / saver.fileName, ui::kPathFileAccessError), "");
    EXPECT_EQ(folder.State(), before);
}

TEST_F(SaverFaults, AReadOnlyOldFileIsRefusedAndKept) {
    ScratchFolder folder;
    for (const Saver& saver : savers_)
        folder.Put(saver.fileName, "old " + saver.name, 0444);
    const FolderState before = folder.State();
    for (const Saver& saver : savers_)
        EXPECT_EQ(CheckRefused(saver, folder / saver.fileName, ui::kPermissionDenied), "");
    EXPECT_EQ(folder.State(), before);
}

TEST_F(SaverFaults, NamesAndPathsLongerThanTheSystemAllowsAreRefused) {
    ScratchFolder folder;
    const FolderState before = folder.State();
    const std::string longName = folder / (std::string(NAME_MAX + 1, 'n') + ".bmp");
    std::string longPath = folder.path();
    while (longPath.size() <= PATH_MAX)
        longPath += "/" + std::string(200, 'd');
    longPath += "/Sample.png";
    for (const Saver& saver : savers_) {
        EXPECT_EQ(CheckRefused(saver, longName, ui::kBadFileName), "");
        EXPECT_EQ(CheckRefused(saver, longPath, ui::kBadFileName), "");
    }
    EXPECT_EQ(folder.State(), before);
}

// A folder the user may not write, with old files the user may write (as an administrator
// may set up a shared folder): an old file is rewritten in place, a new name is refused.
// The old files are longer than any picture, so a stale tail would show.
TEST_F(SaverFaults, AFolderTheUserMayNotWriteTakesNoNewFileButItsWritableFilesAreSaved) {
    constexpr std::size_t kOldSize = 1 << 20;
    ScratchFolder folder;
    folder.MakeFolder("program", 0755);
    for (const Saver& saver : savers_)
        if (saver.index % 2 == 0)
            folder.Put("program/" + saver.fileName, std::string(kOldSize, 'o'), 0666);
    const std::string program = folder / "program";
    const auto namesIn = [](const FolderState& state) {
        std::vector<std::string> names;
        for (const auto& [name, bytes] : state)
            names.push_back(name);
        return names;
    };
    const std::vector<std::string> namesBefore = namesIn(folder.State());
    const ChildReport report = RunInChild([&] {
        if (!BecomeNobody())
            return std::string("cannot drop root");
        std::string problems;
        for (const Saver& saver : savers_) {
            const std::string path = program + "/" + saver.fileName;
            problems += ::access(path.c_str(), F_OK) == 0 ? CheckSaved(saver, path)
                                                          : CheckRefused(saver, path, ui::kPermissionDenied);
        }
        return problems;
    });
    EXPECT_TRUE(report.ran) << report.text;
    EXPECT_EQ(report.text, "");
    const FolderState after = folder.State();
    EXPECT_EQ(namesIn(after), namesBefore) << "no new file, no temporary file";
    for (const auto& [name, bytes] : after)
        EXPECT_TRUE(bytes == "<folder>" || bytes.size() < kOldSize) << name << " kept the old file's tail";
}

TEST_F(SaverFaults, ADiskThatFillsUpPartWayLeavesTheOldFileAndNoPartialFile) {
    ScratchFolder folder;
    const std::string disk = folder / "disk";
    folder.MakeFolder("disk", 0755);
    const ChildReport report = RunInChild([&] {
        // Room for the largest file (a 32-bit picture, 580 KB) once the filler is gone.
        if (!MountTinyDisk(disk, "1m"))
            return std::string("skip: ") + std::strerror(errno);
        ScratchFolder onDisk(disk);
        for (const Saver& saver : savers_)
            if (saver.index % 2 == 0)
                onDisk.Put(saver.fileName, "old " + saver.name);
        // Leave one page: every save writes more, so each one fails after a partial write.
        if (!FillDiskLeaving(onDisk / "filler", 4096))
            return std::string("cannot fill the disk");
        const FolderState before = onDisk.State();
        std::string problems;
        for (const Saver& saver : savers_)
            problems += CheckRefused(saver, onDisk / saver.fileName, ui::kDiskFull);
        if (onDisk.State() != before)
            problems += "the full disk's folder changed\n";
        // Room again: the very same savers work.
        onDisk.Remove("filler");
        for (const Saver& saver : savers_) {
            problems += CheckSaved(saver, onDisk / saver.fileName);
            onDisk.Remove(saver.fileName);
        }
        return problems;
    });
    if (report.text.starts_with("skip: "))
        GTEST_SKIP() << "no tmpfs mount here: " << report.text;
    EXPECT_TRUE(report.ran) << report.text;
    EXPECT_EQ(report.text, "");
}

TEST_F(SaverFaults, AfterEveryFaultTheSameSaversStillWork) {
    ScratchFolder folder;
    for (const Saver& saver : savers_) {
        EXPECT_EQ(CheckRefused(saver, folder / ("missing/" + saver.fileName), ui::kPathNotFound), "");
        EXPECT_EQ(CheckSaved(saver, folder / saver.fileName), "");
    }
    EXPECT_EQ(CountLiveHandles(), picture_.liveHandlesAtStart());
}

} // namespace
} // namespace reliability
