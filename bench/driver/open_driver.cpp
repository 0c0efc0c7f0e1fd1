// lumivert_open_driver: opens a picture the way the window does, several times in one
// process, and prints the time of each opening, so that bench/compare can set the program's
// opening beside djpeg's and Pillow's decoding.
//
//   lumivert_open_driver PICTURE RUNS
//
// One opening is what happens between a picture's being named and the window's being ready
// to save it: the file read and decoded into the picture box's bitmap, the working memory of
// the saves made ready (on a thread of its own, while the display's reduced copy is drawn).
// The first run is that of a fresh program. Prints "run SECONDS CPU_SECONDS THREAD_SECONDS"
// per run (the processor time of the whole process, and of the thread that opens: the path
// a user waits for where another core prepares the memory), then "peak_bytes N" (VmHWM).

#include "app/picture_box.h"
#include "app/picture_file.h"
#include "os/memory_policy.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <sys/resource.h>

namespace {

// Of the whole process, or of the calling thread alone.
double ProcessorSeconds(int who = RUSAGE_SELF) {
    rusage usage{};
    ::getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long long PeakBytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long long kib = -1;
    while (status >> key)
        if (key == "VmHWM:" && status >> kib)
            return kib * 1024;
    return -1;
}

} // namespace

int main(int argc, char* argv[]) {
    os::RetainFreedMemory(); // as the program does
    if (argc != 3) {
        std::fprintf(stderr, "usage: lumivert_open_driver PICTURE RUNS\n");
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    os::MapLoadedCode();
    lumivert::PictureBox box(nullptr);
    box.resize(420, 345); // the window's picture box
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int runs = std::atoi(argv[2]);
    for (int run = 0; run < runs; ++run) {
        const double processorBefore = ProcessorSeconds();
        const double threadBefore = ProcessorSeconds(RUSAGE_THREAD);
        const auto start = std::chrono::steady_clock::now();
        lumivert::OpenedPicture opened = lumivert::LoadPictureFile(path);
        if (!opened.picture || !box.UsePersistentPicture(std::move(opened.picture))) {
            std::fprintf(stderr, "%s: %s\n", argv[1], opened.error.toUtf8().constData());
            return 1;
        }
        box.Refresh();
        box.hDC(); // waits for the working memory: ready to save
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        std::printf("run %.6f %.6f %.6f\n", elapsed.count(), ProcessorSeconds() - processorBefore,
                    ProcessorSeconds(RUSAGE_THREAD) - threadBefore);
    }
    std::printf("peak_bytes %lld\n", PeakBytes());
    return 0;
}
