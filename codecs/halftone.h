#pragma once

// The encoder's own colour reduction for a bitmap that is not indexed: a fixed halftone
// palette and ordered dithering. Quick, and visibly dithered.
//
// The palette is the 6 × 6 × 6 colour cube (levels 0, 51, …, 255; entry 36·r + 6·g + b)
// followed by 40 greys between the cube's levels. Colour pixels are dithered per channel
// onto the cube with an 8 × 8 Bayer matrix; grey pixels (red = green = blue) onto the 46
// greys of cube and ramp together, which keeps grey gradients smooth.

#include "codecs/pixel_image.h"

#include <array>
#include <cstdint>
#include <vector>

namespace codecs {

const std::array<ARGB, 256>& HalftonePalette(); // opaque entries

// One palette index per pixel, rows top first. Alpha is not looked at.
std::vector<std::uint8_t> ReduceToHalftone(const PixelImage& image);

} // namespace codecs
