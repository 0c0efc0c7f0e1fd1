// JPEG through libjpeg-turbo. An error jumps back to the one setjmp below (jpeg_errors.h);
// everything that needs releasing lives in JpegCompressor, outside the function that holds
// the jump target.

#include "codecs/encoders.h"
#include "codecs/jpeg_errors.h"

#include <memory>
#include <new>

namespace codecs {

namespace {

using detail::JumpingErrorManager;

// A destination that appends the compressed bytes to a vector through a fixed buffer.
struct VectorDestination {
    jpeg_destination_mgr base; // first, as above
    std::vector<std::byte>* file = nullptr;
    JOCTET buffer[1 << 16];
};

bool Append(j_compress_ptr info, std::size_t count) {
    auto* destination = reinterpret_cast<VectorDestination*>(info->dest);
    const auto* bytes = reinterpret_cast<const std::byte*>(destination->buffer);
    try {
        destination->file->insert(destination->file->end(), bytes, bytes + count);
    } catch (const std::bad_alloc&) {
        return false; // no exception may cross libjpeg's frames
    }
    destination->base.next_output_byte = destination->buffer;
    destination->base.free_in_buffer = sizeof(destination->buffer);
    return true;
}

void StartDestination(j_compress_ptr info) {
    auto* destination = reinterpret_cast<VectorDestination*>(info->dest);
    destination->base.next_output_byte = destination->buffer;
    destination->base.free_in_buffer = sizeof(destination->buffer);
}

boolean EmptyDestination(j_compress_ptr info) {
    if (!Append(info, sizeof(VectorDestination::buffer)))
        info->err->error_exit(reinterpret_cast<j_common_ptr>(info));
    return TRUE;
}

void TerminateDestination(j_compress_ptr info) {
    auto* destination = reinterpret_cast<VectorDestination*>(info->dest);
    if (!Append(info, sizeof(destination->buffer) - destination->base.free_in_buffer))
        info->err->error_exit(reinterpret_cast<j_common_ptr>(info));
}

// Owns the compressor; its destination appends to file.
class JpegCompressor {
public:
    explicit JpegCompressor(std::vector<std::byte>& file) {
        detail::UseJumpingErrors(info, errors);
        destination.file = &file;
        destination.base.init_destination = StartDestination;
        destination.base.empty_output_buffer = EmptyDestination;
        destination.base.term_destination = TerminateDestination;
    }
    ~JpegCompressor() {
        if (created)
            jpeg_destroy_compress(&info);
    }
    JpegCompressor(const JpegCompressor&) = delete;
    JpegCompressor& operator=(const JpegCompressor&) = delete;

    jpeg_compress_struct info{};
    JumpingErrorManager errors{};
    VectorDestination destination{};
    bool created = false;
};

// rows: blue, green, red and an unused byte per pixel, top row first.
bool Compress(JpegCompressor& jpeg, INT width, INT height, int quality, JSAMPROW* rows) {
    jpeg_compress_struct& info = jpeg.info;
    if (setjmp(jpeg.errors.jump))
        return false;
    jpeg_create_compress(&info);
    jpeg.created = true;
    info.dest = &jpeg.destination.base;
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height)
        jpeg_write_scanlines(&info, rows + info.next_scanline, info.image_height - info.next_scanline);
    jpeg_finish_compress(&info);
    return true;
}

} // namespace

EncodedFile EncodeJpegRows(INT width, INT height, std::span<const ARGB* const> rows, const JpegOptions& options) {
    if (width <= 0 || height <= 0 || rows.size() != static_cast<std::size_t>(height) || options.quality < 0 ||
        options.quality > 100)
        return Fails(EncodeFailure::UnsupportedImage);
    // libjpeg reads the rows without writing them; its interface has no const.
    std::vector<JSAMPROW> samples(rows.size());
    for (std::size_t y = 0; y < rows.size(); ++y)
        samples[y] = reinterpret_cast<JSAMPROW>(const_cast<ARGB*>(rows[y]));
    std::vector<std::byte> file;
    auto jpeg = std::make_unique<JpegCompressor>(file); // 64 KiB of buffer: not on the stack
    if (!Compress(*jpeg, width, height, options.quality, samples.data()))
        return Fails(EncodeFailure::LibraryFailed);
    return file;
}

EncodedFile EncodeJpeg(const PixelImage& image, const JpegOptions& options) {
    if (image.width <= 0 || image.height <= 0)
        return Fails(EncodeFailure::UnsupportedImage);
    // An indexed image is first looked up through its palette.
    std::vector<ARGB> expanded;
    if (image.IsIndexed()) {
        expanded.resize(static_cast<std::size_t>(image.width) * image.height);
        for (INT y = 0; y < image.height; ++y)
            for (INT x = 0; x < image.width; ++x)
                expanded[static_cast<std::size_t>(image.width) * y + x] = image.PixelAt(x, y);
    }
    std::vector<const ARGB*> rows(static_cast<std::size_t>(image.height));
    for (INT y = 0; y < image.height; ++y)
        rows[y] = image.IsIndexed() ? expanded.data() + static_cast<std::size_t>(image.width) * y : image.Row32(y);
    return EncodeJpegRows(image.width, image.height, rows, options);
}

} // namespace codecs
