// Every saver of the picture crossed with the faults a user's disk can throw at it, each
// triggered for real. For each: the save fails with an error that says what happened (the
// raised error's number and a description naming the path; the imaging layer answers false,
// and its caller shows the message), the folder holds exactly what it held before (old file
// unchanged, no partial or temporary file), and the same savers then work in a sound folder.

#include "tests/reliability/fault_fixtures.h"

#include "ui/raised_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <unistd.h>

namespace reliability {
namespace {

struct Fault {
    const char* name;
    std::int32_t number;
    // Prepares folder for saver and gives the path to save to.
    std::string (*prepare)(const ScratchFolder& folder, const Saver& saver);
};

void PrintTo(const Fault& fault, std::ostream* out) { *out << fault.name; }

std::string LongPath(const ScratchFolder& folder) {
    std::string path = folder.path();
    while (path.size() <= PATH_MAX)
        path += "/" + std::string(200, 'd');
    return path + "/Sample.png";
}

const Fault kFaults[] = {
    {"AFolderOfTheSameName", ui::kPathFileAccessError,
     [](const ScratchFolder& folder, const Saver& saver) {
         folder.MakeFolder(saver.fileName);
         folder.Put(saver.fileName + "/inside.txt", "kept");
         return folder / saver.fileName;
     }},
    {"AReadOnlyOldFile", ui::kPermissionDenied,
     [](const ScratchFolder& folder, const Saver& saver) {
         folder.Put(saver.fileName, "old " + saver.name, 0444);
         return folder / saver.fileName;
     }},
    {"AMissingFolder", ui::kPathNotFound,
     [](const ScratchFolder& folder, const Saver& saver) { return folder / ("missing/" + saver.fileName); }},
    {"AFileWhereAFolderShouldBe", ui::kPathNotFound,
     [](const ScratchFolder& folder, const Saver& saver) {
         folder.Put("file", "a file");
         return folder / ("file/" + saver.fileName);
     }},
    {"ANameLongerThanTheSystemAllows", ui::kBadFileName,
     [](const ScratchFolder& folder, const Saver&) { return folder / (std::string(NAME_MAX + 1, 'n') + ".bmp"); }},
    {"APathLongerThanTheSystemAllows", ui::kBadFileName,
     [](const ScratchFolder& folder, const Saver&) { return LongPath(folder); }},
    {"AFullDevice", ui::kDiskFull, [](const ScratchFolder&, const Saver&) { return std::string("/dev/full"); }},
};

class SaverFaults : public ::testing::TestWithParam<Fault> {
protected:
    SamplePictureBox picture_;
    const std::vector<Saver> savers_ = AllSavers(picture_);
};

TEST_P(SaverFaults, IsRefusedWithItsErrorAndChangesNothing) {
    ScratchFolder folder;
    for (const Saver& saver : savers_) {
        const std::string path = GetParam().prepare(folder, saver);
        EXPECT_EQ(CheckRefused(saver, path, GetParam().number, path != "/dev/full"), "");
    }
    ScratchFolder sound;
    for (const Saver& saver : savers_)
        EXPECT_EQ(CheckSaved(saver, sound / saver.fileName), "");
    EXPECT_EQ(CountLiveHandles(), picture_.liveHandlesAtStart());
}

INSTANTIATE_TEST_SUITE_P(Every, SaverFaults, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// A folder the user may not write, with old files the user may write (as an administrator
// may set up a shared folder): an old file is rewritten in place, a new name is refused.
// The old files are longer than any picture, so a stale tail would show.
TEST(SaverFaultsAsRoot, AFolderTheUserMayNotWriteTakesNoNewFileButItsWritableFilesAreSaved) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to save as another user into a folder of root's";
    SamplePictureBox picture;
    const std::vector<Saver> savers = AllSavers(picture);
    constexpr std::size_t kOldSize = 1 << 20;
    ScratchFolder folder;
    folder.MakeFolder("program", 0755);
    for (const Saver& saver : savers)
        if (saver.index % 2 == 0)
            folder.Put("program/" + saver.fileName, std::string(kOldSize, 'o'), 0666);
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
        for (const Saver& saver : savers) {
            const std::string path = folder / ("program/" + saver.fileName);
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

// A disk that fills up part-way (a 1 MiB tmpfs in a private mount namespace, filled to one
// page): every save fails after a partial write and leaves the old file and no partial file.
TEST(SaverFaultsAsRoot, ADiskThatFillsUpPartWayLeavesTheOldFileAndNoPartialFile) {
    SamplePictureBox picture;
    const std::vector<Saver> savers = AllSavers(picture);
    ScratchFolder folder;
    folder.MakeFolder("disk", 0755);
    const ChildReport report = RunInChild([&] {
        if (!MountTinyDisk(folder / "disk", "1m"))
            return std::string("skip: ") + std::strerror(errno);
        ScratchFolder onDisk(folder / "disk");
        for (const Saver& saver : savers)
            if (saver.index % 2 == 0)
                onDisk.Put(saver.fileName, "old " + saver.name);
        if (!FillDiskLeaving(onDisk / "filler", 4096))
            return std::string("cannot fill the disk");
        const FolderState before = onDisk.State();
        std::string problems;
        for (const Saver& saver : savers)
            problems += CheckRefused(saver, onDisk / saver.fileName, ui::kDiskFull);
        if (onDisk.State() != before)
            problems += "the full disk's folder changed\n";
        onDisk.Remove("filler"); // room again: the very same savers work
        for (const Saver& saver : savers) {
            problems += CheckSaved(saver, onDisk / saver.fileName);
            onDisk.Remove(saver.fileName);
        }
        return problems;
    });
    if (report.text.starts_with("skip: "))
        GTEST_SKIP() << "no tmpfs mount here (needs root): " << report.text;
    EXPECT_TRUE(report.ran) << report.text;
    EXPECT_EQ(report.text, "");
}

} // namespace
} // namespace reliability
