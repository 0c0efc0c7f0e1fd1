// Every saver crossed with the faults a user's disk can throw at it, each caused for real:
// the save fails with its error, the folder keeps what it held, and a sound folder then works.

#include "assets/sample_picture.h"
#include "bitmap/bmp_writer.h"
#include "bitmap/effect_engine.h"
#include "imaging/mdl_gdiplus.h"
#include "tests/support/scratch_folder.h"
#include "ui/raised_error.h"
#include "win32/gdi32/persistent_picture.h"
#include "win32/gdi32/surface.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

namespace {

using test_support::FolderState;
using test_support::ScratchFolder;

// Written, or the raised error (none where the saver only answers false).
struct SaveOutcome {
    bool written = false;
    std::int32_t number = 0;
    std::string description;
};

struct Saver {
    std::string name;     // "BMP 8 bits", "effect Sepia (Pixels)", "GIF own palette", ...
    std::string fileName; // the name the window gives its file
    std::function<SaveOutcome(const std::string& path)> save;
};

SaveOutcome Trapped(const std::function<void()>& save) {
    try {
        save();
        return {true, 0, {}};
    } catch (const ui::RaisedError& error) {
        return {false, error.number(), error.description()};
    }
}

// The BMP writer at every depth, every effect with both engines, PNG, GIF and JPEG, the
// imaging ones each in a session of its own as the window runs them.
std::vector<Saver> AllSavers(const gdi32::PersistentPicture& picture) {
    std::vector<Saver> savers;
    const gdi32::HDC dc = picture.hDC();
    for (const int depth : {1, 4, 8, 32})
        savers.push_back({"BMP " + std::to_string(depth) + " bits", "Sample" + std::to_string(depth) + ".bmp",
                          [dc, depth](const std::string& path) {
                              return Trapped([&] { mdlBitmap::SaveBmpFile(dc, path, depth); });
                          }});
    const char* const kEffects[] = {"GrayScale", "Red", "Blue",  "Green",   "Purple", "Water",
                                    "Yellow",    "Sepia", "Reverse", "Emboss", "EmbossFalse"};
    for (int effect = 1; effect <= 11; ++effect)
        for (const int usePixels : {-1, 0})
            savers.push_back({std::string("effect ") + kEffects[effect - 1] + (usePixels ? " (Pixels)" : " (DIBits)"),
                              std::string("Sample") + kEffects[effect - 1] + ".bmp",
                              [dc, effect, usePixels](const std::string& path) {
                                  return Trapped([&] { mdlBitmap::SaveEffectBmp(dc, path, effect, usePixels); });
                              }});
    const gdi32::HBITMAP bitmap = picture.hBitmap();
    const std::tuple<const char*, const char*, std::int32_t, std::int32_t> kImaging[] = {
        {"PNG", "Sample.png", mdlGdiplus::FormatPng, mdlGdiplus::OptionNone},
        {"PNG transparent red", "Sample.png", mdlGdiplus::FormatPng, 0x3300FF},
        {"GIF own palette", "Sample.gif", mdlGdiplus::FormatGif, mdlGdiplus::OptionNone},
        {"GIF own palette transparent white", "Sample.gif", mdlGdiplus::FormatGif, 0xFFFFFF},
        {"GIF by the encoder", "Sample.gif", mdlGdiplus::FormatGif, mdlGdiplus::OptionGifByEncoder},
        {"JPEG quality 100", "Sample.jpg", mdlGdiplus::FormatJpeg, 100},
        {"JPEG quality 50", "Sample.jpg", mdlGdiplus::FormatJpeg, 50}};
    for (const auto& [name, fileName, format, option] : kImaging)
        savers.push_back({name, fileName, [bitmap, format, option](const std::string& path) {
                              if (!mdlGdiplus::StartupGdiplus())
                                  return SaveOutcome{false, 0, "start-up failed"};
                              const bool written = mdlGdiplus::SaveImageByGdiplus(bitmap, path, format, option);
                              mdlGdiplus::ShutdownGdiplus();
                              return SaveOutcome{written, 0, {}};
                          }});
    return savers;
}

// Empty when saver refused path (the BMP savers raising number with a text naming path; the
// imaging layer answers false) and left the folder as it was; else the problems, as text for
// a forked child.
std::string CheckRefused(const Saver& saver, const std::string& path, std::int32_t number, bool watchFolder = true) {
    const std::string folder = path.substr(0, path.rfind('/'));
    std::error_code error;
    watchFolder = watchFolder && std::filesystem::is_directory(folder, error);
    const FolderState before = watchFolder ? ScratchFolder(folder).State() : FolderState{};
    const std::string where = saver.name + " to " + path.substr(0, 120) + ": ";
    const SaveOutcome outcome = saver.save(path);
    if (outcome.written)
        return where + "saved, no error\n";
    std::string problems;
    const bool raises = saver.fileName.ends_with(".bmp");
    if (raises && outcome.number != number)
        problems += where + "error " + std::to_string(outcome.number) + " (" + outcome.description + ")\n";
    if (raises && outcome.description.find(path) == std::string::npos)
        problems += where + "the message does not name the path: " + outcome.description + "\n";
    if (watchFolder && ScratchFolder(folder).State() != before)
        problems += where + "the folder changed\n";
    return problems;
}

// Empty when saver wrote path as a whole file of its kind.
std::string CheckSaved(const Saver& saver, const std::string& path) {
    const SaveOutcome outcome = saver.save(path);
    const std::string bytes = test_support::ReadBytes(path);
    const std::string kind = saver.fileName.substr(saver.fileName.rfind('.'));
    const std::string signature = kind == ".bmp"   ? "BM"
                                  : kind == ".png" ? "\x89PNG\r\n\x1a\n"
                                  : kind == ".gif" ? "GIF89a"
                                                   : "\xFF\xD8\xFF";
    if (!outcome.written || bytes.size() < 64 || !bytes.starts_with(signature))
        return saver.name + " to " + path + ": not saved whole (" + outcome.description + ")\n";
    return {};
}

// Runs body in a forked child (a crash or a dropped privilege stays there): ended normally, answer.
std::pair<bool, std::string> RunInChild(const std::function<std::string()>& body) {
    std::FILE* answer = std::tmpfile();
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const std::string text = body();
        std::_Exit(::write(::fileno(answer), text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    int status = 0;
    const bool ran = child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::string text(static_cast<std::size_t>(::lseek(::fileno(answer), 0, SEEK_END)), '\0');
    const bool read = ::pread(::fileno(answer), text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
    std::fclose(answer);
    return {ran && read, text};
}

struct Fault {
    const char* name;
    std::int32_t number;
    std::string (*prepare)(const ScratchFolder& folder, const Saver& saver); // answers the path to save to
};
void PrintTo(const Fault& fault, std::ostream* out) { *out << fault.name; }

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
     [](const ScratchFolder& folder, const Saver&) {
         std::string path = folder.path();
         while (path.size() <= PATH_MAX)
             path += "/" + std::string(200, 'd');
         return path + "/Sample.png";
     }},
    {"AFullDevice", ui::kDiskFull, [](const ScratchFolder&, const Saver&) { return std::string("/dev/full"); }},
};

class SaverFaultsAsRoot : public ::testing::Test {
protected:
    const gdi32::PersistentPicture picture_{lumivert::assets::SamplePictureFile()};
    const std::size_t handles_ = gdi32::CountLiveObjects();
    const std::vector<Saver> savers_ = AllSavers(picture_);
};
class SaverFaults : public SaverFaultsAsRoot, public ::testing::WithParamInterface<Fault> {};

TEST_P(SaverFaults, IsRefusedWithItsErrorAndChangesNothing) {
    ScratchFolder folder;
    for (const Saver& saver : savers_) {
        const std::string path = GetParam().prepare(folder, saver);
        EXPECT_EQ(CheckRefused(saver, path, GetParam().number, path != "/dev/full"), "");
    }
    ScratchFolder sound;
    for (const Saver& saver : savers_)
        EXPECT_EQ(CheckSaved(saver, sound / saver.fileName), "");
    EXPECT_EQ(gdi32::CountLiveObjects(), handles_) << "a handle leaked";
}

INSTANTIATE_TEST_SUITE_P(Every, SaverFaults, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// A folder of root's that the user may not write, with old files the user may write (a shared
// folder): an old file is rewritten in place, a new name is refused. The old files are longer
// than any picture, so a stale tail would show.
TEST_F(SaverFaultsAsRoot, AFolderTheUserMayNotWriteTakesNoNewFileButItsWritableFilesAreSaved) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to save as another user into a folder of root's";
    constexpr std::size_t kOldSize = 1 << 20;
    ScratchFolder folder;
    for (std::size_t i = 0; i < savers_.size(); i += 2)
        folder.Put(savers_[i].fileName, std::string(kOldSize, 'o'), 0666);
    const FolderState before = folder.State();
    const auto [ran, problems] = RunInChild([&] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            return std::string("cannot become nobody");
        std::string found;
        for (const Saver& saver : savers_)
            found += ::access((folder / saver.fileName).c_str(), F_OK) == 0
                         ? CheckSaved(saver, folder / saver.fileName)
                         : CheckRefused(saver, folder / saver.fileName, ui::kPermissionDenied);
        return found;
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(problems, "");
    const FolderState after = folder.State();
    EXPECT_EQ(after.size(), before.size()) << "no new file, no temporary file";
    for (const auto& [name, bytes] : after)
        EXPECT_TRUE(before.contains(name) && bytes.size() < kOldSize) << name << ": new, or kept the old file's tail";
}

// A disk that fills up part-way (a 1 MiB tmpfs in a private mount namespace, filled to one
// page): every save fails after a partial write and leaves the old file and no partial file.
TEST_F(SaverFaultsAsRoot, ADiskThatFillsUpPartWayLeavesTheOldFileAndNoPartialFile) {
    ScratchFolder folder;
    const auto [ran, problems] = RunInChild([&] {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", folder.path().c_str(), "tmpfs", 0, "size=1m,mode=0755") != 0)
            return std::string("skip: ") + std::strerror(errno);
        for (std::size_t i = 0; i < savers_.size(); i += 2)
            folder.Put(savers_[i].fileName, "old " + savers_[i].name);
        // Fills the disk, then gives one page back.
        const int fd = ::open((folder / "filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        const std::string block(4096, 'f');
        while (fd >= 0 && ::write(fd, block.data(), block.size()) > 0)
            continue;
        const off_t filled = errno == ENOSPC ? ::lseek(fd, 0, SEEK_CUR) : 0;
        ::close(fd);
        if (filled < 4096 || ::truncate((folder / "filler").c_str(), filled - 4096) != 0)
            return std::string("cannot fill the disk");
        const FolderState before = folder.State();
        std::string found;
        for (const Saver& saver : savers_)
            found += CheckRefused(saver, folder / saver.fileName, ui::kDiskFull);
        if (folder.State() != before)
            found += "the full disk's folder changed\n";
        folder.Remove("filler"); // room again: the very same savers work
        for (const Saver& saver : savers_) {
            found += CheckSaved(saver, folder / saver.fileName);
            folder.Remove(saver.fileName);
        }
        return found;
    });
    if (problems.starts_with("skip: "))
        GTEST_SKIP() << "no tmpfs mount here (needs root): " << problems;
    EXPECT_TRUE(ran);
    EXPECT_EQ(problems, "");
}

} // namespace
