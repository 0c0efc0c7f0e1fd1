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

// The header of a 2000 × 1500 BMP without its pixels: cut short, unless the 36 MB the picture
// needs are more than the process may take (a child capped at its use plus 16 MB), told first.
TEST_F(PictureFile, APictureTheMemoryCannotHoldIsRefusedBeforeItIsDecoded) {
    if (lumivert::testing::kAddressSanitizer)
        GTEST_SKIP() << "an address-space limit fails no allocation under AddressSanitizer";
    QFile file(Path("memory.bmp"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromHex("424d765489000000000036000000280000" "00d0070000dc0500000100180000000000") +
               QByteArray(20, '\0'));
    file.close();
    ExpectRefused(Path("memory.bmp"), "途中で切れています");
    const int refused = test_support::ExitCodeInChild([this] {
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        rlimit cap{};
        ::getrlimit(RLIMIT_AS, &cap);
        cap.rlim_cur = static_cast<rlim_t>(pages * ::sysconf(_SC_PAGESIZE)) + (16 << 20);
        if (::setrlimit(RLIMIT_AS, &cap) != 0)
            return 2;
        const QString error = LoadPictureFile(Path("memory.bmp")).error;
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return error.contains("画像が大きすぎます（2000 × 1500）。") && error.contains("約 35 MB のメモリ") ? 0 : 1;
    });
    EXPECT_EQ(refused, 0);
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
