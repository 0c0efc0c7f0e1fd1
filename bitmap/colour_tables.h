#pragma once

// The colour tables the BMP writer puts into the header before the platform's conversion,
// and the one place that ties each depth to its table size and pixel-data offset.

#include "win32/gdi32/gdi32.h"

#include <cstdint>
#include <span>

namespace mdlBitmap {

struct BmpDepth {
    std::uint16_t bitsPerPixel;
    std::uint32_t colourTableEntries; // RGBQUAD entries after the info header
};

inline constexpr std::uint32_t kFileHeaderSize = 14;
inline constexpr std::uint32_t kInfoHeaderSize = 40;

// The four depths the writer supports: 1, 4, 8 and 32 bits per pixel.
inline constexpr BmpDepth kDepth1{1, 2};
inline constexpr BmpDepth kDepth4{4, 16};
inline constexpr BmpDepth kDepth8{8, 256};
inline constexpr BmpDepth kDepth32{32, 0};

// Where the pixel data starts: 62, 118, 1078 and 54 bytes for the four depths.
constexpr std::uint32_t PixelDataOffset(BmpDepth depth) {
    return kFileHeaderSize + kInfoHeaderSize + 4 * depth.colourTableEntries;
}
static_assert(PixelDataOffset(kDepth1) == 62 && PixelDataOffset(kDepth4) == 118 &&
              PixelDataOffset(kDepth8) == 1078 && PixelDataOffset(kDepth32) == 54);

// Fills the first colourTableEntries entries of the table for the depth: black and white at
// 1 bit, the sixteen standard colours at 4 bits, the 3-3-2 colour cube at 8 bits; nothing at
// 32 bits.
void FillColourTable(BmpDepth depth, std::span<gdi32::RGBQUAD, 256> table);

} // namespace mdlBitmap
