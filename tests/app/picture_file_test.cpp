// Every picture kind opened as an independent decoder sees it; bad input with its reason.

#include "app/picture_file.h"
#include "tests/app/loaded_window.h"
#include "tests/sanitized_build.h"
#include "tests/support/child_process.h"

#include <QProcess>

#include <cstdio>
#include <fstream>

#include <sys/resource.h>
#include <unistd.h>

namespace lumivert {
namespace {

class PictureFile : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testing::EnsureApplication();
        folder_ = new QTemporaryDir;
        QProcess python;
        python.start("/usr/bin/python3", {LUMIVERT_MAKE_PICTURES, folder_->path()});
        python.waitForFinished(120000);
        ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    }
    static void TearDownTestSuite() { delete folder_; }

    static QString Path(const QString& name) { return folder_->filePath(name); }
    static QByteArray Read(const QString& name) {
        QFile file(Path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static void ExpectRefused(const QString& path, const QString& reason) {
        const OpenedPicture opened = LoadPictureFile(path);
        EXPECT_FALSE(opened.picture) << path.toStdString();
        EXPECT_TRUE(opened.error.contains(reason)) << path.toStdString() << ": " << opened.error.toStdString();
    }

    static inline QTemporaryDir* folder_ = nullptr;
};

TEST_F(PictureFile, EveryFormatOrientationAndKindAsAnIndependentDecoderSeesIt) {
    const QList<QByteArray> manifest = Read("manifest.txt").trimmed().split('\n');
    EXPECT_EQ(manifest.size(), 20);
    for (const QByteArray& line : manifest) {
        const QList<QByteArray> fields = line.split(' ');
        const QString name = fields[0];
        const int width = fields[1].toInt(), height = fields[2].toInt(), tolerance = fields[3].toInt();
        const OpenedPicture opened = LoadPictureFile(Path(name));
        ASSERT_TRUE(opened.error.isEmpty() && opened.picture) << line.toStdString() << ": " << opened.error.toStdString();
        const auto pixels = gdi32::SnapshotBitmap(opened.picture->hBitmap());
        ASSERT_TRUE(pixels && pixels->width == width && pixels->height == height) << line.toStdString();
        const QByteArray expected = Read(name + ".rgb");
        int worst = 0;
        for (int i = 0; i < width * height * 3; ++i) {
            const std::uint32_t pixel = pixels->Row(i / 3 / width)[i / 3 % width];
            ASSERT_EQ(pixel >> 24, 0u) << line.toStdString() << ": the fourth byte of a pixel is 0";
            worst = std::max(worst, std::abs(int(pixel >> (16 - 8 * (i % 3)) & 0xFF) - static_cast<unsigned char>(expected.at(i))));
        }
        EXPECT_LE(worst, tolerance) << line.toStdString();
    }
}

TEST_F(PictureFile, BadInputIsRefusedWithItsReason) {
    const QList<QByteArray> refused = Read("refused.txt").trimmed().split('\n');
    EXPECT_EQ(refused.size(), 11);
    for (const QByteArray& line : refused)
        ExpectRefused(Path(QString(line).section('|', 0, 0)), QString(line).section('|', 1));
    ExpectRefused(folder_->path(), "フォルダです");
    ExpectRefused(Path("missing.png"), "ファイルがありません");
    ExpectRefused("/dev/zero", "通常のファイルではありません");
}

TEST_F(PictureFile, UnreadableFileIsRefusedWithItsReason) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads any file: an unreadable file needs another user";
    ASSERT_TRUE(QFile::copy(Path("rgb.png"), Path("locked.png")));
    QFile::setPermissions(Path("locked.png"), QFileDevice::WriteOwner);
    ExpectRefused(Path("locked.png"), "読み取れませんでした");
}

} // namespace
} // namespace lumivert
