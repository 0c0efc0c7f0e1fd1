// lumivert_save_driver: runs one of Lumivert's savers on a picture several times in one
// process and prints the time of each run, so that a comparison with other tools measures
// the save alone (no process start-up, no picture loading).
//
//   lumivert_save_driver [--unprepared] PICTURE.bmp SAVER OUTPUT RUNS
//
// PICTURE "sample" is the sample picture compiled into the program. The working memory of
// the saves is prepared after loading, as the program does; --unprepared leaves that out,
// so that the peak memory tells what a save itself allocates.
// Prints one line "run SECONDS CPU_SECONDS FAULTS" per run (the processor time, which a busy
// machine disturbs less than the wall-clock time; the page faults, the price of touching
// fresh memory), then "peak_extra_bytes N": how far the process's
// resident memory rose above what it held before the first save (the loaded picture, its
// copy in the picture box and the working memory prepared for it), measured with the kernel's peak-RSS reset.
//
// SAVER is one of the names listed by --list. "write-bytes:FILE" writes the bytes of FILE
// over OUTPUT with open, write and close: the physical limit of a save of those bytes;
// "write-new:FILE" writes them into a new file, without the cost of replacing one.

#include "assets/sample_picture.h"
#include "bitmap/bmp_writer.h"
#include "bitmap/effect_engine.h"
#include "imaging/mdl_gdiplus.h"
#include "win32/gdi32/persistent_picture.h"
#include "os/memory_policy.h"
#include "report/raised_error.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Saver = std::function<void(const gdi32::PersistentPicture&, const std::string& path)>;

// What the program's save front does around one imaging request: start, save, shut down.
Saver GdiplusSave(std::int32_t formatDigit, std::int32_t optionValue) {
    return [=](const gdi32::PersistentPicture& picture, const std::string& path) {
        if (!mdlGdiplus::StartupGdiplus())
            throw std::runtime_error("the imaging layer did not start");
        const bool saved = mdlGdiplus::SaveImageByGdiplus(picture.hBitmap(), path, formatDigit, optionValue);
        mdlGdiplus::ShutdownGdiplus();
        if (!saved)
            throw std::runtime_error("the imaging layer did not write " + path);
    };
}

Saver BmpSave(std::int32_t depth) {
    return [=](const gdi32::PersistentPicture& picture, const std::string& path) {
        mdlBitmap::SaveBmpFile(picture.hDC(), path, depth);
    };
}

constexpr std::int32_t kDibEngine = 0;
constexpr std::int32_t kPixelsEngine = -1;

Saver EffectSave(std::int32_t effect, std::int32_t engine) {
    return [=](const gdi32::PersistentPicture& picture, const std::string& path) {
        mdlBitmap::SaveEffectBmp(picture.hDC(), path, effect, engine);
    };
}

const std::map<std::string, Saver>& Savers() {
    static const std::map<std::string, Saver> savers = {
        {"bmp1", BmpSave(1)},
        {"bmp4", BmpSave(4)},
        {"bmp8", BmpSave(8)},
        {"bmp32", BmpSave(32)},
        {"png", GdiplusSave(mdlGdiplus::FormatPng, mdlGdiplus::OptionNone)},
        {"png-key", GdiplusSave(mdlGdiplus::FormatPng, 0x000000)}, // black, the window's first choice
        {"gif-own", GdiplusSave(mdlGdiplus::FormatGif, mdlGdiplus::OptionNone)},
        {"gif-own-key", GdiplusSave(mdlGdiplus::FormatGif, 0x000000)},
        {"gif-encoder", GdiplusSave(mdlGdiplus::FormatGif, mdlGdiplus::OptionGifByEncoder)},
        {"jpeg100", GdiplusSave(mdlGdiplus::FormatJpeg, 100)},
        {"jpeg75", GdiplusSave(mdlGdiplus::FormatJpeg, 75)},
        {"grey", EffectSave(1, kDibEngine)},
        {"sepia", EffectSave(8, kDibEngine)},
        {"negate", EffectSave(9, kDibEngine)},
        {"emboss", EffectSave(10, kDibEngine)},
        {"grey-pixels", EffectSave(1, kPixelsEngine)},
    };
    return savers;
}

// A file's bytes mapped read-only: gone from the process once the object is, unlike freed
// heap memory, so loading the picture leaves nothing behind that a save could reuse.
class MappedFile {
public:
    explicit MappedFile(const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat status {};
        if (fd < 0 || ::fstat(fd, &status) != 0 || status.st_size == 0) {
            if (fd >= 0)
                ::close(fd);
            throw std::runtime_error("cannot read " + path);
        }
        size_ = static_cast<std::size_t>(status.st_size);
        data_ = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
        ::close(fd);
        if (data_ == MAP_FAILED)
            throw std::runtime_error("cannot map " + path);
    }
    ~MappedFile() { ::munmap(data_, size_); }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::span<const std::byte> bytes() const { return {static_cast<const std::byte*>(data_), size_}; }

private:
    void* data_ = nullptr;
    std::size_t size_ = 0;
};

