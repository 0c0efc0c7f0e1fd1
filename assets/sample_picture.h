#pragma once

// The sample picture, compiled into the program: the bytes of a 420 × 345, 24-bit BMP file.

#include <cstddef>
#include <span>

namespace lumivert::assets {

std::span<const std::byte> SamplePictureFile();

} // namespace lumivert::assets
