#pragma once

// JPEG decoding through libjpeg-turbo straight into the caller's pixel memory: the colour
// conversion to 32-bit pixels is the library's own (SIMD) and happens as the rows come out,
// so a photo is decoded in about the time libjpeg-turbo's own djpeg takes, with no picture-
// sized buffer besides the caller's.

#include "codecs/pixel_types.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace codecs {

// The size of a JPEG this decoder takes (8 bits a sample, in YCbCr, RGB or grey, baseline or
// progressive); false for anything else (CMYK, 12 bits, not a JPEG), which another reader
// must open. Reads the header only.
bool ProbeJpeg(std::span<const std::byte> file, INT& width, INT& height);

enum class JpegDecoding {
    Decoded,
    EndedEarly, // the data ended before the picture did: the rest would be grey
    Failed,     // corrupt data, or a picture other than ProbeJpeg reported
};

// Decodes file into height rows of width pixels, row y at top + y × rowStep (in pixels),
// each pixel 0x00RRGGBB (bytes blue, green, red, 0). width and height are those ProbeJpeg
// reported. On a failure the rows may be partly written.
JpegDecoding DecodeJpeg(std::span<const std::byte> file, INT width, INT height, std::uint32_t* top,
                        std::ptrdiff_t rowStep);

} // namespace codecs
