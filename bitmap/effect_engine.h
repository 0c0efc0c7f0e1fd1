#pragma once

// The colour-effect engines: a copy of the picture, one effect applied, saved as a 32-bit BMP.

#include "win32/gdi32/gdi32.h"

#include <cstdint>
#include <string>

namespace mdlBitmap {

// effect is 1 to 11 (any other number saves the copy unchanged); usePixels non-zero runs
// the per-pixel engine, 0 the DIB engine. Errors of the writer pass through as
// report::RaisedError; every handle of the working copy is released in all cases.
void SaveEffectBmp(gdi32::HDC dc, const std::string& path, std::int32_t effect, std::int32_t usePixels);

} // namespace mdlBitmap
