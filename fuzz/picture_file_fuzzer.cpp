// The loading of the user's picture, on any bytes: every reader Qt offers, the checks for
// files cut short, the conversion to the program's picture. Besides not crashing, a
// success must be a picture of the program's format within the size limit, and a failure
// must say why.

#include "app/picture_file.h"

#include <QBuffer>
#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Smaller than a user's limit: the fuzzer's memory is counted by libFuzzer.
constexpr qint64 kFuzzMaxPixels = qint64{2048} * 2048;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QGuiApplication application(*argc, *argv); // the image readers are plugins
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    const lumivert::OpenedPicture opened = lumivert::ReadPicture(device, kFuzzMaxPixels);
    if (!opened.picture) {
        if (opened.error.isEmpty())
            std::abort(); // a failure without a reason
    } else if (!opened.error.isEmpty() || !opened.picture->valid() ||
               qint64{opened.picture->width()} * opened.picture->height() > kFuzzMaxPixels) {
        std::abort();
    }
    return 0;
}
