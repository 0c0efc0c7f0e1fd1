#pragma once

// The BMP file writer at 1, 4, 8 and 32 bits per pixel.

#include "win32/gdi32/gdi32.h"

#include <cstdint>
#include <string>

namespace mdlBitmap {

// The number of the error raised when the platform's conversion fails.
inline constexpr std::int32_t kGetDIBitsErrorNumber = static_cast<std::int32_t>(0x80040000u);

// Writes the bitmap selected into dc at depth 1, 4, 8 or 32; false for any other depth.
// Failures are raised as report::RaisedError.
bool SaveBmpFile(gdi32::HDC dc, const std::string& path, std::int32_t depth);
bool SaveBmp1Bit(gdi32::HDC dc, const std::string& path);
bool SaveBmp4Bit(gdi32::HDC dc, const std::string& path);
bool SaveBmp8Bit(gdi32::HDC dc, const std::string& path);
bool SaveBmp32Bit(gdi32::HDC dc, const std::string& path);
[[noreturn]] void RaiseGetDIBitsError();

} // namespace mdlBitmap
