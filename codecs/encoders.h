#pragma once

// The built-in encoders: each turns one image into the bytes of a file in memory, or says
// why it cannot. None of them touches the disk or the log; the caller writes the bytes and
// decides what a failure means to it.

#include "codecs/pixel_image.h"
#include "report/expected.h"

#include <cstddef>
#include <functional>
#include <span>
#include <vector>

namespace codecs {

// Why an encoder made no file.
enum class EncodeFailure {
    LibraryFailed,    // the library refused the data or failed while writing
    UnsupportedImage, // an image or option the encoder cannot take
    OutOfMemory,
};
// A line of text for each reason, for the program's log.
const char* FailureMessage(EncodeFailure failure);

using EncodedFile = report::Expected<std::vector<std::byte>, EncodeFailure>;
inline report::Unexpected<EncodeFailure> Fails(EncodeFailure failure) { return {failure}; }

// PNG through libpng, the image data compressed by libdeflate: 8-bit RGB for
// PixelFormat32bppRGB, RGBA for PixelFormat32bppARGB, a palette (with its alpha in tRNS) for
// the indexed format. Filter Up on a row that repeats the one above, None on every other row.
EncodedFile EncodePng(const PixelImage& image);
// 8-bit RGB from height rows of width pixels each (blue, green, red, a byte not read), top
// row first: the same bytes as EncodePng of an opaque image with those pixels.
EncodedFile EncodePngRows(INT width, INT height, std::span<const ARGB* const> rows);
// 8-bit RGBA from the ARGB rows row(y, out) writes, one at a time: the same bytes as
// EncodePng of a PixelFormat32bppARGB image with those pixels, without holding the image.
EncodedFile EncodePngArgbRows(INT width, INT height, const std::function<void(INT y, ARGB* out)>& row);

// JPEG through libjpeg-turbo: baseline, 4:2:0, the standard tables scaled to quality 0 to 100
// (0 and 1 both give the coarsest tables). Alpha is not written.
struct JpegOptions {
    int quality = 75; // the default when no quality is asked for
};
EncodedFile EncodeJpeg(const PixelImage& image, const JpegOptions& options);
// The same from height rows of width pixels each (blue, green, red, a byte not read), top
// row first.
EncodedFile EncodeJpegRows(INT width, INT height, std::span<const ARGB* const> rows, const JpegOptions& options);
namespace detail {
// The same in bands of mcuRowsPerBand rows of 16 pixels (fewer where a band's restart
// interval would not fit its field), compressed by at most parts threads and joined into
// one file; EncodeJpegRows chooses one band a processor.
EncodedFile EncodeJpegRowsInBands(INT width, INT height, std::span<const ARGB* const> rows, const JpegOptions& options,
                                  std::size_t mcuRowsPerBand, std::size_t parts);
} // namespace detail

// GIF89a through giflib. An indexed image keeps its palette as given and its lowest alpha-0
// entry becomes the transparent index; any other image is reduced to the fixed halftone
// palette with ordered dithering (no transparency).
EncodedFile EncodeGif(const PixelImage& image);

// The palette entries an indexed image needs: its palette, grown with 0x00000000 to cover
// the highest index in use; never empty.
std::vector<ARGB> PaletteCoveringIndexes(const PixelImage& image);

} // namespace codecs
