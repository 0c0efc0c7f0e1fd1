// The DIBits engine: the effects work on the DIB section's own bytes with no platform call.
// Pixel x of memory row r is element r × width + x, and memory row 0 is the bottom row of the
// picture. The result goes straight into the section: no copy of the whole picture is made
// and none is copied back.

#include "bitmap/colour_formulas.h"
#include "bitmap/effect_routines.h"
#include "bitmap/neighbourhood_effects.h"
#include "os/pixel_buffer.h"
#include "os/rows_in_parts.h"

#include <array>
#include <cstring>
#include <utility>
#include <vector>

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

// Runs computeRow(y, rows, out) for every memory row y, where out is memory row y and takes
// row y's result at once. Rows y − 1 and y are kept as they were in two row buffers, since
// rows y and y + 1 still read them after out has overwritten them. A large picture is worked
// on in parts side by side; where two parts meet, each reads a row the other overwrites, so
// the two rows at every border are kept as they were before any part starts.
template <class ComputeRow>
void OverwriteRowByRow(std::uint32_t* pixels, std::int32_t width, std::int32_t height, ComputeRow&& computeRow) {
    const auto columns = static_cast<std::size_t>(width);
    const auto rowBytes = columns * 4;
    const auto memoryRow = [&](std::size_t y) { return pixels + y * columns; };
    const std::vector<os::RowRange> parts = os::SplitRows(static_cast<std::size_t>(height), columns);
    // Border k − 1 (between parts k − 1 and k): the last row of part k − 1, then the first of part k.
    const auto borders = os::MakePixelBuffer<std::uint32_t>(2 * (parts.size() - 1) * columns);
    const auto borderRow = [&](std::size_t border, std::size_t which) {
        return borders.get() + (2 * border + which) * columns;
    };
    for (std::size_t part = 1; part < parts.size(); ++part) {
        std::memcpy(borderRow(part - 1, 0), memoryRow(parts[part].first - 1), rowBytes);
        std::memcpy(borderRow(part - 1, 1), memoryRow(parts[part].first), rowBytes);
    }
    os::RunParts(parts, [&](std::size_t part, os::RowRange range) {
        const auto kept = os::MakePixelBuffer<std::uint32_t>(2 * columns);
        std::uint32_t* before = kept.get();
        std::uint32_t* here = kept.get() + columns;
        if (part > 0)
            std::memcpy(before, borderRow(part - 1, 0), rowBytes);
        const std::uint32_t* rowAbovePart = part + 1 < parts.size() ? borderRow(part, 1) : nullptr;
        for (std::size_t y = range.first; y < range.end; ++y) {
            std::uint32_t* row = memoryRow(y);
            std::memcpy(here, row, rowBytes);
            const std::uint32_t* next = y + 1 == range.end ? rowAbovePart : row + columns;
            computeRow(static_cast<std::int32_t>(y), RowsAround{y > 0 ? before : nullptr, here, next}, row);
            std::swap(before, here);
        }
    });
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
    const auto columns = static_cast<std::size_t>(width);
    WithPixelFormula(effect, [&](auto formula) {
        os::ForRowsInParts(static_cast<std::size_t>(height), columns, [&](std::size_t first, std::size_t end) {
            for (std::size_t i = first * columns; i < end * columns; ++i)
                pixels[i] = MakeDIBPixel(formula(ReadDIBPixel(pixels[i])));
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
