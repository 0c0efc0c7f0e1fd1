// Opening the user's picture: every format, orientation and kind compared pixel by pixel
// with an independent decoder (Pillow; ImageMagick writes the 16-bit files), and each kind
// of bad input with its reason.

#include "app/picture_file.h"
#include "tests/app/loaded_window.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

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
    static QByteArray Bytes(const QString& name) {
        QFile file(Path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static void ExpectRefused(const QString& path, const QString& reason) {
        const OpenedPicture opened = LoadPictureFile(path);
        EXPECT_TRUE(opened.image.isNull()) << path.toStdString();
        EXPECT_TRUE(opened.error.contains(reason)) << path.toStdString() << ": " << opened.error.toStdString();
    }

    static inline QTemporaryDir* folder_ = nullptr;
};

TEST_F(PictureFile, EveryFormatOrientationAndKindAsAnIndependentDecoderSeesIt) {
    QFile manifest(Path("manifest.txt"));
    ASSERT_TRUE(manifest.open(QIODevice::ReadOnly));
    QTextStream lines(&manifest);
    int pictures = 0;
    while (!lines.atEnd()) {
        const QStringList fields = lines.readLine().split(' ');
        ASSERT_EQ(fields.size(), 4);
        const QString name = fields[0];
        const int width = fields[1].toInt(), height = fields[2].toInt(), tolerance = fields[3].toInt();
        const OpenedPicture opened = LoadPictureFile(Path(name));
        ASSERT_TRUE(opened.error.isEmpty()) << name.toStdString() << ": " << opened.error.toStdString();
        ASSERT_EQ(opened.image.format(), QImage::Format_RGB32) << name.toStdString();
        ASSERT_EQ(opened.image.size(), QSize(width, height)) << name.toStdString();
        const QByteArray expected = Bytes(name + ".rgb");
        ASSERT_EQ(expected.size(), width * height * 3);
        int worst = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const QRgb pixel = opened.image.pixel(x, y);
                const auto* want = reinterpret_cast<const unsigned char*>(expected.constData()) + (y * width + x) * 3;
                worst = std::max({worst, std::abs(qRed(pixel) - want[0]), std::abs(qGreen(pixel) - want[1]),
                                  std::abs(qBlue(pixel) - want[2])});
            }
        EXPECT_LE(worst, tolerance) << name.toStdString();
        ++pictures;
    }
    EXPECT_EQ(pictures, 20);
}

TEST_F(PictureFile, BadInputIsRefusedWithItsReason) {
    QFile list(Path("refused.txt"));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(list.readAll()).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), 11);
    for (const QString& line : lines)
        ExpectRefused(Path(line.section('|', 0, 0)), line.section('|', 1));
    ExpectRefused(folder_->path(), "フォルダです");
    ExpectRefused(Path("missing.png"), "ファイルがありません");
    ExpectRefused("/dev/zero", "通常のファイルではありません");
}

TEST_F(PictureFile, UnreadableFileIsRefusedWithItsReason) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads any file: an unreadable file needs another user";
    const QString locked = Path("locked.png");
    ASSERT_TRUE(QFile::copy(Path("rgb.png"), locked));
    QFile::setPermissions(locked, QFileDevice::WriteOwner);
    ExpectRefused(locked, "読み取れませんでした");
}

} // namespace
} // namespace lumivert
