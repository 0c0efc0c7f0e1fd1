#include "app/picture_box.h"

#include "platform/gdi/surface.h"

#include <QPainter>

#include <cstring>

namespace lumivert {

namespace {

// A copy of a bitmap's pixels; the gdi layer stores 0x00RRGGBB, which is what QImage's
// RGB32 format reads (it ignores the top byte).
QImage CopyOfBitmap(gdi32::HBITMAP bitmap) {
    const auto view = gdi32::ViewBitmap(bitmap);
    if (!view)
        return {};
    QImage image(view->width, view->height, QImage::Format_RGB32);
    for (std::int32_t y = 0; y < view->height; ++y)
        std::memcpy(image.scanLine(y), view->Row(y), static_cast<std::size_t>(view->width) * 4);
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
