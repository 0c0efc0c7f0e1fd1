// The DIBits engine: the DIB section's bytes are copied into an array, changed there with
// no platform call, and copied back. Element (x, r) of an array is pixel x of memory row r,
// and memory row 0 is the bottom row of the picture.

#include "bitmap/colour_formulas.h"
#include "bitmap/effect_routines.h"
#include "bitmap/neighbourhood_effects.h"
#include "bitmap/pixel_buffer.h"

#include <cstring>

namespace mdlBitmap {

namespace {

std::size_t PixelCount(std::int32_t width, std::int32_t height) {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

// A DIB pixel splits into blue, green, red.
Rgb ReadDIBPixel(std::uint32_t pixel) {
    Rgb p;
    SplitColor(pixel, p.blue, p.green, p.red);
    return p;
}

PixelBuffer<std::uint32_t> CopyOfPixels(const void* bits, std::size_t count) {
    auto pixels = MakePixelBuffer<std::uint32_t>(count);
    std::memcpy(pixels.get(), bits, count * 4);
    return pixels;
}

} // namespace

bool ApplyDIBEffect(gdi32::HDC dc, std::int32_t width, std::int32_t height, void* bits, std::int32_t effect) {
    if (!HasPixels(dc, width, height))
        return false;
    const std::size_t count = PixelCount(width, height);
    const auto work = CopyOfPixels(bits, count);
    WithPixelFormula(effect, [&](auto formula) {
        ForEachPixel(width, height, [&](std::int32_t x, std::int32_t y) {
            std::uint32_t& element = work[static_cast<std::size_t>(y) * width + x];
            const Rgb p = formula(ReadDIBPixel(element));
            element = MakeDIBColor(p.red, p.green, p.blue);
        });
    });
    std::memcpy(bits, work.get(), count * 4);
    return true;
}

bool ApplyDIBEmboss(gdi32::HDC dc, std::int32_t width, std::int32_t height, void* bits, std::int32_t effect) {
    if (!HasPixels(dc, width, height))
        return false;
    const std::size_t count = PixelCount(width, height);
    const auto source = CopyOfPixels(bits, count);
    const auto result = MakePixelBuffer<std::uint32_t>(count);
    const bool computed = RunNeighbourhoodEffect(
        effect, width, height,
        [&](std::int32_t x, std::int32_t y) { return ReadDIBPixel(source[static_cast<std::size_t>(y) * width + x]); },
        [&](std::int32_t x, std::int32_t y, Rgb p) {
            result[static_cast<std::size_t>(y) * width + x] = MakeDIBColor(p.red, p.green, p.blue);
        });
    if (computed)
        std::memcpy(bits, result.get(), count * 4);
    return true;
}

} // namespace mdlBitmap
