#pragma once

// The vocabulary the encoders share with the imaging interface above them: integer and
// colour types and pixel formats. The formats are the interface's own published numbers,
// so a format passes from one to the other unchanged.

#include <cstdint>

namespace codecs {

using INT = std::int32_t;
using UINT = std::uint32_t;
using ARGB = std::uint32_t; // 0xAARRGGBB

using PixelFormat = std::uint32_t;
inline constexpr PixelFormat PixelFormat8bppIndexed = 0x00030803;
inline constexpr PixelFormat PixelFormat32bppRGB = 0x00022009;
inline constexpr PixelFormat PixelFormat32bppARGB = 0x0026200A;

inline constexpr UINT kPaletteFlagsHalftone = 4;

} // namespace codecs
