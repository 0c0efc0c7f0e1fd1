#include "app/picture_box.h"

#include "win32/gdi32/surface.h"
#include "os/memory_policy.h"
#include "os/rows_in_parts.h"

#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace lumivert {

namespace {

// A copy of a bitmap's pixels. The gdi layer stores 0x00RRGGBB; QImage's RGB32 wants
// 0xFFRRGGBB, and a zero top byte would make the picture transparent on a target that
// keeps alpha.
QImage CopyOfBitmap(gdi32::HBITMAP bitmap) {
    const auto view = gdi32::SnapshotBitmap(bitmap); // read only: a shared picture stays shared
    if (!view)
        return {};
    QImage image(view->width, view->height, QImage::Format_RGB32);
    for (std::int32_t y = 0; y < view->height; ++y) {
        const std::uint32_t* source = view->Row(y);
        auto* target = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        for (std::int32_t x = 0; x < view->width; ++x)
            target[x] = source[x] | 0xFF000000u;
    }
    return image;
}

// Four pixels at once: GCC and Clang turn the operations on this type into vector ones,
// which the compiler's -O2 would not do by itself for the loops below.
using FourPixels = std::uint32_t __attribute__((vector_size(16)));

// Adds each channel of the row's pixels to its column's sums: red, green and blue apart.
void AddChannels(const std::uint32_t* source, std::size_t count, std::uint32_t* red, std::uint32_t* green,
                 std::uint32_t* blue) {
    std::size_t c = 0;
    for (; c + 4 <= count; c += 4) {
        FourPixels pixels, r, g, b;
        std::memcpy(&pixels, source + c, sizeof pixels); // the rows need not be aligned
        std::memcpy(&r, red + c, sizeof r);
        std::memcpy(&g, green + c, sizeof g);
        std::memcpy(&b, blue + c, sizeof b);
        r += (pixels >> 16) & 0xFF;
        g += (pixels >> 8) & 0xFF;
        b += pixels & 0xFF;
        std::memcpy(red + c, &r, sizeof r);
        std::memcpy(green + c, &g, sizeof g);
        std::memcpy(blue + c, &b, sizeof b);
    }
    for (; c < count; ++c) {
        red[c] += (source[c] >> 16) & 0xFF;
        green[c] += (source[c] >> 8) & 0xFF;
        blue[c] += source[c] & 0xFF;
    }
}

// A bitmap larger than fit reduced for the display: each pixel the average of a block of
// blocks × blocks, the largest block that leaves the result at least as large as fit. The
// full-size copy a smooth scaling would start from would take as much memory again as the
// picture itself.
QImage ReducedCopyOfBitmap(gdi32::HBITMAP bitmap, QSize fit) {
    const auto view = gdi32::SnapshotBitmap(bitmap);
    if (!view)
        return {};
    const int blocks = std::max(1, std::min(view->width / std::max(fit.width(), 1), view->height / std::max(fit.height(), 1)));
    if (blocks == 1)
        return CopyOfBitmap(bitmap);
    QImage image(view->width / blocks, view->height / blocks, QImage::Format_RGB32);
    const std::uint32_t count = static_cast<std::uint32_t>(blocks * blocks);
    // Each possible sum of a block's channel, rounded to the average: a look-up instead of a
    // division a channel, which would take longer than all the adding.
    std::vector<std::uint8_t> average(255 * count + 1);
    for (std::uint32_t sum = 0; sum < average.size(); ++sum)
        average[sum] = static_cast<std::uint8_t>((sum + count / 2) / count);
    uchar* const bits = image.bits(); // once, before the threads: bits() may detach
    const auto rowBytes = static_cast<std::size_t>(image.bytesPerLine());
    const int width = image.width();
    const auto columns = static_cast<std::size_t>(width) * static_cast<std::size_t>(blocks);
    // Each part of the rows on a processor of its own: the pass reads the whole picture.
    const std::vector<os::RowRange> parts = os::SplitRows(static_cast<std::size_t>(image.height()), columns);
    os::RunParts(parts, [&](std::size_t, os::RowRange range) {
        // Each source column's sums over a block's rows first, then the blocks' columns.
        std::vector<std::uint32_t> sums(columns * 3);
        std::uint32_t* const red = sums.data();
        std::uint32_t* const green = red + columns;
        std::uint32_t* const blue = green + columns;
        for (int y = static_cast<int>(range.first); y < static_cast<int>(range.end); ++y) {
            std::fill(sums.begin(), sums.end(), 0u);
            for (int row = y * blocks; row < (y + 1) * blocks; ++row)
                AddChannels(view->Row(row), columns, red, green, blue);
            auto* target = reinterpret_cast<std::uint32_t*>(bits + rowBytes * static_cast<std::size_t>(y));
            for (int x = 0; x < width; ++x) {
                std::uint32_t r = 0, g = 0, b = 0;
                for (std::size_t c = static_cast<std::size_t>(x) * blocks, end = c + blocks; c < end; ++c) {
                    r += red[c];
                    g += green[c];
                    b += blue[c];
                }
                target[x] = qRgb(average[r], average[g], average[b]);
            }
        }
    });
    return image;
}

} // namespace

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) { setObjectName("picTarget"); }

