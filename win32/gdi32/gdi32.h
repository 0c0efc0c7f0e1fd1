#pragma once

// The graphics device interface as the savers use it: device contexts, device bitmaps,
// 32-bit DIB sections, pixel access, block copies and the conversion of a bitmap to the
// device-independent layout at 1, 4, 8, 24 or 32 bits per pixel.
//
// Handles are 32-bit values; 0 means none. Every bitmap keeps 32-bit pixels, stored as the
// bytes blue, green, red, 0. A device bitmap is addressed top row first; a DIB section is
// bottom-up memory that its creator addresses directly. One thread uses this layer at a time.

#include <cstdint>

namespace gdi32 {

struct HDC {
    std::uint32_t value = 0;
    explicit operator bool() const { return value != 0; }
    friend bool operator==(HDC, HDC) = default;
};

struct HBITMAP {
    std::uint32_t value = 0;
    explicit operator bool() const { return value != 0; }
    friend bool operator==(HBITMAP, HBITMAP) = default;
};

using COLORREF = std::uint32_t; // 0x00BBGGRR
inline constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

inline constexpr std::uint32_t OBJ_BITMAP = 7;
inline constexpr std::uint32_t DIB_RGB_COLORS = 0;
inline constexpr std::uint32_t BI_RGB = 0;
inline constexpr std::uint32_t SRCCOPY = 0x00CC0020;

struct BITMAP {
    std::int32_t bmType = 0;
    std::int32_t bmWidth = 0;
    std::int32_t bmHeight = 0;
    std::int32_t bmWidthBytes = 0;
    std::uint16_t bmPlanes = 0;
    std::uint16_t bmBitsPixel = 0;
    void* bmBits = nullptr; // the pixel memory of a DIB section, else null
};

struct BITMAPINFOHEADER {
    std::uint32_t biSize = 0;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0; // positive: bottom row first
    std::uint16_t biPlanes = 0;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RGBQUAD {
    std::uint8_t rgbBlue = 0;
    std::uint8_t rgbGreen = 0;
    std::uint8_t rgbRed = 0;
    std::uint8_t rgbReserved = 0;
};
static_assert(sizeof(RGBQUAD) == 4);

// The header with room for the largest colour table (256 entries at 8 bits per pixel);
// only the first 2^biBitCount entries mean anything at 1, 4 and 8 bits.
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[256];
};

// The bytes of one row of a device-independent bitmap: rows are padded to 4 bytes.
constexpr std::uint32_t DibStride(std::int32_t width, std::uint32_t bitsPerPixel) {
    return ((static_cast<std::uint32_t>(width) * bitsPerPixel + 31) / 32) * 4;
}

HBITMAP GetCurrentObject(HDC dc, std::uint32_t objectType);
int GetObjectA(HBITMAP bitmap, int size, BITMAP* out);

// With bits null, fills biSizeImage (the query). Otherwise converts lines start to
// start + lines − 1 (counted from the bottom) into bits, in the layout the header asks for:
// at 1, 4 and 8 bits each pixel becomes the nearest entry of the header's colour table
// (lowest index on a tie). Returns the number of lines converted, or 0 on failure.
int GetDIBits(HDC dc, HBITMAP bitmap, std::uint32_t start, std::uint32_t lines, void* bits,
              BITMAPINFO* info, std::uint32_t usage);

HDC CreateCompatibleDC(HDC dc);
HBITMAP CreateCompatibleBitmap(HDC dc, std::int32_t width, std::int32_t height);
// Only 32-bit BI_RGB sections are made; bits receives the pixel memory.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, std::uint32_t usage, void** bits,
                         void* section, std::uint32_t offset);
HBITMAP SelectObject(HDC dc, HBITMAP bitmap);
int BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
           std::uint32_t rop);
COLORREF GetPixel(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);
int DeleteObject(HBITMAP bitmap); // fails (0) while the bitmap is selected into a DC
int DeleteDC(HDC dc);

} // namespace gdi32
