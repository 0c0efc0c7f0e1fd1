// Every picture kind opened as an independent decoder sees it; bad input with its reason.

#include "app/picture_file.h"
#include "tests/app/loaded_window.h"

#include <QProcess>

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
    static QStringList Lines(const QString& name) {
        QFile file(Path(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)
                                              : QStringList();
    }
    static void ExpectRefused(const QString& path, const QString& reason) {
        const OpenedPicture opened = LoadPictureFile(path);
        EXPECT_TRUE(opened.image.isNull()) << path.toStdString();
        EXPECT_TRUE(opened.error.contains(reason)) << path.toStdString() << ": " << opened.error.toStdString();
    }

    static inline QTemporaryDir* folder_ = nullptr;
};

TEST_F(PictureFile, EveryFormatOrientationAndKindAsAnIndependentDecoderSeesIt) {
    const QStringList manifest = Lines("manifest.txt");
    EXPECT_EQ(manifest.size(), 20);
    for (const QString& line : manifest) {
        const QStringList fields = line.split(' ');
        const QString name = fields[0];
        const int width = fields[1].toInt(), height = fields[2].toInt(), tolerance = fields[3].toInt();
        const OpenedPicture opened = LoadPictureFile(Path(name));
        ASSERT_TRUE(opened.error.isEmpty()) << name.toStdString() << ": " << opened.error.toStdString();
        ASSERT_EQ(opened.image.format(), QImage::Format_RGB32) << name.toStdString();
        ASSERT_EQ(opened.image.size(), QSize(width, height)) << name.toStdString();
        QFile file(Path(name + ".rgb"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray expected = file.readAll();
        int worst = 0;
        for (int i = 0; i < width * height; ++i) {
            const QRgb pixel = opened.image.pixel(i % width, i / width);
            for (int channel = 0; channel < 3; ++channel)
                worst = std::max(worst, std::abs(static_cast<int>(pixel >> (16 - 8 * channel) & 0xFF) -
                                                 static_cast<unsigned char>(expected.at(i * 3 + channel))));
        }
        EXPECT_LE(worst, tolerance) << name.toStdString();
    }
}

TEST_F(PictureFile, BadInputIsRefusedWithItsReason) {
    const QStringList refused = Lines("refused.txt");
    EXPECT_EQ(refused.size(), 11);
    for (const QString& line : refused)
        ExpectRefused(Path(line.section('|', 0, 0)), line.section('|', 1));
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
