#pragma once

// The objects behind GDI handles. A handle is a slot number with a generation in its top
// bits, so a handle that outlived its object is recognised as dead instead of reaching
// whatever was made in the same slot later.

#include "win32/gdi32/gdi32.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace gdi32::detail {

// Pixel memory comes from calloc: fresh pages are zero without being written, so a large
// new bitmap costs no pass over its memory until it is drawn on. A device bitmap's memory
// may be shared with snapshots of it (SnapshotBitmap); the first write after that gives the
// bitmap a copy of its own, so a snapshot never changes.
using PixelMemory = std::shared_ptr<std::uint32_t[]>;

struct BitmapRecord {
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool bottomUp = false;    // a DIB section: its memory holds the bottom row first
    bool isDibSection = false;
    bool isStock = false;     // the 1 × 1 bitmap a new memory DC starts with; never freed
    std::uint32_t selectedInto = 0; // the DC it is selected into, 0 when none
    PixelMemory pixels;

    const std::uint32_t* Row(std::int32_t y) const {
        const std::int32_t memoryRow = bottomUp ? height - 1 - y : y;
        return pixels.get() + static_cast<std::ptrdiff_t>(memoryRow) * width;
    }
    // For writing: memory a snapshot shares is first copied.
    std::uint32_t* Row(std::int32_t y) {
        OwnPixels();
        return const_cast<std::uint32_t*>(std::as_const(*this).Row(y));
    }
    void OwnPixels();
    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

struct DcRecord {
    HBITMAP selected; // always a live bitmap (the stock one until another is selected)
};

BitmapRecord* FindBitmap(HBITMAP handle);
DcRecord* FindDc(HDC handle);
BitmapRecord* SelectedBitmap(HDC handle); // the bitmap of a live DC, or null

HBITMAP AddBitmap(std::unique_ptr<BitmapRecord> bitmap);
HDC AddDc(DcRecord dc);
void RemoveBitmap(HBITMAP handle);
void RemoveDc(HDC handle);
HBITMAP StockBitmap();

// Zeroed: a new bitmap is black. Unset: for a caller that writes every pixel at once.
enum class Fill { Zeroed, Unset };
std::unique_ptr<BitmapRecord> MakeBitmap(std::int32_t width, std::int32_t height, bool bottomUp,
                                         Fill fill = Fill::Zeroed);

} // namespace gdi32::detail
