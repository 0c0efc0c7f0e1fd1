#pragma once

// Direct access to a bitmap's pixels for the other platform layers (the imaging layer
// reads a picture through its handle, the picture box loads one). Not a GDI call.

#include "win32/gdi32/gdi32.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace gdi32 {

// A view of a live bitmap's pixels: 0x00RRGGBB values (bytes blue, green, red, 0).
struct SurfaceView {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t* first = nullptr;  // the top row
    std::ptrdiff_t rowStep = 0;      // pixels from one row to the one below (negative when bottom-up)

    std::uint32_t* Row(std::int32_t y) const { return first + rowStep * y; }
};

// The pixels of a bitmap; empty for a handle that is not a live bitmap. Valid until the
// bitmap is deleted.
std::optional<SurfaceView> ViewBitmap(HBITMAP bitmap);

// The pixels of a device bitmap as they are now, kept as they are: the bitmap's memory is
// shared until the bitmap is next written to, which gives the bitmap a copy of its own, and
// it stays alive while the snapshot lives, also past the bitmap's deletion. Empty for a
// handle that is not a live device bitmap: a DIB section's memory is written through a
// pointer of the caller's, which no snapshot could notice.
struct PixelSnapshot {
    std::shared_ptr<const std::uint32_t[]> memory;
    std::int32_t width = 0;
    std::int32_t height = 0;

    const std::uint32_t* Row(std::int32_t y) const { return memory.get() + static_cast<std::ptrdiff_t>(y) * width; }
};
std::optional<PixelSnapshot> SnapshotBitmap(HBITMAP bitmap);

// A device bitmap made from the bytes of a BMP file (24 or 32 bits per pixel, uncompressed,
// either row order). Returns 0 for anything else.
HBITMAP LoadBitmapFromBmp(std::span<const std::byte> file);

// A device bitmap with a copy of width × height pixels, row y at top + y * rowStep; the
// top byte of each pixel is ignored. Returns 0 for a size outside 1 to 65535 either way.
HBITMAP CreateBitmapFromPixels(std::int32_t width, std::int32_t height, const std::uint32_t* top,
                               std::ptrdiff_t rowStep);

// A device bitmap of width × height whose pixels are not set: the caller writes every one
// through ViewBitmap() before the bitmap is used (a picture is decoded straight into it,
// with no pass that clears it first). Returns 0 for a size outside 1 to 65535 either way;
// throws std::bad_alloc when there is no memory for it.
HBITMAP CreateBitmapToFill(std::int32_t width, std::int32_t height);

// A device bitmap with the pixels of the device bitmap picture, sharing its memory: the
// first write to either gives the written one a copy of its own, so a copy of a picture
// that nobody draws on costs no memory. Returns 0 when picture is not a live device bitmap.
HBITMAP CreateSharedCopy(HBITMAP picture);

// How many device contexts and bitmaps are alive (the stock bitmap of a new memory DC not
// counted): lets a caller prove that an operation released everything it made.
std::size_t CountLiveObjects();

} // namespace gdi32
