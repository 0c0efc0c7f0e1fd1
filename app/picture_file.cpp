#include "app/picture_file.h"

#include "app/picture_completeness.h"
#include "codecs/jpeg_decoder.h"
#include "os/memory_policy.h"
#include "os/rows_in_parts.h"
#include "win32/gdi32/surface.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLocale>
#include <QMimeDatabase>
#include <QStringList>

#include <algorithm>
#include <new>
#include <optional>
#include <span>
#include <utility>

namespace lumivert {

namespace {

OpenedPicture Failure(const QString& reason) { return {nullptr, reason}; }

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

QString Megabytes(std::size_t bytes) { return QLocale::c().toString(static_cast<qulonglong>((bytes + (1 << 20) - 1) >> 20)); }

// Why a picture of this size is not opened, before any memory is taken for it; empty when
// it may be.
QString SizeRefusal(QSize size, qint64 maxPixels) {
    if (PixelsOf(size) > maxPixels)
        return TooLarge(size);
    const std::size_t needed = os::MemoryToOpen(size.width(), size.height());
    const std::size_t available = os::AvailableMemory();
    if (needed <= available)
        return {};
    return QStringLiteral("画像が大きすぎます（%1 × %2）。開いて保存するには約 %3 MB のメモリが要りますが、"
                          "このコンピューターで使えるのは約 %4 MB です。")
        .arg(size.width())
        .arg(size.height())
        .arg(Megabytes(needed), Megabytes(available));
}

QString OutOfMemory() { return QStringLiteral("メモリが足りません。"); }

// Owns a bitmap until it is handed to the picture that keeps it.
class BitmapOwner {
public:
    explicit BitmapOwner(gdi32::HBITMAP bitmap) : bitmap_(bitmap) {}
    ~BitmapOwner() {
        if (bitmap_)
            gdi32::DeleteObject(bitmap_);
    }
    BitmapOwner(const BitmapOwner&) = delete;
    BitmapOwner& operator=(const BitmapOwner&) = delete;

    gdi32::HBITMAP get() const { return bitmap_; }
    // The picture box's picture, made of the bitmap once its pixels are written.
    OpenedPicture Open() {
        auto picture = std::make_unique<gdi32::PersistentPicture>(std::exchange(bitmap_, {}));
        if (!picture->valid())
            return Failure(QStringLiteral("画像を表示できませんでした。"));
        return {std::move(picture), {}};
    }

private:
    gdi32::HBITMAP bitmap_;
};

// What the bytes are when no reader takes them: a picture of a format without a reader,
// or no picture at all.
QString NoReaderFor(QIODevice& device) {
    device.seek(0); // the reader has looked at the start already
    const QMimeType type = QMimeDatabase().mimeTypeForData(&device);
    if (type.name().startsWith("image/"))
        return QStringLiteral("この形式（%1）の画像を読む機能がありません。").arg(type.comment());
    return QStringLiteral("画像ファイルではありません。");
}

// Alpha over white, channel by channel: c·a/255 + 255·(255 − a)/255, rounded.
std::uint32_t OverWhite(QRgb pixel) {
    const int alpha = qAlpha(pixel);
    const auto over = [alpha](int channel) { return (channel * alpha + 255 * (255 - alpha) + 127) / 255; };
    return static_cast<std::uint32_t>(over(qRed(pixel)) << 16 | over(qGreen(pixel)) << 8 | over(qBlue(pixel)));
}

// A picture a Qt reader decoded, as the picture box's bitmap: converted (in place where Qt
// can) to 32 bits, then each row written into the bitmap as it is kept (0x00RRGGBB, alpha
// laid over white). The decoded picture is let go here, before the working memory of the
// saves is made ready.
OpenedPicture IntoBitmap(QImage picture) {
    const bool alpha = picture.hasAlphaChannel();
    picture.convertTo(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (picture.isNull())
        return Failure(OutOfMemory());
    BitmapOwner bitmap(gdi32::CreateBitmapToFill(picture.width(), picture.height()));
    const auto view = gdi32::ViewBitmap(bitmap.get());
    if (!view)
        return Failure(QStringLiteral("画像を表示できませんでした。"));
    const QImage& source = picture;
    os::ForRowsInParts(static_cast<std::size_t>(view->height), static_cast<std::size_t>(view->width),
                       [&](std::size_t first, std::size_t end) {
                           for (std::size_t row = first; row < end; ++row) {
                               const auto* from = reinterpret_cast<const QRgb*>(source.constScanLine(static_cast<int>(row)));
                               std::uint32_t* to = view->Row(static_cast<std::int32_t>(row));
                               for (std::int32_t x = 0; x < view->width; ++x)
                                   to[x] = alpha ? OverWhite(from[x]) : from[x] & 0x00FFFFFFu;
                           }
                       });
    picture = QImage();
    return bitmap.Open();
}

// A JPEG the own decoder takes, decoded straight into the bitmap; nothing when it takes
// none (another colour space, a corrupt header), so that Qt's reader judges the file.
std::optional<OpenedPicture> ReadJpeg(QIODevice& device, QSize declared) {
    const qint64 at = device.pos(); // where the Qt reader goes on from, if it is asked
    device.seek(0);
    const QByteArray bytes = device.readAll();
    device.seek(at);
    const std::span file(reinterpret_cast<const std::byte*>(bytes.constData()), static_cast<std::size_t>(bytes.size()));
    codecs::INT width = 0, height = 0;
    if (!codecs::ProbeJpeg(file, width, height) || QSize(width, height) != declared)
        return std::nullopt; // the size checked is the size decoded
    BitmapOwner bitmap(gdi32::CreateBitmapToFill(width, height));
    const auto view = gdi32::ViewBitmap(bitmap.get());
    if (!view)
        return std::nullopt;
    switch (codecs::DecodeJpeg(file, width, height, view->first, view->rowStep)) {
    case codecs::JpegDecoding::Decoded:
        return bitmap.Open();
    case codecs::JpegDecoding::EndedEarly:
        return Failure(CutShort());
    case codecs::JpegDecoding::Failed:
        break;
    }
    return std::nullopt;
}

OpenedPicture ReadWithin(QIODevice& device, qint64 maxPixels) {
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
    if (declared.isValid())
        if (const QString refusal = SizeRefusal(declared, maxPixels); !refusal.isEmpty())
            return Failure(refusal);

    if (EndsEarly(device))
        return Failure(CutShort());
    // A photo is decoded straight into the picture; a turned one (EXIF orientation) is left
    // to Qt, which turns it.
    if (reader.format() == "jpeg" && reader.transformation() == QImageIOHandler::TransformationNone)
        if (std::optional<OpenedPicture> opened = ReadJpeg(device, declared))
            return std::move(*opened);

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
    if (const QString refusal = SizeRefusal(picture.size(), maxPixels); !refusal.isEmpty())
        return Failure(refusal);
    return IntoBitmap(std::move(picture));
}

} // namespace

OpenedPicture ReadPicture(QIODevice& device, qint64 maxPixels) {
    try {
        return ReadWithin(device, maxPixels);
    } catch (const std::bad_alloc&) {
        return Failure(OutOfMemory());
    }
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
