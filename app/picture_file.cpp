#include "app/picture_file.h"

#include "app/picture_completeness.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>
#include <QStringList>

namespace lumivert {

namespace {

OpenedPicture Failure(const QString& reason) { return {QImage(), reason}; }

QString CutShort() { return QStringLiteral("画像が壊れているか、途中で切れています。"); }

// libjpeg reports a file that ends early only as a warning, which Qt's JPEG reader logs and
// otherwise ignores (it fills the rest in grey). This listens to the log while it lives.
class JpegEndWatch {
public:
    JpegEndWatch() {
        ended_ = false;
        previous_ = qInstallMessageHandler(&JpegEndWatch::Listen);
    }
    ~JpegEndWatch() { qInstallMessageHandler(previous_); }
    JpegEndWatch(const JpegEndWatch&) = delete;
    JpegEndWatch& operator=(const JpegEndWatch&) = delete;

    bool ended() const { return ended_; }

private:
    static void Listen(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (context.category && qstrcmp(context.category, "qt.gui.imageio.jpeg") == 0 &&
            message.contains(QLatin1String("premature end"), Qt::CaseInsensitive))
            ended_ = true;
        else if (previous_)
            previous_(type, context, message);
    }

    static inline QtMessageHandler previous_ = nullptr;
    static inline bool ended_ = false;
};

QString TooLarge(QSize size) {
    return QStringLiteral("画像が大きすぎます（%1 × %2）。開ける大きさは 16384 × 16384 画素までです。")
        .arg(size.width())
        .arg(size.height());
}

bool IsTooLarge(QSize size) { return qint64{size.width()} * size.height() > kMaxPicturePixels; }

// What the bytes are when no reader takes them: a picture of a format without a reader,
// or no picture at all.
QString NoReaderFor(QIODevice& device) {
    const QMimeType type = QMimeDatabase().mimeTypeForData(&device);
    if (type.name().startsWith("image/"))
        return QStringLiteral("この形式（%1）の画像を読む機能がありません。").arg(type.comment());
    return QStringLiteral("画像ファイルではありません。");
}

// Alpha over white, channel by channel: c·a/255 + 255·(255 − a)/255, rounded.
QImage FlattenOntoWhite(const QImage& picture) {
    const QImage straight = picture.convertToFormat(QImage::Format_ARGB32);
    QImage flat(straight.size(), QImage::Format_RGB32);
    for (int y = 0; y < straight.height(); ++y) {
        const auto* source = reinterpret_cast<const QRgb*>(straight.constScanLine(y));
        auto* target = reinterpret_cast<QRgb*>(flat.scanLine(y));
        for (int x = 0; x < straight.width(); ++x) {
            const QRgb pixel = source[x];
            const int alpha = qAlpha(pixel);
            const auto over = [alpha](int channel) { return (channel * alpha + 255 * (255 - alpha) + 127) / 255; };
            target[x] = qRgb(over(qRed(pixel)), over(qGreen(pixel)), over(qBlue(pixel)));
        }
    }
    return flat;
}

} // namespace

OpenedPicture ReadPicture(QIODevice& device) {
    // The limit is the reader's (one setting for every reader of the process); a picture
    // whose decoded form would pass it is refused before any memory is taken.
    QImageReader::setAllocationLimit(kPictureMemoryLimitMb);
    QImageReader reader(&device);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        return Failure(NoReaderFor(device));
    const QSize declared = reader.size();
    if (declared.isValid() && IsTooLarge(declared))
        return Failure(TooLarge(declared));

    if (EndsEarly(device))
        return Failure(CutShort());

    QImage picture;
    const JpegEndWatch jpegEnd;
    if (!reader.read(&picture)) {
        switch (reader.error()) {
        case QImageReader::DeviceError:
            return Failure(QStringLiteral("ファイルを読み取れませんでした。"));
        case QImageReader::UnsupportedFormatError:
            return Failure(NoReaderFor(device));
        default:
            // The reader refuses a picture above its memory limit with no error of its own.
            if (declared.isValid() && qint64{declared.width()} * declared.height() * 8 > qint64{kPictureMemoryLimitMb} << 20)
                return Failure(TooLarge(declared));
            return Failure(CutShort());
        }
    }
    if (jpegEnd.ended())
        return Failure(CutShort());
    if (IsTooLarge(picture.size()))
        return Failure(TooLarge(picture.size()));
    if (picture.hasAlphaChannel())
        return {FlattenOntoWhite(picture), {}};
    return {picture.convertToFormat(QImage::Format_RGB32), {}};
}

OpenedPicture LoadPictureFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return Failure(QStringLiteral("ファイルがありません。"));
    if (info.isDir())
        return Failure(QStringLiteral("フォルダです。画像ファイルを選んでください。"));
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
