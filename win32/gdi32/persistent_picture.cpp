#include "win32/gdi32/persistent_picture.h"

#include "win32/gdi32/surface.h"

namespace gdi32 {

PersistentPicture::PersistentPicture(std::span<const std::byte> bmpFile)
    : PersistentPicture(LoadBitmapFromBmp(bmpFile)) {}

PersistentPicture::PersistentPicture(HBITMAP picture) : picture_(picture) {
    BITMAP size;
    if (!picture_ || GetObjectA(picture_, sizeof(BITMAP), &size) == 0)
        return;
    width_ = size.bmWidth;
    height_ = size.bmHeight;

    // The picture itself stays unselected, so the imaging layer may read it at any time;
    // the persistent image is a copy of it in a memory device context. The copy shares the
    // picture's memory until one of the two is drawn on, which no save does: a large
    // picture is held once, not twice.
    HDC memory = CreateCompatibleDC({});
    memoryDc_ = memory;
    image_ = CreateSharedCopy(picture_);
    if (image_) {
        oldBitmap_ = SelectObject(memory, image_);
        if (!oldBitmap_)
            Release();
        return;
    }
    // A DIB section's memory is written through its creator's pointer: it gets a real copy.
    HDC source = CreateCompatibleDC({});
    const HBITMAP sourceOld = SelectObject(source, picture_);
    image_ = CreateCompatibleBitmap(memory, width_, height_);
    oldBitmap_ = SelectObject(memory, image_);
    const bool copied = BitBlt(memory, 0, 0, width_, height_, source, 0, 0, SRCCOPY) != 0;
    SelectObject(source, sourceOld);
    DeleteDC(source);
    if (!copied)
        Release();
}

PersistentPicture::~PersistentPicture() { Release(); }

void PersistentPicture::Release() {
    if (memoryDc_ && oldBitmap_)
        SelectObject(memoryDc_, oldBitmap_);
    if (image_)
        DeleteObject(image_);
    if (memoryDc_)
        DeleteDC(memoryDc_);
    if (picture_)
        DeleteObject(picture_);
    picture_ = {};
    memoryDc_ = {};
    image_ = {};
    oldBitmap_ = {};
}

} // namespace gdi32