// The plainest way to put bytes into a file: open, write, close. openFlags decide between
// rewriting the file of that name (O_TRUNC, as most programs save) and making a new one
// (O_EXCL; main removes the old one before each run, untimed).
Saver WriteBytes(const std::string& sourcePath, int openFlags) {
    const MappedFile source(sourcePath);
    auto bytes = std::make_shared<const std::vector<std::byte>>(source.bytes().begin(), source.bytes().end());
    return [bytes, openFlags](const gdi32::PersistentPicture&, const std::string& path) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | openFlags, 0666);
        if (fd < 0)
            throw std::runtime_error("cannot open " + path);
        const std::byte* data = bytes->data();
        std::size_t left = bytes->size();
        while (left > 0) {
            const ssize_t written = ::write(fd, data, left);
            if (written <= 0) {
                ::close(fd);
                throw std::runtime_error("cannot write " + path);
            }
            data += written;
            left -= static_cast<std::size_t>(written);
        }
        if (::close(fd) != 0)
            throw std::runtime_error("cannot close " + path);
    };
}

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM"); -1 when it cannot be read.
long long StatusBytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string name;
    long long kib = 0;
    std::string unit;
    while (status >> name) {
        if (name == field + ":" && status >> kib >> unit)
            return kib * 1024;
        status.ignore(1 << 16, '\n');
    }
    return -1;
}

// Lowers the recorded peak to the present resident size, so that the peak read after the
// saves belongs to them alone.
bool ResetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

struct ProcessCost {
    double cpuSeconds;
    long faults;
};

ProcessCost ProcessUsage() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return {seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_minflt};
}

int Usage() {
    std::fprintf(stderr, "usage: lumivert_save_driver [--unprepared] PICTURE.bmp SAVER OUTPUT RUNS\n"
                         "       lumivert_save_driver --list\n"
                         "SAVER: a name from --list, write-bytes:FILE or write-new:FILE\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    os::RetainFreedMemory(); // as the program does at start-up
    os::MapLoadedCode();
    if (argc == 2 && std::string(argv[1]) == "--list") {
        for (const auto& [name, saver] : Savers())
            std::printf("%s\n", name.c_str());
        return 0;
    }
    const bool prepare = !(argc > 1 && std::string(argv[1]) == "--unprepared");
    if (!prepare) {
        --argc;
        ++argv;
    }
    if (argc != 5)
        return Usage();
    const std::string picturePath = argv[1];
    const std::string saverName = argv[2];
    const std::string output = argv[3];
    const int runs = std::atoi(argv[4]);
    if (runs < 1)
        return Usage();

    try {
        Saver saver;
        const std::string rewrite = "write-bytes:";
        const std::string fresh = "write-new:";
        const bool freshFile = saverName.starts_with(fresh);
        if (saverName.starts_with(rewrite)) {
            saver = WriteBytes(saverName.substr(rewrite.size()), O_TRUNC);
        } else if (freshFile) {
            saver = WriteBytes(saverName.substr(fresh.size()), O_EXCL);
        } else if (const auto found = Savers().find(saverName); found != Savers().end()) {
            saver = found->second;
        } else {
            std::fprintf(stderr, "unknown saver %s\n", saverName.c_str());
            return Usage();
        }

        // Writing bytes needs no picture: the small sample stands in, so that a turn of the
        // physical limit does not pay for loading a large one.
        const bool needsPicture = !freshFile && !saverName.starts_with(rewrite);
        std::optional<MappedFile> file;
        if (picturePath != "sample" && needsPicture)
            file.emplace(picturePath);
        const gdi32::PersistentPicture picture(file ? file->bytes() : lumivert::assets::SamplePictureFile());
        file.reset();
        if (!picture.valid())
            throw std::runtime_error(picturePath + " is not a picture the program can load");
        // As the picture box does when it loads a picture (a saver that needs no picture
        // has none to prepare for).
        if (needsPicture && prepare)
            os::PrepareWorkingMemory(os::WorkingMemoryFor(picture.width(), picture.height()));

        const bool peakReset = ResetPeakMemory();
        const long long residentBefore = StatusBytes("VmRSS");
        for (int run = 0; run < runs; ++run) {
            if (freshFile)
                ::unlink(output.c_str());
            const ProcessCost before = ProcessUsage();
            const auto start = std::chrono::steady_clock::now();
            saver(picture, output);
            const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
            const ProcessCost after = ProcessUsage();
            std::printf("run %.9f %.6f %ld\n", elapsed.count(), after.cpuSeconds - before.cpuSeconds,
                        after.faults - before.faults);
        }
        const long long peak = StatusBytes("VmHWM");
        std::printf("peak_extra_bytes %lld\n",
                    peakReset && residentBefore >= 0 && peak >= 0 ? peak - residentBefore : -1LL);
        std::printf("picture %d %d\n", picture.width(), picture.height());
    } catch (const report::RaisedError& error) {
        std::fprintf(stderr, "error %d: %s\n", error.number(), error.what());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
