#pragma once

// What the picture box holds: the picture as a bitmap handle, and its persistent image, a
// memory device context with a copy of the picture selected. The savers read the picture
// through hDC() (the BMP writer, the effect engine) or hBitmap() (the imaging layer).

#include "win32/gdi32/gdi32.h"

#include <cstddef>
#include <span>

namespace gdi32 {

class PersistentPicture {
public:
    // Loads the picture from the bytes of a BMP file; valid() tells whether that worked.
    explicit PersistentPicture(std::span<const std::byte> bmpFile);
    // Takes picture (a device bitmap, or 0) as its own, deleted with this object.
    explicit PersistentPicture(HBITMAP picture);
    ~PersistentPicture(); // puts the old bitmap back, deletes the copy, the DC, the picture

    PersistentPicture(const PersistentPicture&) = delete;
    PersistentPicture& operator=(const PersistentPicture&) = delete;

    bool valid() const { return static_cast<bool>(memoryDc_); }
    HDC hDC() const { return memoryDc_; }
    HBITMAP hBitmap() const { return picture_; }
    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }

private:
    void Release();

    HBITMAP picture_;
    HDC memoryDc_;
    HBITMAP image_;
    HBITMAP oldBitmap_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
};

} // namespace gdi32
