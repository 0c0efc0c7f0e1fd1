#include "app/picture_box.h"

#include "platform/gdi/surface.h"
#include "platform/system/memory_policy.h"

#include <QPainter>

#include <cstdint>

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

} // namespace

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) { setObjectName("picTarget"); }

PictureBox::~PictureBox() = default;

bool PictureBox::UsePersistentPicture(std::span<const std::byte> bmpFile) {
    auto picture = std::make_unique<gdi32::PersistentPicture>(bmpFile);
    if (!picture->valid())
        return false;
    picture_ = std::move(picture);
    // The saves' buffers are backed now, while the picture loads, so that no save of this
    // picture (the first one included) pays for fresh memory.
    PrepareWorkingMemory(WorkingMemoryFor(picture_->width(), picture_->height()));
    return true;
}

void PictureBox::Refresh() {
    shown_ = picture_ ? CopyOfBitmap(gdi32::GetCurrentObject(picture_->hDC(), gdi32::OBJ_BITMAP)) : QImage();
    update();
}

gdi32::HDC PictureBox::hDC() const { return picture_ ? picture_->hDC() : gdi32::HDC{}; }

gdi32::HBITMAP PictureBox::Picture() const { return picture_ ? picture_->hBitmap() : gdi32::HBITMAP{}; }

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!shown_.isNull())
        painter.drawImage(0, 0, shown_);
}

} // namespace lumivert
