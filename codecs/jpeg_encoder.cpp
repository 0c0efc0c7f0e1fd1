// JPEG through libjpeg-turbo. An error jumps back to the one setjmp below (jpeg_errors.h);
// everything that needs releasing lives in JpegCompressor, outside the function that holds
// the jump target.
//
// A large picture is compressed in bands of whole MCU rows, one processor a band at a time,
// each band a JPEG of its own whose restart interval is the band; the bands' coded data are
// then joined into one scan under the first band's headers, with a restart marker at each
// join. A decoder starts its predictions afresh at a restart marker, so the joined file
// decodes to exactly the pixels of the picture compressed in one pass (the same blocks,
// tables and coefficients); it is two bytes a join and a few bits of padding longer.

#include "codecs/encoders.h"
#include "codecs/jpeg_errors.h"
#include "os/rows_in_parts.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

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

// jpeg_set_defaults samples the colour at half the resolution both ways: an MCU (the unit
// of coding) covers 16 × 16 pixels.
constexpr int kMcuSize = 16;
// A restart interval is counted in MCUs in a 16-bit field.
constexpr std::size_t kLongestRestartInterval = 65535;

// MCUs across (or down) pixels, the last one part-filled.
std::size_t McusOver(INT pixels) {
    return (static_cast<std::size_t>(std::max(pixels, 0)) + kMcuSize - 1) / kMcuSize;
}

// rows: blue, green, red and an unused byte per pixel, top row first. restartInterval: in
// MCUs, 0 for none.
bool Compress(JpegCompressor& jpeg, INT width, INT height, int quality, JSAMPROW* rows, unsigned restartInterval) {
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
    if (info.comp_info[0].h_samp_factor * 8 != kMcuSize || info.comp_info[0].v_samp_factor * 8 != kMcuSize)
        return false; // bands would not fall on MCU rows
    info.restart_interval = restartInterval;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height)
        jpeg_write_scanlines(&info, rows + info.next_scanline, info.image_height - info.next_scanline);
    jpeg_finish_compress(&info);
    return true;
}

bool CompressInto(std::vector<std::byte>& file, INT width, INT height, int quality, JSAMPROW* rows,
                  unsigned restartInterval) {
    auto jpeg = std::make_unique<JpegCompressor>(file); // 64 KiB of buffer: not on the stack
    return Compress(*jpeg, width, height, quality, rows, restartInterval);
}

// Where a marker segment of libjpeg's own output starts (its 0xFF), or npos. Before the scan
// the segments follow each other, each with its length.
std::size_t FindSegment(const std::vector<std::byte>& file, std::uint8_t marker) {
    std::size_t at = 2; // after SOI
    while (at + 4 <= file.size() && file[at] == std::byte{0xFF}) {
        if (file[at + 1] == std::byte{marker})
            return at;
        if (file[at + 1] == std::byte{0xDA})
            break; // the scan: no segment after it
        at += 2 + (std::to_integer<std::size_t>(file[at + 2]) << 8 | std::to_integer<std::size_t>(file[at + 3]));
    }
    return std::string::npos;
}

// The coded data of a band: after its scan header, before its end-of-image marker.
bool CodedData(const std::vector<std::byte>& band, std::size_t& first, std::size_t& end) {
    const std::size_t scan = FindSegment(band, 0xDA);
    if (scan == std::string::npos || band.size() < 2 || band[band.size() - 2] != std::byte{0xFF} ||
        band.back() != std::byte{0xD9})
        return false;
    first = scan + 2 + (std::to_integer<std::size_t>(band[scan + 2]) << 8 | std::to_integer<std::size_t>(band[scan + 3]));
    end = band.size() - 2;
    return first <= end;
}

