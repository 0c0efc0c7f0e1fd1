#pragma once

// What the save-command and comparison tests share: the window in the test's own program
// folder (the one the saves write to), and a written file as independent decoders see it.

#include "app/mdl_common.h"
#include "tests/app/loaded_window.h"
#include "tests/support/independent_decoders.h"
#include "tests/support/pictures.h"
#include "tests/support/scratch_folder.h"

#include <QDir>

#include <string>
#include <vector>

namespace lumivert::testing {

// The pixels of a written file, 0xAARRGGBB (a transparent GIF pixel with alpha 0), and its
// width; empty when unreadable. A 32-bit BMP is read by the strict reader of the file layout,
// the other depths by Qt's.
inline std::vector<std::uint32_t> DecodedArgb(const std::string& path, int& width) {
    std::vector<std::uint32_t> argb;
    width = 0;
    const std::vector<std::uint8_t> bmp = path.ends_with(".bmp") ? test_pictures::ReadFileBytes(path) : std::vector<std::uint8_t>{};
    if (bmp.size() > 28 && bmp[28] == 32) {
        const test_pictures::Picture picture = test_pictures::Decode32BitBmp(bmp);
        width = picture.width;
        for (const test_pictures::Color c : picture.pixels)
            argb.push_back(qRgb(c.red, c.green, c.blue));
    } else if (!bmp.empty()) {
        const QImage image = QImage(QString::fromStdString(path), "BMP").convertToFormat(QImage::Format_ARGB32);
        width = image.width();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                argb.push_back(image.pixel(x, y));
    } else if (const auto png = path.ends_with(".png") ? decoders::ReadPng(path) : std::nullopt) {
        width = png->width, argb = png->argb;
    } else if (const auto gif = path.ends_with(".gif") ? decoders::ReadGif(path) : std::nullopt) {
        width = gif->width;
        for (const std::uint8_t index : gif->indexes)
            argb.push_back(index == gif->transparentIndex ? 0u : 0xFF000000u | gif->palette.at(index));
    } else if (const auto jpeg = path.ends_with(".jpg") ? decoders::ReadJpeg(path) : std::nullopt) {
        width = jpeg->width;
        for (const std::uint32_t rgb : jpeg->rgb)
            argb.push_back(0xFF000000u | rgb);
    }
    return argb;
}

// The loaded window of a test program run in a folder of its own (private_program_folder.cpp),
// with a browser that is ready at once and offers no page to fill.
class ProgramFolderWindow : public LoadedWindow {
protected:
    static void SetUpTestSuite() {
        test_support::WriteBytes(mdlCommon::GetAppFolder() + "test-browser", "#!/bin/sh\nexec sleep 5\n", 0755);
        qputenv("BROWSER", QByteArray::fromStdString(mdlCommon::GetAppFolder() + "test-browser"));
    }
    // Removes what an earlier case left there (entries matching leftovers), then loads the window.
    void SetUpRemoving(const QStringList& leftovers) {
        folder = QString::fromStdString(mdlCommon::GetAppFolder());
        ASSERT_TRUE(folder.startsWith(QDir::tempPath() + "/")) << "not in a folder of its own";
        for (const QString& name : QDir(folder).entryList(leftovers, QDir::AllEntries | QDir::NoDotAndDotDot))
            QFileInfo(folder + name).isDir() ? QDir(folder + name).removeRecursively() : QFile::remove(folder + name);
        LoadedWindow::SetUp();
        picture = HeldPicture(*window);
    }

    QString folder;
    QImage picture; // what the window holds
};

} // namespace lumivert::testing
