#include "win32/gdi32/gdi32.h"

#include "win32/gdi32/handle_table.h"
#include "codecs/colour_packing.h"
#include "fast/nearest_entry.h"
#include "fast/separable_nearest.h"
#include "os/rows_in_parts.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace gdi32 {

using detail::BitmapRecord;
using fast::NearestEntry;
using fast::SeparableNearest;

namespace {

// A pixel keeps blue first, a colour value red first.
COLORREF ColorRefFromPixel(std::uint32_t pixel) { return codecs::SwapFirstAndThird(pixel); }
std::uint32_t PixelFromColorRef(COLORREF color) { return codecs::SwapFirstAndThird(color); }

// Pixel x of a row at 1, 4 or 8 bits set to index, leftmost pixel in the high bits of its
// byte; below 8 bits the row's bytes must be zero beforehand.
template <int kBitsPerPixel>
void SetPixel(std::uint8_t* row, std::int32_t x, std::uint8_t index) {
    constexpr int kPerByte = 8 / kBitsPerPixel;
    if constexpr (kBitsPerPixel == 8)
        row[x] = index; // an 8-bit row is not zeroed first
    else
        row[x / kPerByte] |= static_cast<std::uint8_t>(index << (8 - kBitsPerPixel * (x % kPerByte + 1)));
}

// One row at 1, 4 or 8 bits, eight pixels (whole bytes at every depth) at a time. Eight
// pixels of one colour, and the blocks of that colour after them, take one answer and are
// filled at once; any other block takes an answer a pixel. Whether a block is of one colour
// is a branch taken the same way for long stretches, both in flat areas and in a photo, where
// a look for a run at every pixel would branch as unpredictably as the pixels change.
template <int kBitsPerPixel, class Nearest>
void ConvertRowIndexed(const std::uint32_t* source, std::int32_t width, Nearest& nearest, std::uint8_t* row) {
    constexpr int kPerByte = 8 / kBitsPerPixel;
    constexpr int kBlock = 8;
    constexpr std::uint8_t kRepeat = kBitsPerPixel == 8 ? 0x01 : kBitsPerPixel == 4 ? 0x11 : 0xFF;
    const auto allOf = [](const std::uint32_t* block, std::uint32_t colour) {
        std::uint32_t differences = 0;
        for (int k = 0; k < kBlock; ++k)
            differences |= block[k] ^ colour;
        return (differences & 0xFFFFFF) == 0;
    };
    std::int32_t x = 0;
    while (x + kBlock <= width) {
        const std::uint32_t colour = source[x];
        if (allOf(source + x, colour)) {
            std::int32_t end = x + kBlock;
            while (end + kBlock <= width && allOf(source + end, colour))
                end += kBlock;
            std::memset(row + x / kPerByte, nearest(colour) * kRepeat, static_cast<std::size_t>((end - x) / kPerByte));
            x = end;
            continue;
        }
        for (std::int32_t first = x; first < x + kBlock; first += kPerByte) {
            unsigned byte = 0;
            for (std::int32_t k = first; k < first + kPerByte; ++k)
                byte = byte << kBitsPerPixel | nearest(source[k]);
            row[first / kPerByte] = static_cast<std::uint8_t>(byte);
        }
        x += kBlock;
    }
    for (; x < width; ++x) // the last few pixels
        SetPixel<kBitsPerPixel>(row, x, nearest(source[x]));
}

// The reserved byte of a DIB pixel is 0. The rows never overlap, which lets the compiler
// copy several pixels at a time (a byte pointer might otherwise alias anything).
void ConvertRow32(const std::uint32_t* __restrict source, std::int32_t width, std::uint8_t* __restrict out) {
    for (std::int32_t x = 0; x < width; ++x) {
        const std::uint32_t pixel = source[x] & 0xFFFFFF;
        std::memcpy(out + 4 * static_cast<std::size_t>(x), &pixel, 4);
    }
}

void ConvertRow24(const std::uint32_t* source, std::int32_t width, std::uint8_t* out) {
    for (std::int32_t x = 0; x < width; ++x) {
        out[3 * x + 0] = static_cast<std::uint8_t>(source[x]);
        out[3 * x + 1] = static_cast<std::uint8_t>(source[x] >> 8);
        out[3 * x + 2] = static_cast<std::uint8_t>(source[x] >> 16);
    }
}

// GetDIBits's conversion of the bitmap's rows into a DIB's rows at one depth. Each part
// of the rows can be converted on its own, with its own cache of nearest entries.
struct DibRows {
    const BitmapRecord* object;
    const BITMAPINFO* info;
    bool bottomUp;
    std::int32_t height;
    int depth;
    std::uint32_t stride;
    std::uint8_t* out;                   // DIB row `start` of the call
    const SeparableNearest* separable;   // the colour table's nearest entry, when it splits by channel

