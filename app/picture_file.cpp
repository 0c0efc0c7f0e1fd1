#include "app/picture_file.h"

#include "app/picture_completeness.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>
#include <QStringList>

#include <algorithm>

namespace lumivert {

namespace {

OpenedPicture Failure(const QString& reason) { return {QImage(), reason}; }

QString CutShort() { return QStringLiteral("画像が壊れているか、途中で切れています。"); }

// Two failures the readers only log: libjpeg's warning that the file ends early (Qt's JPEG
// reader fills the rest in grey and reports success), and a reader's refusal of a picture
// above the memory limit (reported as a failed read like any other). This listens to the
// log while it lives.
class ReaderWarnings {
public:
    ReaderWarnings() {
        endedEarly_ = overLimit_ = false;
        previous_ = qInstallMessageHandler(&ReaderWarnings::Listen);
    }
    ~ReaderWarnings() { qInstallMessageHandler(previous_); }
    ReaderWarnings(const ReaderWarnings&) = delete;
    ReaderWarnings& operator=(const ReaderWarnings&) = delete;

    bool endedEarly() const { return endedEarly_; }
    bool overLimit() const { return overLimit_; }

private:
    static void Listen(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (context.category && qstrcmp(context.category, "qt.gui.imageio.jpeg") == 0 &&
            message.contains(QLatin1String("premature end"), Qt::CaseInsensitive))
            endedEarly_ = true;
        else if (message.contains(QLatin1String("exceeds the current allocation limit")))
            overLimit_ = true;
        else if (previous_)
            previous_(type, context, message);
    }

    static inline QtMessageHandler previous_ = nullptr;
    static inline bool endedEarly_ = false;
    static inline bool overLimit_ = false;
};

QString TooLarge(QSize size) {
    const QString limit = QStringLiteral("開ける大きさは 16384 × 16384 画素（%1 画素）までです。").arg(kMaxPicturePixels);
    if (!size.isValid())
        return QStringLiteral("画像が大きすぎます。") + limit;
    return QStringLiteral("画像が大きすぎます（%1 × %2）。").arg(size.width()).arg(size.height()) + limit;
}

qint64 PixelsOf(QSize size) { return qint64{size.width()} * size.height(); }

// What the bytes are when no reader takes them: a picture of a format without a reader,
// or no picture at all.
QString NoReaderFor(QIODevice& device) {
    device.seek(0); // the reader has looked at the start already
    const QMimeType type = QMimeDatabase().mimeTypeForData(&device);
    if (type.name().startsWith("image/"))
        return QStringLiteral("この形式（%1）の画像を読む機能がありません。").arg(type.comment());
    return QStringLiteral("画像ファイルではありません。");
}

// Alpha over white, channel by channel: c·a/255 + 255·(255 − a)/255, rounded. In place:
// a large picture is not copied once more.
void FlattenOntoWhite(QImage& picture) {
    picture.convertTo(QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y) {
        auto* pixels = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb pixel = pixels[x];
            const int alpha = qAlpha(pixel);
            const auto over = [alpha](int channel) { return (channel * alpha + 255 * (255 - alpha) + 127) / 255; };
            pixels[x] = qRgb(over(qRed(pixel)), over(qGreen(pixel)), over(qBlue(pixel)));
        }
    }
    picture.reinterpretAsFormat(QImage::Format_RGB32);
}

} // namespace

OpenedPicture ReadPicture(QIODevice& device, qint64 maxPixels) {
    // The reader's limit (one setting for every reader of the process) stops a format whose
    // header does not tell the size; a picture whose header does is refused before any
    // memory is taken.
    const qint64 memoryLimitMb = maxPixels * 8 >> 20;
    QImageReader::setAllocationLimit(static_cast<int>(std::max<qint64>(memoryLimitMb, 1)));
    QImageReader reader(&device);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        return Failure(NoReaderFor(device));
    const QSize declared = reader.size();
    if (declared.isValid() && PixelsOf(declared) > maxPixels)
        return Failure(TooLarge(declared));

    if (EndsEarly(device))
        return Failure(CutShort());

    QImage picture;
    const ReaderWarnings warnings;
    if (!reader.read(&picture)) {
        if (warnings.overLimit())
            return Failure(TooLarge(declared));
        switch (reader.error()) {
        case QImageReader::DeviceError:
            return Failure(QStringLiteral("ファイルを読み取れませんでした。"));
        case QImageReader::UnsupportedFormatError:
            return Failure(NoReaderFor(device));
        default:
            return Failure(CutShort());
        }
    }
    if (warnings.endedEarly() || picture.isNull()) // some readers report success with nothing read
        return Failure(CutShort());
    if (PixelsOf(picture.size()) > maxPixels)
        return Failure(TooLarge(picture.size()));
    if (picture.hasAlphaChannel())
        FlattenOntoWhite(picture);
    else
        picture.convertTo(QImage::Format_RGB32);
    return {picture, {}};
}

OpenedPicture LoadPictureFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return Failure(QStringLiteral("ファイルがありません。"));
    if (info.isDir())
        return Failure(QStringLiteral("フォルダです。画像ファイルを選んでください。"));
    if (!info.isFile()) // a pipe or a device: opening one may wait for ever
        return Failure(QStringLiteral("画像ファイルではありません（通常のファイルではありません）。"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure(QStringLiteral("ファイルを読み取れませんでした（%1）。").arg(file.errorString()));
    if (file.size() == 0)
        return Failure(QStringLiteral("空のファイルです（0 バイト）。"));
    return ReadPicture(file);
}

QString ReadablePicturesFilter() {
    QStringList patterns;
    for (const QByteArray& suffix : QImageReader::supportedImageFormats())
        patterns << "*." + QString::fromLatin1(suffix);
    return QStringLiteral("画像 (%1);;すべてのファイル (*)").arg(patterns.join(' '));
}

} // namespace lumivert