PictureBox::~PictureBox() = default;

bool PictureBox::UsePersistentPicture(std::span<const std::byte> bmpFile) {
    return UsePersistentPicture(std::make_unique<gdi32::PersistentPicture>(gdi32::LoadBitmapFromBmp(bmpFile)));
}

bool PictureBox::UsePersistentPicture(std::unique_ptr<gdi32::PersistentPicture> picture) {
    if (!picture || !picture->valid())
        return false;
    picture_ = std::move(picture);
    // The saves' buffers are backed now, while the picture is shown, so that no save of this
    // picture (the first one included) pays for fresh memory. A save is handed that memory
    // when it reaches the picture, through hDC() and Picture().
    preparation_.Prepare(os::WorkingMemoryFor(picture_->width(), picture_->height()));
    return true;
}

void PictureBox::RenewWorkingMemory() {
    preparation_.Prepare(picture_ ? os::WorkingMemoryFor(picture_->width(), picture_->height()) : 0);
}

void PictureBox::ReleaseWorkingMemory() {
    preparation_.Release();
}

void PictureBox::Refresh() {
    ShowAtScale(devicePixelRatioF());
    // The shown copy it replaced, and what making the new one took, would stay resident.
    preparation_.GiveBackOtherFreeMemory();
    update();
}

// A picture larger than the box is reduced to the box's size in device pixels and drawn at
// that scale: a copy made at the box's logical size would be enlarged again, and blurred, on
// a screen of scale 2. A smaller one keeps its pixels one logical pixel each, enlarged on
// such a screen without smoothing, as Qt draws an image of scale 1.
void PictureBox::ShowAtScale(qreal scale) {
    shownScale_ = scale;
    shown_ = {};
    if (!picture_)
        return;
    const gdi32::HBITMAP bitmap = gdi32::GetCurrentObject(picture_->hDC(), gdi32::OBJ_BITMAP);
    if (picture_->width() <= width() && picture_->height() <= height()) {
        shown_ = CopyOfBitmap(bitmap);
        return;
    }
    const QSize fit = (QSizeF(size()) * scale).toSize();
    shown_ = ReducedCopyOfBitmap(bitmap, fit);
    if (shown_.size() != shown_.size().scaled(fit, Qt::KeepAspectRatio))
        shown_ = shown_.scaled(fit, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    shown_.setDevicePixelRatio(scale);
}

gdi32::HDC PictureBox::hDC() const {
    preparation_.Release();
    return picture_ ? picture_->hDC() : gdi32::HDC{};
}

gdi32::HBITMAP PictureBox::Picture() const {
    preparation_.Release();
    return picture_ ? picture_->hBitmap() : gdi32::HBITMAP{};
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Device pixels per logical pixel of what is painted on: the screen's back buffer, or a
    // picture the window is grabbed into. The window may have moved to a screen of another
    // scale since the picture was prepared.
    const qreal scale = painter.deviceTransform().m11();
    if (scale > 0 && !qFuzzyCompare(scale, shownScale_))
        ShowAtScale(scale);
    if (!shown_.isNull())
        painter.drawImage(QPointF(0, 0), shown_);
}

} // namespace lumivert
