#pragma once

// Saving a picture through the imaging layer: start-up, shut-down and one encoding request.

#include "win32/gdi32/gdi32.h"

#include <cstdint>
#include <string>

namespace mdlGdiplus {

// The format digits of the encoders.
inline constexpr std::int32_t FormatJpeg = 1;
inline constexpr std::int32_t FormatGif = 2;
inline constexpr std::int32_t FormatPng = 6;

// Option values besides a JPEG quality (0 to 100) or a transparent colour (0x00BBGGRR).
inline constexpr std::int32_t OptionNone = -1;
inline constexpr std::int32_t OptionGifByEncoder = -99;

bool StartupGdiplus();
void ShutdownGdiplus();

// Writes bitmap to path; true when the file was written.
bool SaveImageByGdiplus(gdi32::HBITMAP bitmap, const std::string& path, std::int32_t FormatDigit,
                        std::int32_t OptionValue);

} // namespace mdlGdiplus
