#pragma once

// The own GIF conversion: the picture's exact colours in a 256-entry palette (no dithering),
// saved as an 8-bit indexed bitmap through the GIF encoder.

#include "os/pixel_buffer.h"
#include "win32/gdiplus/gdiplus_flat.h"

#include <cstdint>
#include <memory>
#include <string>

namespace mdlGdiplus {

// Every pixel of source as opaque ARGB, top row first, w · h of them, read at once (the values
// a pixel-by-pixel read gives); all 0 when the picture cannot be read.
os::PixelBuffer<std::uint32_t> ReadPixelValues(gdiplus::GpBitmap* source, gdiplus::UINT w, gdiplus::UINT h);

// Reads source, builds and saves the indexed bitmap to path with encoder, and answers the
// status of that save. OptionValue is -1 (no transparent colour) or the OLE colour that
// becomes transparent. The source stays with the caller.
gdiplus::Status SaveByOwnGifConversion(gdiplus::GpBitmap* source, const std::u16string& path,
                                       const gdiplus::CLSID& encoder, std::int32_t OptionValue);

} // namespace mdlGdiplus
