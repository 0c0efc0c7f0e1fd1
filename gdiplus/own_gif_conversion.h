#pragma once

// The own GIF conversion: the picture's exact colours in a 256-entry palette (no dithering),
// saved as an 8-bit indexed bitmap through the GIF encoder.

#include "platform/gdiplus/gdiplus_flat.h"

#include <cstdint>
#include <string>

namespace mdlGdiplus {

// Reads source, builds and saves the indexed bitmap to path with encoder, and answers the
// status of that save. OptionValue is -1 (no transparent colour) or the OLE colour that
// becomes transparent. The source stays with the caller.
gdiplus::Status SaveByOwnGifConversion(gdiplus::GpBitmap* source, const std::u16string& path,
                                       const gdiplus::CLSID& encoder, std::int32_t OptionValue);

} // namespace mdlGdiplus
