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
#include <QtEndian>

#include <gtest/gtest.h>

#include <unistd.h>
#include <zlib.h>

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
    static QString Write(const QString& name, const QByteArray& bytes) {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return Path(name);
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

// A PNG whose header declares width × height, with one row of data: enough for a reader to
// learn its size.
QByteArray PngDeclaring(quint32 width, quint32 height) {
    const auto chunk = [](const char* type, const QByteArray& data) {
        QByteArray out(4, '\0');
        qToBigEndian<quint32>(static_cast<quint32>(data.size()), out.data());
        const QByteArray body = QByteArray(type) + data;
        out += body;
        QByteArray crc(4, '\0');
        qToBigEndian<quint32>(static_cast<quint32>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                                         static_cast<uInt>(body.size()))),
                              crc.data());
        return out + crc;
    };
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(width, header.data());
    qToBigEndian<quint32>(height, header.data() + 4);
    header[8] = 8; // bits a channel
    header[9] = 2; // RGB
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", QByteArray::fromHex("789c030000000001")) +
           chunk("IEND", {});
}

TEST_F(PictureFile, BadInputIsRefusedWithItsReason) {
    for (const char* name : {"rgb.png", "rgb.bmp", "palette.gif", "orientation-1.jpg", "rgb.tiff", "rgba.webp"}) {
        const QByteArray whole = Bytes(name);
        ExpectRefused(Write(QString("cut-") + name, whole.left(whole.size() * 2 / 3)), "途中で切れています");
    }
    ExpectRefused(Write("empty.png", {}), "空のファイル");
    ExpectRefused(folder_->path(), "フォルダです");
    ExpectRefused(Path("missing.png"), "ファイルがありません");
    ExpectRefused("/dev/zero", "通常のファイルではありません");
    ExpectRefused(Write("notes.png", "not a picture at all\n"), "画像ファイルではありません");
    ExpectRefused(Write("drawing.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"9\" height=\"9\"/>\n"),
                  "読む機能がありません");
    ExpectRefused(Write("huge.png", PngDeclaring(16385, 16384)), "大きすぎます（16385 × 16384）");

    const OpenedPicture largest = LoadPictureFile(Write("largest.png", PngDeclaring(16384, 16384)));
    EXPECT_FALSE(largest.error.contains("大きすぎます")) << largest.error.toStdString(); // refused as cut short
}

TEST_F(PictureFile, UnreadableFileIsRefusedWithItsReason) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads any file: an unreadable file needs another user";
    const QString locked = Write("locked.png", Bytes("rgb.png"));
    QFile::setPermissions(locked, QFileDevice::WriteOwner);
    ExpectRefused(locked, "読み取れませんでした");
}

} // namespace
} // namespace lumivert
