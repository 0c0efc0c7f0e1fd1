#include "app/picture_box.h"

#include "win32/gdi32/surface.h"
#include "os/memory_policy.h"

#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace lumivert {

namespace {

// A copy of a bitmap's pixels. The gdi layer stores 0x00RRGGBB; QImage's RGB32 wants
// 0xFFRRGGBB, and a zero top byte would make the picture transparent on a target that
// keeps alpha.
QImage CopyOfBitmap(gdi32::HBITMAP bitmap) {
    const auto view = gdi32::ViewBitmap(bitmap);
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

// A bitmap larger than fit reduced for the display: each pixel the average of a block of
// blocks × blocks, the largest block that leaves the result at least as large as fit. The
// full-size copy a smooth scaling would start from would take as much memory again as the
// picture itself.
QImage ReducedCopyOfBitmap(gdi32::HBITMAP bitmap, QSize fit) {
    const auto view = gdi32::ViewBitmap(bitmap);
    if (!view)
        return {};
    const int blocks = std::max(1, std::min(view->width / std::max(fit.width(), 1), view->height / std::max(fit.height(), 1)));
    if (blocks == 1)
        return CopyOfBitmap(bitmap);
    QImage image(view->width / blocks, view->height / blocks, QImage::Format_RGB32);
    std::vector<std::uint32_t> sums(static_cast<std::size_t>(image.width()) * 3);
    const std::uint32_t count = static_cast<std::uint32_t>(blocks * blocks);
    for (int y = 0; y < image.height(); ++y) {
        std::fill(sums.begin(), sums.end(), 0u);
        for (int row = y * blocks; row < (y + 1) * blocks; ++row) {
            const std::uint32_t* source = view->Row(row);
            for (int x = 0; x < image.width() * blocks; ++x) {
                const std::uint32_t pixel = source[x];
                std::uint32_t* sum = &sums[static_cast<std::size_t>(x / blocks) * 3];
                sum[0] += (pixel >> 16) & 0xFF;
                sum[1] += (pixel >> 8) & 0xFF;
                sum[2] += pixel & 0xFF;
            }
        }
        auto* target = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const std::uint32_t* sum = &sums[static_cast<std::size_t>(x) * 3];
            target[x] = qRgb(static_cast<int>((sum[0] + count / 2) / count), static_cast<int>((sum[1] + count / 2) / count),
                             static_cast<int>((sum[2] + count / 2) / count));
        }
    }
    return image;
}

} // namespace

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) { setObjectName("picTarget"); }

PictureBox::~PictureBox() = default;

bool PictureBox::UsePersistentPicture(std::span<const std::byte> bmpFile) {
    return Use(gdi32::LoadBitmapFromBmp(bmpFile));
}

bool PictureBox::UsePersistentPicture(const QImage& rgb32) {
    if (rgb32.format() != QImage::Format_RGB32)
        return false;
    return Use(gdi32::CreateBitmapFromPixels(rgb32.width(), rgb32.height(),
                                             reinterpret_cast<const std::uint32_t*>(rgb32.constBits()),
                                             rgb32.bytesPerLine() / 4));
}

bool PictureBox::Use(gdi32::HBITMAP bitmap) {
    auto picture = std::make_unique<gdi32::PersistentPicture>(bitmap);
    if (!picture->valid())
        return false;
    picture_ = std::move(picture);
    // The saves' buffers are backed now, while the picture loads, so that no save of this
    // picture (the first one included) pays for fresh memory.
    os::PrepareWorkingMemory(os::WorkingMemoryFor(picture_->width(), picture_->height()));
    return true;
}

void PictureBox::Refresh() {
    ShowAtScale(devicePixelRatioF());
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

gdi32::HDC PictureBox::hDC() const { return picture_ ? picture_->hDC() : gdi32::HDC{}; }

gdi32::HBITMAP PictureBox::Picture() const { return picture_ ? picture_->hBitmap() : gdi32::HBITMAP{}; }

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
