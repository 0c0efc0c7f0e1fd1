#pragma once

// The effect routines of the two engines. Each returns false without doing anything when
// dc, width or height is 0, and true otherwise.
//
// Pixels engine: reads and writes every pixel of the bitmap selected into dc through
// GetPixel and SetPixel, row 0 at the top.
// DIBits engine: changes the 32-bit bottom-up pixel memory at bits (width × 4 bytes per row,
// no padding) where it lies, row 0 at the bottom; dc only takes part in the guard. Effects 10
// and 11 still compute every pixel from the memory as it was before the effect.

#include "win32/gdi32/gdi32.h"

#include <cstdint>

namespace mdlBitmap {

bool ApplyPixelEffect(gdi32::HDC dc, std::int32_t width, std::int32_t height, std::int32_t effect);
bool ApplyPixelEmboss(gdi32::HDC dc, std::int32_t width, std::int32_t height, std::int32_t effect);
bool ApplyDIBEffect(gdi32::HDC dc, std::int32_t width, std::int32_t height, void* bits, std::int32_t effect);
bool ApplyDIBEmboss(gdi32::HDC dc, std::int32_t width, std::int32_t height, void* bits, std::int32_t effect);

// The routines' shared guard: something to work on.
inline bool HasPixels(gdi32::HDC dc, std::int32_t width, std::int32_t height) {
    return dc && width > 0 && height > 0;
}

} // namespace mdlBitmap
