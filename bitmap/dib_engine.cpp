// The DIBits engine: the effects work on the DIB section's own bytes with no platform call.
// Pixel x of memory row r is element r × width + x, and memory row 0 is the bottom row of the
// picture. The result goes straight into the section: no copy of the whole picture is made
// and none is copied back.

#include "bitmap/colour_formulas.h"
#include "bitmap/effect_routines.h"
#include "bitmap/neighbourhood_effects.h"
#include "bitmap/pixel_buffer.h"

#include <array>
#include <cstring>
#include <utility>

namespace mdlBitmap {

namespace {

// A DIB pixel splits into blue, green, red.
Rgb ReadDIBPixel(std::uint32_t pixel) {
    Rgb p;
    SplitColor(pixel, p.blue, p.green, p.red);
    return p;
}

std::uint32_t MakeDIBPixel(Rgb p) { return MakeDIBColor(p.red, p.green, p.blue); }

// Rows y − 1, y and y + 1 of the picture as it was before the effect; nullptr outside it.
using RowsAround = std::array<const std::uint32_t*, 3>;

// Runs computeRow(y, rows, out) for every memory row y from 0, where out is memory row y and
// takes row y's result at once. Rows y − 1 and y are kept as they were in two row buffers,
// since rows y and y + 1 still read them after out has overwritten them.
template <class ComputeRow>
void OverwriteRowByRow(std::uint32_t* pixels, std::int32_t width, std::int32_t height, ComputeRow&& computeRow) {
    const auto rowBytes = static_cast<std::size_t>(width) * 4;
    const auto kept = MakePixelBuffer<std::uint32_t>(2 * static_cast<std::size_t>(width));
    std::uint32_t* before = kept.get();
    std::uint32_t* here = kept.get() + width;
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint32_t* row = pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        std::memcpy(here, row, rowBytes);
        computeRow(y, RowsAround{y > 0 ? before : nullptr, here, y + 1 < height ? row + width : nullptr}, row);
        std::swap(before, here);
    }
}

// Reads pixel (x, ny) of the picture as it was, for ny within one row of y.
auto RowReader(const RowsAround& rows, std::int32_t y) {
    return [&rows, y](std::int32_t x, std::int32_t ny) { return ReadDIBPixel(rows[ny - y + 1][x]); };
}

} // namespace

bool ApplyDIBEffect(gdi32::HDC dc, std::int32_t width, std::int32_t height, void* bits, std::int32_t effect) {
    if (!HasPixels(dc, width, height))
        return false;
    // Every pixel depends on itself alone, so the pixels are changed where they lie.
    auto* const pixels = static_cast<std::uint32_t*>(bits);
    WithPixelFormula(effect, [&](auto formula) {
        ForEachPixel(width, height, [&](std::int32_t x, std::int32_t y) {
            std::uint32_t& pixel = pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x];
            pixel = MakeDIBPixel(formula(ReadDIBPixel(pixel)));
        });
    });
    return true;
}

bool ApplyDIBEmboss(gdi32::HDC dc, std::int32_t width, std::int32_t height, void* bits, std::int32_t effect) {
    if (!HasPixels(dc, width, height))
        return false;
    auto* const pixels = static_cast<std::uint32_t*>(bits);
    if (effect == kEmboss) {
        const EmbossKernel kernel;
        const InteriorEmboss interior(kernel);
        OverwriteRowByRow(pixels, width, height, [&](std::int32_t y, const RowsAround& rows, std::uint32_t* out) {
            const auto read = RowReader(rows, y);
            const auto emboss = [&](std::int32_t x) { out[x] = MakeDIBPixel(Emboss(kernel, x, y, width, height, read)); };
            if (rows[0] != nullptr && rows[2] != nullptr && width > 2) {
                // Only the first and the last pixel of an inner row have a neighbour outside.
                emboss(0);
                interior.Row(rows, out, width);
                emboss(width - 1);
            } else {
                for (std::int32_t x = 0; x < width; ++x)
                    emboss(x);
            }
        });
    } else if (effect == kEmbossFalse) {
        OverwriteRowByRow(pixels, width, height, [&](std::int32_t y, const RowsAround& rows, std::uint32_t* out) {
            std::int32_t x = 0;
            if (rows[2] != nullptr) // away from the last row and column the neighbour is (x + 1, y + 1)
                for (; x < width - 1; ++x)
                    out[x] = MakeDIBPixel(EmbossFalseStep(ReadDIBPixel(rows[1][x]), ReadDIBPixel(rows[2][x + 1])));
            const auto read = RowReader(rows, y);
            for (; x < width; ++x)
                out[x] = MakeDIBPixel(EmbossFalse(x, y, width, height, read));
        });
    }
    return true;
}

} // namespace mdlBitmap
