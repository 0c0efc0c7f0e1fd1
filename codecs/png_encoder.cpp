// PNG: the rows are filtered here and compressed in one piece by libdeflate; libpng writes
// the file around them (signature, IHDR, PLTE, tRNS, then the image data and IEND as plain
// chunks). libpng's own compression is zlib's streaming deflate, which takes twice as long
// as libdeflate for a file of the same size, and libpng offers no way to plug in another
// compressor.

#include "codecs/encoders.h"
#include "os/pixel_buffer.h"

#include <libdeflate.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <new>

namespace codecs {

namespace {

// libdeflate's level 7: on the pictures this program saves, files within 3 % of zlib's level
// 6 in about half its time. Level 6 gives files 1-4 % larger for 8 % less time; level 8,
// 5-6 % smaller for 50-80 % more.
constexpr int kCompressionLevel = 7;

// Data of one IDAT chunk at most; decoders read any size, this keeps each chunk's CRC pass
// short and the length field far from its limit.
constexpr std::size_t kIdatChunkBytes = std::size_t{1} << 20;

constexpr png_byte kFilterNone = 0;
constexpr png_byte kFilterUp = 2;

// Owns the libpng write and info structures.
class PngWriter {
public:
    PngWriter() {
        png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        if (png_ != nullptr)
            info_ = png_create_info_struct(png_);
    }
    ~PngWriter() { png_destroy_write_struct(&png_, &info_); }
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

struct FreeCompressor {
    void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};

// Bytes in memory, owned, not zero-filled first: every byte is written before it is read.
struct Buffer {
    os::PixelBuffer<png_byte> bytes;
    std::size_t size = 0;
};

void AppendToFile(png_structp png, png_bytep data, png_size_t length) {
    auto* file = static_cast<std::vector<std::byte>*>(png_get_io_ptr(png));
    const auto* bytes = reinterpret_cast<const std::byte*>(data);
    bool grown = true;
    try {
        file->insert(file->end(), bytes, bytes + length);
    } catch (const std::bad_alloc&) {
        grown = false; // no exception may cross libpng's frames
    }
    if (!grown)
        png_error(png, "out of memory");
}

void NothingToFlush(png_structp) {}

std::size_t BytesPerPixel(const PixelImage& image) {
    return image.IsIndexed() ? 1 : image.HasAlpha() ? 4 : 3;
}

void PackArgbRow(const ARGB* pixels, INT width, png_byte* row) {
    for (INT x = 0; x < width; ++x, row += 4) {
        row[0] = static_cast<png_byte>(pixels[x] >> 16);
        row[1] = static_cast<png_byte>(pixels[x] >> 8);
        row[2] = static_cast<png_byte>(pixels[x]);
        row[3] = static_cast<png_byte>(pixels[x] >> 24);
    }
}

void PackOpaqueRow(const ARGB* pixels, INT width, png_byte* row) {
    for (INT x = 0; x < width; ++x, row += 3) {
        row[0] = static_cast<png_byte>(pixels[x] >> 16);
        row[1] = static_cast<png_byte>(pixels[x] >> 8);
        row[2] = static_cast<png_byte>(pixels[x]);
    }
}

// One row as the file stores it: red, green, blue (and alpha) from the ARGB values, or the
// indexes as they are.
void PackRow(const PixelImage& image, INT y, png_byte* row) {
    if (image.IsIndexed()) {
        std::memcpy(row, image.Row8(y), static_cast<std::size_t>(image.width));
        return;
    }
    const ARGB* pixels = image.Row32(y);
    if (image.HasAlpha()) {
        PackArgbRow(pixels, image.width, row);
    } else {
        PackOpaqueRow(pixels, image.width, row);
    }
}

// The image data before compression: each row preceded by its filter type. A row that
// repeats the row above is filtered Up (it becomes all zeros); every other row is stored as
// it is (None). Pictures of flat colours and smooth bands, like those this program saves,
// compress better as raw bytes repeating than as filtered differences, except where whole
// rows repeat: against None on every row the file is 1-25 % smaller (more the larger the
// picture) for one comparison per row, and against libpng's adaptive choice of filters
// 15-35 % smaller in half the time.
// pack(y, out) writes row y as the file stores it.
template <class PackRowInto>
Buffer FilteredRows(INT height, std::size_t rowBytes, PackRowInto pack) {
    const std::size_t stride = 1 + rowBytes;
    Buffer rows{os::MakePixelBuffer<png_byte>(stride * height), stride * height};
    const png_byte* lastStored = nullptr; // the last row stored as it is: the one every Up row repeats
    for (INT y = 0; y < height; ++y) {
        png_byte* row = rows.bytes.get() + stride * y;
        pack(y, row + 1);
        if (lastStored != nullptr && std::memcmp(row + 1, lastStored, rowBytes) == 0) {
            row[0] = kFilterUp;
            std::memset(row + 1, 0, rowBytes);
        } else {
            row[0] = kFilterNone;
            lastStored = row + 1;
        }
    }
    return rows;
}

// The zlib stream of the IDAT chunks.
Buffer Compress(const Buffer& rows) {
    const std::unique_ptr<libdeflate_compressor, FreeCompressor> compressor(libdeflate_alloc_compressor(kCompressionLevel));
    if (compressor == nullptr)
        throw std::bad_alloc();
    const std::size_t bound = libdeflate_zlib_compress_bound(compressor.get(), rows.size);
    Buffer stream{os::MakePixelBuffer<png_byte>(bound), 0}; // pages past the result stay untouched
    stream.size = libdeflate_zlib_compress(compressor.get(), rows.bytes.get(), rows.size, stream.bytes.get(), bound);
    return stream; // size 0: did not fit the bound, which cannot happen
}

// libpng reports errors by longjmp back here, so this function keeps nothing that needs a
// destructor; everything it uses is owned by the caller.
bool WritePng(const PngWriter& writer, INT width, INT height, int colorType, const std::vector<png_color>& plte,
              const std::vector<png_byte>& trns, const Buffer& stream, std::vector<std::byte>& file) {
    png_structp png = writer.png();
    png_infop info = writer.info();
    if (setjmp(png_jmpbuf(png)))
        return false;

    png_set_write_fn(png, &file, AppendToFile, NothingToFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, colorType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_PLTE(png, info, plte.data(), static_cast<int>(plte.size()));
        if (!trns.empty())
            png_set_tRNS(png, info, trns.data(), static_cast<int>(trns.size()), nullptr);
    }
    png_write_info(png, info);
    for (std::size_t at = 0; at < stream.size; at += kIdatChunkBytes)
        png_write_chunk(png, reinterpret_cast<png_const_bytep>("IDAT"), stream.bytes.get() + at,
                        std::min(kIdatChunkBytes, stream.size - at));
    png_write_chunk(png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
    return true;
}

EncodedFile Assemble(const PngWriter& writer, INT width, INT height, int colorType, const std::vector<png_color>& plte,
                     const std::vector<png_byte>& trns, const Buffer& stream) {
    if (stream.size == 0)
        return Fails(EncodeFailure::LibraryFailed);
    std::vector<std::byte> file;
    file.reserve(stream.size + 1024); // the chunks around the image data are small
    if (!WritePng(writer, width, height, colorType, plte, trns, stream, file))
        return Fails(EncodeFailure::LibraryFailed);
    return file;
}

} // namespace

EncodedFile EncodePng(const PixelImage& image) {
    if (image.width <= 0 || image.height <= 0)
        return Fails(EncodeFailure::UnsupportedImage);
    PngWriter writer;
    if (writer.png() == nullptr || writer.info() == nullptr)
        return Fails(EncodeFailure::OutOfMemory);

    std::vector<png_color> plte;
    std::vector<png_byte> trns;
    if (image.IsIndexed()) {
        const std::vector<ARGB> entries = PaletteCoveringIndexes(image);
        std::size_t lastTranslucent = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const ARGB entry = entries[i];
            plte.push_back(png_color{static_cast<png_byte>(entry >> 16), static_cast<png_byte>(entry >> 8),
                                     static_cast<png_byte>(entry)});
            trns.push_back(static_cast<png_byte>(entry >> 24));
            if ((entry >> 24) != 0xFF)
                lastTranslucent = i + 1;
        }
        trns.resize(lastTranslucent); // entries past the last translucent one are opaque anyway
    }
    const int colorType = image.IsIndexed() ? PNG_COLOR_TYPE_PALETTE
                          : image.HasAlpha() ? PNG_COLOR_TYPE_RGB_ALPHA
                                             : PNG_COLOR_TYPE_RGB;
    const Buffer stream = Compress(FilteredRows(image.height, static_cast<std::size_t>(image.width) * BytesPerPixel(image),
                                                [&image](INT y, png_byte* row) { PackRow(image, y, row); }));
    return Assemble(writer, image.width, image.height, colorType, plte, trns, stream);
}

EncodedFile EncodePngRows(INT width, INT height, std::span<const ARGB* const> rows) {
    if (width <= 0 || height <= 0 || rows.size() != static_cast<std::size_t>(height))
        return Fails(EncodeFailure::UnsupportedImage);
    PngWriter writer;
    if (writer.png() == nullptr || writer.info() == nullptr)
        return Fails(EncodeFailure::OutOfMemory);
    const Buffer stream = Compress(FilteredRows(height, static_cast<std::size_t>(width) * 3,
                                                [&](INT y, png_byte* row) { PackOpaqueRow(rows[y], width, row); }));
    return Assemble(writer, width, height, PNG_COLOR_TYPE_RGB, {}, {}, stream);
}

EncodedFile EncodePngArgbRows(INT width, INT height, const std::function<void(INT y, ARGB* out)>& row) {
    if (width <= 0 || height <= 0)
        return Fails(EncodeFailure::UnsupportedImage);
    PngWriter writer;
    if (writer.png() == nullptr || writer.info() == nullptr)
        return Fails(EncodeFailure::OutOfMemory);
    std::vector<ARGB> pixels(static_cast<std::size_t>(width));
    const Buffer stream = Compress(FilteredRows(height, static_cast<std::size_t>(width) * 4, [&](INT y, png_byte* out) {
        row(y, pixels.data());
        PackArgbRow(pixels.data(), width, out);
    }));
    return Assemble(writer, width, height, PNG_COLOR_TYPE_RGB_ALPHA, {}, {}, stream);
}

} // namespace codecs
