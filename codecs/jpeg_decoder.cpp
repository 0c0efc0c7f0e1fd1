// JPEG decoding through libjpeg-turbo. An error jumps back to the setjmp of the function
// that called libjpeg (jpeg_errors.h); the decompressor is released by JpegDecompressor,
// which lives outside those functions.

#include "codecs/jpeg_decoder.h"
#include "codecs/jpeg_errors.h"

#include <algorithm>
#include <memory>

namespace codecs {

namespace {

class JpegDecompressor {
public:
    JpegDecompressor() {
        detail::UseJumpingErrors(info, errors);
        jpeg_create_decompress(&info); // allocates nothing that can fail but its first pool
    }
    ~JpegDecompressor() { jpeg_destroy_decompress(&info); }
    JpegDecompressor(const JpegDecompressor&) = delete;
    JpegDecompressor& operator=(const JpegDecompressor&) = delete;

    jpeg_decompress_struct info{};
    detail::JumpingErrorManager errors{};
};

bool IsTaken(const jpeg_decompress_struct& info) {
    return info.data_precision == 8 && (info.jpeg_color_space == JCS_YCbCr || info.jpeg_color_space == JCS_RGB ||
                                        info.jpeg_color_space == JCS_GRAYSCALE);
}

bool ReadHeader(JpegDecompressor& jpeg, std::span<const std::byte> file) {
    if (setjmp(jpeg.errors.jump))
        return false;
    jpeg_mem_src(&jpeg.info, reinterpret_cast<const unsigned char*>(file.data()), file.size());
    return jpeg_read_header(&jpeg.info, TRUE) == JPEG_HEADER_OK && IsTaken(jpeg.info);
}

bool Decode(JpegDecompressor& jpeg, std::uint32_t* top, std::ptrdiff_t rowStep) {
    jpeg_decompress_struct& info = jpeg.info;
    if (setjmp(jpeg.errors.jump))
        return false;
    // Blue, green, red and a fourth byte, as the pixels are kept; libjpeg sets that byte to
    // 255, and it is cleared right after each batch of rows, while they are in the cache.
    info.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&info);
    constexpr JDIMENSION kBatch = 16;
    JSAMPROW rows[kBatch];
    const JDIMENSION width = info.output_width; // a local, so that the clearing loop is vectorised
    while (info.output_scanline < info.output_height) {
        const JDIMENSION first = info.output_scanline;
        const JDIMENSION count = std::min(kBatch, info.output_height - first);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = reinterpret_cast<JSAMPROW>(top + rowStep * static_cast<std::ptrdiff_t>(first + i));
        const JDIMENSION read = jpeg_read_scanlines(&info, rows, count);
        for (JDIMENSION i = 0; i < read; ++i) {
            auto* row = reinterpret_cast<std::uint32_t*>(rows[i]);
            for (JDIMENSION x = 0; x < width; ++x)
                row[x] &= 0x00FFFFFFu;
        }
    }
    jpeg_finish_decompress(&info);
    return true;
}

} // namespace

bool ProbeJpeg(std::span<const std::byte> file, INT& width, INT& height) {
    const auto jpeg = std::make_unique<JpegDecompressor>();
    if (!ReadHeader(*jpeg, file) || jpeg->info.image_width > 65535 || jpeg->info.image_height > 65535)
        return false;
    width = static_cast<INT>(jpeg->info.image_width);
    height = static_cast<INT>(jpeg->info.image_height);
    return true;
}

JpegDecoding DecodeJpeg(std::span<const std::byte> file, INT width, INT height, std::uint32_t* top,
                        std::ptrdiff_t rowStep) {
    const auto jpeg = std::make_unique<JpegDecompressor>();
    if (!ReadHeader(*jpeg, file) || jpeg->info.image_width != static_cast<JDIMENSION>(width) ||
        jpeg->info.image_height != static_cast<JDIMENSION>(height) || !Decode(*jpeg, top, rowStep))
        return JpegDecoding::Failed;
    return jpeg->errors.endedEarly ? JpegDecoding::EndedEarly : JpegDecoding::Decoded;
}

} // namespace codecs
