#pragma once

// One encoding request: the four ways of encoding and the colour conversion they share.

#include "codecs/colour_packing.h"
#include "win32/gdiplus/gdiplus_flat.h"

#include <cstdint>
#include <string>

namespace mdlGdiplus {

// An OLE colour (0x00BBGGRR; the top byte ignored, so -1 reads as white) as ARGB with the
// given alpha.
constexpr std::uint32_t OleColorToArgb(std::int32_t color, std::uint8_t alpha) {
    return codecs::WithAlpha(codecs::SwapFirstAndThird(static_cast<std::uint32_t>(color)), alpha);
}

// Encodes image to path and disposes it (when it is not null) before returning; true when
// the file was written. The way of encoding, tested in this order:
//   JPEG with a quality (OptionValue ≠ -1; below 0 or above 100 counts as 100),
//   own GIF conversion (GIF, OptionValue ≠ -99),
//   PNG with a transparent colour (PNG, OptionValue ≠ -1),
//   otherwise a direct save without parameters.
bool EncodeImageToFile(gdiplus::GpImage* image, const std::string& path, std::int32_t FormatDigit,
                       std::int32_t OptionValue);

} // namespace mdlGdiplus