// The bands joined: the first band's headers with the picture's height, every band's coded
// data with restart markers RST0, RST1, ... RST7, RST0, ... between them, the end marker.
bool JoinBands(std::vector<std::vector<std::byte>>& bands, INT height, std::vector<std::byte>& file) {
    file = std::move(bands[0]);
    const std::size_t frame = FindSegment(file, 0xC0); // baseline: FF C0, length, precision, height
    if (frame == std::string::npos || frame + 7 > file.size())
        return false;
    file[frame + 5] = std::byte{static_cast<std::uint8_t>(height >> 8)};
    file[frame + 6] = std::byte{static_cast<std::uint8_t>(height)};
    file.resize(file.size() - 2); // its end marker
    for (std::size_t band = 1; band < bands.size(); ++band) {
        std::size_t first = 0, end = 0;
        if (!CodedData(bands[band], first, end))
            return false;
        file.push_back(std::byte{0xFF});
        file.push_back(std::byte{static_cast<std::uint8_t>(0xD0 + (band - 1) % 8)});
        file.insert(file.end(), bands[band].begin() + static_cast<std::ptrdiff_t>(first),
                    bands[band].begin() + static_cast<std::ptrdiff_t>(end));
        std::vector<std::byte>().swap(bands[band]);
    }
    file.push_back(std::byte{0xFF});
    file.push_back(std::byte{0xD9});
    return true;
}

} // namespace

namespace detail {

EncodedFile EncodeJpegRowsInBands(INT width, INT height, std::span<const ARGB* const> rows, const JpegOptions& options,
                                  std::size_t mcuRowsPerBand, std::size_t parts) {
    if (width <= 0 || height <= 0 || rows.size() != static_cast<std::size_t>(height) || options.quality < 0 ||
        options.quality > 100)
        return Fails(EncodeFailure::UnsupportedImage);
    // libjpeg reads the rows without writing them; its interface has no const.
    std::vector<JSAMPROW> samples(rows.size());
    for (std::size_t y = 0; y < rows.size(); ++y)
        samples[y] = reinterpret_cast<JSAMPROW>(const_cast<ARGB*>(rows[y]));
    const std::size_t mcuRows = McusOver(height);
    const std::size_t mcusPerRow = McusOver(width);
    mcuRowsPerBand = std::clamp<std::size_t>(mcuRowsPerBand, 1, kLongestRestartInterval / mcusPerRow);
    const std::size_t bandCount = (mcuRows + mcuRowsPerBand - 1) / mcuRowsPerBand;
    std::vector<std::byte> file;
    if (bandCount <= 1) {
        if (!CompressInto(file, width, height, options.quality, samples.data(), 0))
            return Fails(EncodeFailure::LibraryFailed);
        return file;
    }
    const auto restartInterval = static_cast<unsigned>(mcuRowsPerBand * mcusPerRow);
    std::vector<std::vector<std::byte>> bands(bandCount);
    std::vector<char> compressed(bandCount, 0);
    // Consecutive bands a part: a part's thread compresses them one after the other.
    parts = std::clamp<std::size_t>(parts, 1, bandCount);
    const std::size_t bandsPerPart = (bandCount + parts - 1) / parts;
    std::vector<os::RowRange> groups;
    for (std::size_t first = 0; first < bandCount; first += bandsPerPart)
        groups.push_back({first, std::min(first + bandsPerPart, bandCount)});
    os::RunParts(groups, [&](std::size_t, os::RowRange group) {
        for (std::size_t band = group.first; band < group.end; ++band) {
            const std::size_t top = band * mcuRowsPerBand * kMcuSize;
            const std::size_t bottom = std::min(top + mcuRowsPerBand * kMcuSize, static_cast<std::size_t>(height));
            compressed[band] = CompressInto(bands[band], width, static_cast<INT>(bottom - top), options.quality,
                                            samples.data() + top, restartInterval);
        }
    });
    if (std::find(compressed.begin(), compressed.end(), 0) != compressed.end() || !JoinBands(bands, height, file))
        return Fails(EncodeFailure::LibraryFailed);
    return file;
}

} // namespace detail

EncodedFile EncodeJpegRows(INT width, INT height, std::span<const ARGB* const> rows, const JpegOptions& options) {
    // As many bands as the picture is shared into for any other pass over it (one below two
    // million pixels), each of whole MCU rows.
    const std::size_t mcuRows = McusOver(height);
    const std::size_t parts = os::SplitRows(mcuRows, static_cast<std::size_t>(std::max(width, 0)) * kMcuSize).size();
    return detail::EncodeJpegRowsInBands(width, height, rows, options, (mcuRows + parts - 1) / parts, parts);
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