    void Convert(std::uint32_t start, std::uint32_t first, std::uint32_t end) const {
        if (depth > 8 || separable != nullptr)
            return ConvertWith(start, first, end, separable);
        // Any other colour table needs the cache, and it lives on the heap: on the stack its
        // 36 KiB would reach pages no call has touched before, each a page fault on the
        // first save of a process.
        const auto nearest = std::make_unique<NearestEntry>(info->bmiColors, 1 << depth);
        ConvertWith(start, first, end, nearest.get());
    }

    template <class Nearest>
    void ConvertWith(std::uint32_t start, std::uint32_t first, std::uint32_t end, Nearest* nearest) const {
        // At 8 bits and more only the padding after the pixels needs zeroing; below, the
        // pixels are set bit by bit into a zeroed row.
        const std::uint32_t used = depth < 8 ? 0 : (static_cast<std::uint32_t>(object->width) * depth + 7) / 8;
        for (std::uint32_t dibRow = first; dibRow < end; ++dibRow) {
            const std::int32_t y = bottomUp ? height - 1 - static_cast<std::int32_t>(dibRow)
                                            : static_cast<std::int32_t>(dibRow);
            const std::uint32_t* source = object->Row(y);
            std::uint8_t* row = out + static_cast<std::size_t>(dibRow - start) * stride;
            std::memset(row + used, 0, stride - used);
            switch (depth) {
            case 32:
                ConvertRow32(source, object->width, row);
                break;
            case 24:
                ConvertRow24(source, object->width, row);
                break;
            case 8:
                ConvertRowIndexed<8>(source, object->width, *nearest, row);
                break;
            case 4:
                ConvertRowIndexed<4>(source, object->width, *nearest, row);
                break;
            default:
                ConvertRowIndexed<1>(source, object->width, *nearest, row);
                break;
            }
        }
    }
};

bool IsSupportedDepth(std::uint16_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32;
}

} // namespace

HBITMAP GetCurrentObject(HDC dc, std::uint32_t objectType) {
    const detail::DcRecord* object = detail::FindDc(dc);
    if (object == nullptr || objectType != OBJ_BITMAP)
        return {};
    return object->selected;
}

int GetObjectA(HBITMAP bitmap, int size, BITMAP* out) {
    BitmapRecord* object = detail::FindBitmap(bitmap);
    if (object == nullptr || out == nullptr || size < static_cast<int>(sizeof(BITMAP)))
        return 0;
    *out = BITMAP{};
    out->bmWidth = object->width;
    out->bmHeight = object->height;
    out->bmWidthBytes = object->width * 4;
    out->bmPlanes = 1;
    out->bmBitsPixel = 32;
    out->bmBits = object->isDibSection ? object->pixels.get() : nullptr;
    return static_cast<int>(sizeof(BITMAP));
}

int GetDIBits(HDC dc, HBITMAP bitmap, std::uint32_t start, std::uint32_t lines, void* bits,
              BITMAPINFO* info, std::uint32_t usage) {
    BitmapRecord* object = detail::FindBitmap(bitmap);
    if (detail::FindDc(dc) == nullptr || object == nullptr || info == nullptr || usage != DIB_RGB_COLORS)
        return 0;
    BITMAPINFOHEADER& header = info->bmiHeader;
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biPlanes != 1 ||
        header.biCompression != BI_RGB || !IsSupportedDepth(header.biBitCount))
        return 0;
    // Nothing to convert: an empty bitmap, or a header that does not describe this one.
    const std::int32_t height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    if (object->width == 0 || object->height == 0 || header.biWidth != object->width ||
        height != object->height)
        return 0;

    const std::uint32_t stride = DibStride(header.biWidth, header.biBitCount);
    if (bits == nullptr) {
        header.biSizeImage = stride * static_cast<std::uint32_t>(height);
        return height;
    }
    if (start >= static_cast<std::uint32_t>(height))
        return 0;
    lines = std::min(lines, static_cast<std::uint32_t>(height) - start);

    const std::optional<SeparableNearest> separable =
        header.biBitCount <= 8 ? SeparableNearest::Of(info->bmiColors, 1 << header.biBitCount) : std::nullopt;
    const DibRows rows{object, info, header.biHeight > 0, height, header.biBitCount, stride,
                       static_cast<std::uint8_t*>(bits), separable ? &*separable : nullptr};
    os::ForRowsInParts(lines, static_cast<std::size_t>(object->width), [&](std::size_t first, std::size_t end) {
        rows.Convert(start, start + static_cast<std::uint32_t>(first), start + static_cast<std::uint32_t>(end));
    });
    return static_cast<int>(lines);
}

