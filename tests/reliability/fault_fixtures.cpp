#include "tests/reliability/fault_fixtures.h"

#include "assets/sample_picture.h"
#include "bitmap/bmp_writer.h"
#include "bitmap/effect_engine.h"
#include "imaging/mdl_gdiplus.h"
#include "win32/gdi32/surface.h"
#include "ui/raised_error.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace reliability {

namespace {

SaveOutcome Trapped(const std::function<void()>& save) {
    try {
        save();
        return {true, 0, {}};
    } catch (const ui::RaisedError& error) {
        return {false, error.number(), error.description()};
    }
}

// One request in a session of its own: start-up, save, shut-down.
SaveOutcome InSession(gdi32::HBITMAP bitmap, const std::string& path, std::int32_t format, std::int32_t option) {
    if (!mdlGdiplus::StartupGdiplus())
        return {false, 0, "start-up failed"};
    const bool written = mdlGdiplus::SaveImageByGdiplus(bitmap, path, format, option);
    mdlGdiplus::ShutdownGdiplus();
    return {written, 0, {}};
}

// The first bytes of each kind of file the savers write.
std::string SignatureOf(const std::string& fileName) {
    if (fileName.ends_with(".bmp"))
        return "BM";
    if (fileName.ends_with(".png"))
        return "\x89PNG\r\n\x1a\n";
    if (fileName.ends_with(".gif"))
        return "GIF89a";
    return "\xFF\xD8\xFF";
}

} // namespace

SamplePictureBox::SamplePictureBox()
    : gdi32::PersistentPicture(lumivert::assets::SamplePictureFile()), liveHandles_(CountLiveHandles()) {}

std::size_t CountLiveHandles() { return gdi32::CountLiveObjects(); }

std::vector<Saver> AllSavers(const SamplePictureBox& picture) {
    std::vector<Saver> savers;
    const auto add = [&](std::string name, std::string fileName, std::function<SaveOutcome(const std::string&)> save) {
        savers.push_back({static_cast<int>(savers.size()), std::move(name), std::move(fileName), std::move(save)});
    };
    const gdi32::HDC dc = picture.hDC();
    for (const int depth : {1, 4, 8, 32})
        add("BMP " + std::to_string(depth) + " bits", "Sample" + std::to_string(depth) + ".bmp",
            [dc, depth](const std::string& path) {
                return Trapped([&] { mdlBitmap::SaveBmpFile(dc, path, depth); });
            });
    static const char* const kEffectTags[] = {"GrayScale", "Red",   "Blue",    "Green",  "Purple",     "Water",
                                              "Yellow",    "Sepia", "Reverse", "Emboss", "EmbossFalse"};
    for (int effect = 1; effect <= 11; ++effect)
        for (const int usePixels : {-1, 0}) {
            const std::string tag = kEffectTags[effect - 1];
            add("effect " + tag + (usePixels ? " (Pixels)" : " (DIBits)"), "Sample" + tag + ".bmp",
                [dc, effect, usePixels](const std::string& path) {
                    return Trapped([&] { mdlBitmap::SaveEffectBmp(dc, path, effect, usePixels); });
                });
        }
    const gdi32::HBITMAP bitmap = picture.hBitmap();
    const auto imaging = [&](std::string name, std::string fileName, std::int32_t format, std::int32_t option) {
        add(std::move(name), std::move(fileName), [bitmap, format, option](const std::string& path) {
            return InSession(bitmap, path, format, option);
        });
    };
    imaging("PNG", "Sample.png", mdlGdiplus::FormatPng, mdlGdiplus::OptionNone);
    imaging("PNG transparent red", "Sample.png", mdlGdiplus::FormatPng, 0x3300FF);
    imaging("GIF own palette", "Sample.gif", mdlGdiplus::FormatGif, mdlGdiplus::OptionNone);
    imaging("GIF own palette transparent white", "Sample.gif", mdlGdiplus::FormatGif, 0xFFFFFF);
    imaging("GIF by the encoder", "Sample.gif", mdlGdiplus::FormatGif, mdlGdiplus::OptionGifByEncoder);
    imaging("JPEG quality 100", "Sample.jpg", mdlGdiplus::FormatJpeg, 100);
    imaging("JPEG quality 50", "Sample.jpg", mdlGdiplus::FormatJpeg, 50);
    return savers;
}

std::string CheckRefused(const Saver& saver, const std::string& path, std::int32_t number, bool watchFolder) {
    const std::string folder = fs::path(path).parent_path().string();
    std::error_code error;
    watchFolder = watchFolder && fs::is_directory(folder, error);
    const FolderState before = watchFolder ? ScratchFolder(folder).State() : FolderState{};
    const std::string where = saver.name + " to " + path.substr(0, 120) + ": ";

    const SaveOutcome outcome = saver.save(path);
    if (outcome.written)
        return where + "saved, no error\n";
    std::string problems;
    const bool raises = saver.fileName.ends_with(".bmp"); // the imaging layer answers false
    if (raises && outcome.number != number)
        problems += where + "error " + std::to_string(outcome.number) + " (" + outcome.description + "), expected " +
                    std::to_string(number) + "\n";
    if (raises && outcome.description.find(path) == std::string::npos)
        problems += where + "the message does not name the path: " + outcome.description + "\n";
    if (watchFolder && ScratchFolder(folder).State() != before)
        problems += where + "the folder changed\n";
    return problems;
}

std::string CheckSaved(const Saver& saver, const std::string& path) {
    const SaveOutcome outcome = saver.save(path);
    if (!outcome.written)
        return saver.name + " to " + path + ": not saved (" + outcome.description + ")\n";
    const std::string signature = SignatureOf(saver.fileName);
    const std::string bytes = test_support::ReadBytes(path);
    if (bytes.size() < 64 || bytes.compare(0, signature.size(), signature) != 0)
        return saver.name + " to " + path + ": not a whole file of its kind\n";
    return {};
}

ChildReport RunInChild(const std::function<std::string()>& body) {
    int channel[2];
    if (::pipe(channel) != 0)
        return {false, "no pipe"};
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0)
        return {false, "no fork"};
    if (child == 0) {
        ::close(channel[0]);
        const std::string text = body();
        std::size_t sent = 0;
        while (sent < text.size()) {
            const ssize_t n = ::write(channel[1], text.data() + sent, text.size() - sent);
            if (n <= 0)
                break;
            sent += static_cast<std::size_t>(n);
        }
        std::_Exit(0);
    }
    ::close(channel[1]);
    ChildReport report;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(channel[0], buffer, sizeof buffer)) > 0)
        report.text.append(buffer, static_cast<std::size_t>(n));
    ::close(channel[0]);
    int status = 0;
    report.ran = ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return report;
}

bool BecomeNobody() {
    constexpr uid_t kNobody = 65534;
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 && ::geteuid() == kNobody;
}

bool MountTinyDisk(const std::string& folder, const std::string& size) {
    return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + size + ",mode=0755").c_str()) == 0;
}

bool FillDiskLeaving(const std::string& path, std::size_t room) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const std::string block(4096, 'f');
    std::size_t written = 0;
    ssize_t n = 0;
    while ((n = ::write(fd, block.data(), block.size())) > 0)
        written += static_cast<std::size_t>(n);
    const bool full = n < 0 && errno == ENOSPC;
    ::close(fd);
    return full && written >= room && ::truncate(path.c_str(), static_cast<off_t>(written - room)) == 0;
}

} // namespace reliability
