#pragma once

// The built-in encoders: each turns one image into the bytes of a file in memory. None of
// them touches the disk; the caller writes the bytes.

#include "codecs/pixel_image.h"

#include <cstddef>
#include <functional>
#include <span>
#include <vector>

namespace codecs {

// PNG through libpng, the image data compressed by libdeflate: 8-bit RGB for
// PixelFormat32bppRGB, RGBA for PixelFormat32bppARGB, a palette (with its alpha in tRNS) for
// the indexed format. Filter Up on a row that repeats the one above, None on every other row.
Status EncodePng(const PixelImage& image, std::vector<std::byte>& file);
// 8-bit RGB from height rows of width pixels each (blue, green, red, a byte not read), top
// row first: the same bytes as EncodePng of an opaque image with those pixels.
Status EncodePngRows(INT width, INT height, std::span<const ARGB* const> rows, std::vector<std::byte>& file);
// 8-bit RGBA from the ARGB rows row(y, out) writes, one at a time: the same bytes as
// EncodePng of a PixelFormat32bppARGB image with those pixels, without holding the image.
Status EncodePngArgbRows(INT width, INT height, const std::function<void(INT y, ARGB* out)>& row,
                         std::vector<std::byte>& file);

// JPEG through libjpeg-turbo: baseline, 4:2:0, the standard tables scaled to quality 0 to 100
// (0 and 1 both give the coarsest tables). Alpha is not written.
struct JpegOptions {
    int quality = 75; // the default when no quality is asked for
};
Status EncodeJpeg(const PixelImage& image, const JpegOptions& options, std::vector<std::byte>& file);
// The same from height rows of width pixels each (blue, green, red, a byte not read), top
// row first.
Status EncodeJpegRows(INT width, INT height, std::span<const ARGB* const> rows, const JpegOptions& options,
                      std::vector<std::byte>& file);

// GIF89a through giflib. An indexed image keeps its palette as given and its lowest alpha-0
// entry becomes the transparent index; any other image is reduced to the fixed halftone
// palette with ordered dithering (no transparency).
Status EncodeGif(const PixelImage& image, std::vector<std::byte>& file);

// The palette entries an indexed image needs: its palette, grown with 0x00000000 to cover
// the highest index in use; never empty.
std::vector<ARGB> PaletteCoveringIndexes(const PixelImage& image);

} // namespace codecs