HDC CreateCompatibleDC(HDC dc) {
    if (dc && detail::FindDc(dc) == nullptr)
        return {};
    return detail::AddDc(detail::DcRecord{detail::StockBitmap()});
}

HBITMAP CreateCompatibleBitmap(HDC dc, std::int32_t width, std::int32_t height) {
    if (detail::FindDc(dc) == nullptr || width < 0 || height < 0)
        return {};
    return detail::AddBitmap(detail::MakeBitmap(width, height, false));
}

HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, std::uint32_t usage, void** bits,
                         void* section, std::uint32_t /*offset*/) {
    if (bits != nullptr)
        *bits = nullptr;
    if ((dc && detail::FindDc(dc) == nullptr) || info == nullptr || usage != DIB_RGB_COLORS ||
        section != nullptr)
        return {};
    const BITMAPINFOHEADER& header = info->bmiHeader;
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biPlanes != 1 || header.biBitCount != 32 ||
        header.biCompression != BI_RGB || header.biWidth < 0)
        return {};
    const bool bottomUp = header.biHeight >= 0;
    const std::int32_t height = bottomUp ? header.biHeight : -header.biHeight;
    auto object = detail::MakeBitmap(header.biWidth, height, bottomUp);
    object->isDibSection = true;
    if (bits != nullptr)
        *bits = object->pixels.get();
    return detail::AddBitmap(std::move(object));
}

HBITMAP SelectObject(HDC dc, HBITMAP bitmap) {
    detail::DcRecord* object = detail::FindDc(dc);
    BitmapRecord* incoming = detail::FindBitmap(bitmap);
    if (object == nullptr || incoming == nullptr)
        return {};
    if (!incoming->isStock && incoming->selectedInto != 0 && incoming->selectedInto != dc.value)
        return {}; // a bitmap can be selected into one device context at a time
    const HBITMAP previous = object->selected;
    if (BitmapRecord* outgoing = detail::FindBitmap(previous); outgoing && !outgoing->isStock)
        outgoing->selectedInto = 0;
    if (!incoming->isStock)
        incoming->selectedInto = dc.value;
    object->selected = bitmap;
    return previous;
}

int BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
           std::uint32_t rop) {
    BitmapRecord* to = detail::SelectedBitmap(dest);
    BitmapRecord* from = detail::SelectedBitmap(source);
    if (to == nullptr || from == nullptr || rop != SRCCOPY || width < 0 || height < 0)
        return 0;
    // Clip the block to both bitmaps.
    for (int row = 0; row < height; ++row) {
        const int toY = y + row, fromY = sourceY + row;
        if (toY < 0 || toY >= to->height || fromY < 0 || fromY >= from->height)
            continue;
        const int first = std::max({0, -x, -sourceX});
        const int last = std::min({width, to->width - x, from->width - sourceX});
        if (first >= last)
            continue;
        std::uint32_t* const toRow = to->Row(toY); // first: a shared bitmap gets its own copy
        std::memmove(toRow + x + first, std::as_const(*from).Row(fromY) + sourceX + first,
                     static_cast<std::size_t>(last - first) * 4);
    }
    return 1;
}

COLORREF GetPixel(HDC dc, int x, int y) {
    BitmapRecord* bitmap = detail::SelectedBitmap(dc);
    if (bitmap == nullptr || !bitmap->Contains(x, y))
        return CLR_INVALID;
    return ColorRefFromPixel(std::as_const(*bitmap).Row(y)[x]);
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
    BitmapRecord* bitmap = detail::SelectedBitmap(dc);
    if (bitmap == nullptr || !bitmap->Contains(x, y))
        return CLR_INVALID;
    bitmap->Row(y)[x] = PixelFromColorRef(color);
    return color & 0xFFFFFF;
}

int DeleteObject(HBITMAP bitmap) {
    BitmapRecord* object = detail::FindBitmap(bitmap);
    if (object == nullptr)
        return 0;
    if (object->isStock)
        return 1;
    if (object->selectedInto != 0)
        return 0;
    detail::RemoveBitmap(bitmap);
    return 1;
}

int DeleteDC(HDC dc) {
    detail::DcRecord* object = detail::FindDc(dc);
    if (object == nullptr)
        return 0;
    // The selected bitmap is not deleted with the DC; it only becomes free again.
    if (BitmapRecord* selected = detail::FindBitmap(object->selected); selected && !selected->isStock)
        selected->selectedInto = 0;
    detail::RemoveDc(dc);
    return 1;
}

} // namespace gdi32
