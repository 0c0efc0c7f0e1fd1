// Every saver crossed with the faults a user's disk can throw at it, each caused for real:
// the save fails with its error, the folder keeps what it held, and a sound folder then works.

#include "assets/sample_picture.h"
#include "bitmap/bmp_writer.h"
#include "bitmap/effect_engine.h"
#include "imaging/mdl_gdiplus.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch_folder.h"
#include "report/raised_error.h"
#include "win32/gdi32/persistent_picture.h"
#include "win32/gdi32/surface.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <tuple>
#include <unistd.h>

namespace {

using test_support::ScratchFolder;

struct Saver {
    std::string name;     // "BMP 8 bits", "effect 8 (Pixels)", "GIF own palette", ...
    std::string fileName; // the name the window gives its file
    std::function<void(const std::string& path)> save; // raises its error, 0 where the saver answers false
};

// -1 when saved, else the number raised and its text.
std::pair<std::int32_t, std::string> Save(const Saver& saver, const std::string& path) {
    try {
        saver.save(path);
        return {-1, ""};
    } catch (const report::RaisedError& error) {
        return {error.number(), error.description()};
    }
}

// BMP at every depth, every effect by both engines, PNG, GIF, JPEG (each in its own session).
std::vector<Saver> AllSavers(const gdi32::PersistentPicture& picture) {
    std::vector<Saver> savers;
    const gdi32::HDC dc = picture.hDC();
    for (const int depth : {1, 4, 8, 32})
        savers.push_back({"BMP " + std::to_string(depth) + " bits", "Sample" + std::to_string(depth) + ".bmp",
                          [dc, depth](const std::string& path) { mdlBitmap::SaveBmpFile(dc, path, depth); }});
    for (int effect = 1; effect <= 11; ++effect)
        for (const int usePixels : {-1, 0})
            savers.push_back({"effect " + std::to_string(effect) + (usePixels ? " (Pixels)" : " (DIBits)"),
                              "Effect" + std::to_string(effect) + ".bmp",
                              [dc, effect, usePixels](const std::string& path) {
                                  mdlBitmap::SaveEffectBmp(dc, path, effect, usePixels);
                              }});
    const std::tuple<const char*, const char*, std::int32_t, std::int32_t> kImaging[] = {
        {"PNG", "Sample.png", mdlGdiplus::FormatPng, mdlGdiplus::OptionNone},
        {"PNG transparent red", "Sample.png", mdlGdiplus::FormatPng, 0x3300FF},
        {"GIF own palette", "Sample.gif", mdlGdiplus::FormatGif, mdlGdiplus::OptionNone},
        {"GIF own palette transparent white", "Sample.gif", mdlGdiplus::FormatGif, 0xFFFFFF},
        {"GIF by the encoder", "Sample.gif", mdlGdiplus::FormatGif, mdlGdiplus::OptionGifByEncoder},
        {"JPEG quality 100", "Sample.jpg", mdlGdiplus::FormatJpeg, 100},
        {"JPEG quality 50", "Sample.jpg", mdlGdiplus::FormatJpeg, 50}};
    for (const auto& [name, fileName, format, option] : kImaging)
        savers.push_back({name, fileName, [bitmap = picture.hBitmap(), format, option](const std::string& path) {
                              const bool written = mdlGdiplus::StartupGdiplus() &&
                                                   mdlGdiplus::SaveImageByGdiplus(bitmap, path, format, option);
                              mdlGdiplus::ShutdownGdiplus();
                              if (!written)
                                  throw report::RaisedError(0, "not written");
                          }});
    return savers;
}

// Empty when saver refused path (BMP: raising number, naming path) and left folder as it was.
std::string CheckRefused(const Saver& saver, const std::string& path, std::int32_t number,
                         const ScratchFolder& folder) {
    const auto before = folder.State();
    const auto [raised, text] = Save(saver, path);
    const std::string where = saver.name + " to " + path.substr(0, 120) + ": ";
    std::string problems;
    if (raised != (saver.fileName.ends_with(".bmp") ? number : 0))
        problems += where + "error " + std::to_string(raised) + " (" + text + ")\n";
    if (raised != 0 && text.find(path) == std::string::npos)
        problems += where + "the message does not name the path: " + text + "\n";
    if (folder.State() != before)
        problems += where + "the folder changed\n";
    return problems;
}

// Empty when saver wrote path as a whole file of its kind.
std::string CheckSaved(const Saver& saver, const std::string& path) {
    const auto [raised, text] = Save(saver, path);
    const std::string bytes = test_support::ReadBytes(path);
    const std::map<std::string, std::string> kSignatures = {
        {"bmp", "BM"}, {"png", "\x89PNG\r\n\x1a\n"}, {"gif", "GIF89a"}, {"jpg", "\xFF\xD8\xFF"}};
    const std::string kind = saver.fileName.substr(saver.fileName.rfind('.') + 1);
    if (raised != -1 || bytes.size() < 64 || !bytes.starts_with(kSignatures.at(kind)))
        return saver.name + " to " + path + ": not saved whole (" + text + ")\n";
    return {};
}

// 0 when body, run in a forked child (so that a crash or a dropped privilege stays there),
// found nothing; else 1, with what it found on standard error, or its own exit code.
int RunInChild(const std::function<std::string()>& body) {
    return test_support::ExitCodeInChild([&] {
        const std::string found = body();
        std::fputs(found.c_str(), stderr);
        return found == "skip" ? 77 : found.empty() ? 0 : 1;
    });
}

// A folder and a read-only file made before each save, and the path saved to ("%": the file name).
struct Fault {
    const char* name;
    std::int32_t number;
    std::string folder, file, path;
};
void PrintTo(const Fault& fault, std::ostream* out) { *out << fault.name; }

const Fault kFaults[] = {
    {"AFolderOfTheSameName", report::kPathFileAccessError, "%/kept", "", "%"},
    {"AReadOnlyOldFile", report::kPermissionDenied, "", "%", "%"},
    {"AMissingFolder", report::kPathNotFound, "", "", "missing/%"},
    {"AFileWhereAFolderShouldBe", report::kPathNotFound, "", "file", "file/%"},
    {"ANameLongerThanTheSystemAllows", report::kBadFileName, "", "", std::string(NAME_MAX + 1, 'n') + ".bmp"},
    {"AFullDevice", report::kDiskFull, "", "", "/dev/full"},
};

std::string Prepare(const Fault& fault, const ScratchFolder& folder, const std::string& fileName) {
    const auto named = [&](std::string text) {
        const auto at = text.find('%');
        return at == std::string::npos ? text : text.replace(at, 1, fileName);
    };
    if (!fault.folder.empty())
        folder.MakeFolder(named(fault.folder));
    if (!fault.file.empty())
        folder.Put(named(fault.file), "old", 0444);
    return fault.path.starts_with('/') ? fault.path : folder / named(fault.path);
}

class SaverFaultsAsRoot : public ::testing::Test {
protected:
    const gdi32::PersistentPicture picture_{lumivert::assets::SamplePictureFile()};
    const std::size_t handles_ = gdi32::CountLiveObjects();
    const std::vector<Saver> savers_ = AllSavers(picture_);
    ScratchFolder folder_;
};
class SaverFaults : public SaverFaultsAsRoot, public ::testing::WithParamInterface<Fault> {};

TEST_P(SaverFaults, IsRefusedWithItsErrorAndChangesNothing) {
    for (const Saver& saver : savers_)
        EXPECT_EQ(CheckRefused(saver, Prepare(GetParam(), folder_, saver.fileName), GetParam().number, folder_), "");
    ScratchFolder sound;
    for (const Saver& saver : savers_)
        EXPECT_EQ(CheckSaved(saver, sound / saver.fileName), "");
    EXPECT_EQ(gdi32::CountLiveObjects(), handles_) << "a handle leaked";
}

INSTANTIATE_TEST_SUITE_P(Every, SaverFaults, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// A shared folder of root's: the user's old files are rewritten in place (no stale tail), new names refused.
TEST_F(SaverFaultsAsRoot, AFolderTheUserMayNotWriteTakesNoNewFileButItsWritableFilesAreSaved) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to save as another user into a folder of root's";
    ScratchFolder sound; // what each name holds after every save, written into a fresh folder
    for (const Saver& saver : savers_)
        Save(saver, sound / saver.fileName);
    const auto saved = sound.State();
    for (std::size_t i = 0; i < savers_.size(); i += 2) // old files longer than any new one
        folder_.Put(savers_[i].fileName, std::string(1 << 20, 'o'), 0666);
    const auto before = folder_.State();
    EXPECT_EQ(RunInChild([&] {
                  if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                      return std::string("cannot become nobody");
                  std::string found;
                  for (const Saver& saver : savers_)
                      found += before.contains(saver.fileName)
                                   ? CheckSaved(saver, folder_ / saver.fileName)
                                   : CheckRefused(saver, folder_ / saver.fileName, report::kPermissionDenied, folder_);
                  return found;
              }),
              0) << "what the child found is above";
    for (const auto& [name, bytes] : folder_.State())
        EXPECT_TRUE(before.contains(name) && bytes == saved.at(name)) << name << ": new, or not exactly the new bytes";
}

// A private 1 MiB tmpfs with one page left: every save fails part-way and changes nothing.
TEST_F(SaverFaultsAsRoot, ADiskThatFillsUpPartWayLeavesTheOldFileAndNoPartialFile) {
    const int found = RunInChild([&] {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", folder_.path().c_str(), "tmpfs", 0, "size=1m,mode=0755") != 0)
            return std::string("skip");
        for (std::size_t i = 0; i < savers_.size(); i += 2)
            folder_.Put(savers_[i].fileName, "old " + savers_[i].name);
        struct statvfs disk {};
        const int filler = ::open((folder_ / "filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (::statvfs(folder_.path().c_str(), &disk) != 0 ||
            ::posix_fallocate(filler, 0, static_cast<off_t>(disk.f_bavail * disk.f_bsize) - 4096) != 0)
            return std::string("cannot fill the disk");
        std::string problems;
        for (const Saver& saver : savers_)
            problems += CheckRefused(saver, folder_ / saver.fileName, report::kDiskFull, folder_);
        return problems;
    });
    if (found == 77)
        GTEST_SKIP() << "no tmpfs mount here (needs root)";
    EXPECT_EQ(found, 0) << "what the child found is above";
}

} // namespace
