// The Pixels engine: one platform call per pixel read and one per pixel written.

#include "bitmap/colour_formulas.h"
#include "bitmap/effect_routines.h"
#include "bitmap/neighbourhood_effects.h"

#include <vector>

namespace mdlBitmap {

namespace {

Rgb ReadPixel(gdi32::HDC dc, std::int32_t x, std::int32_t y) {
    Rgb p;
    SplitColor(gdi32::GetPixel(dc, x, y), p.red, p.green, p.blue);
    return p;
}

void WritePixel(gdi32::HDC dc, std::int32_t x, std::int32_t y, Rgb p) {
    gdi32::SetPixel(dc, x, y, MakeColorValue(p.red, p.green, p.blue));
}

} // namespace

bool ApplyPixelEffect(gdi32::HDC dc, std::int32_t width, std::int32_t height, std::int32_t effect) {
    if (!HasPixels(dc, width, height))
        return false;
    // Every pixel depends on itself alone, so the bitmap is changed in place.
    WithPixelFormula(effect, [&](auto formula) {
        ForEachPixel(width, height, [&](std::int32_t x, std::int32_t y) {
            WritePixel(dc, x, y, formula(ReadPixel(dc, x, y)));
        });
    });
    return true;
}

bool ApplyPixelEmboss(gdi32::HDC dc, std::int32_t width, std::int32_t height, std::int32_t effect) {
    if (!HasPixels(dc, width, height))
        return false;
    // Every output is computed from the picture as copied, so nothing is written before
    // the last pixel has been computed.
    std::vector<gdi32::COLORREF> result(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const bool computed = RunNeighbourhoodEffect(
        effect, width, height, [&](std::int32_t x, std::int32_t y) { return ReadPixel(dc, x, y); },
        [&](std::int32_t x, std::int32_t y, Rgb p) {
            result[static_cast<std::size_t>(y) * width + x] = MakeColorValue(p.red, p.green, p.blue);
        });
    if (!computed)
        return true;
    ForEachPixel(width, height, [&](std::int32_t x, std::int32_t y) {
        gdi32::SetPixel(dc, x, y, result[static_cast<std::size_t>(y) * width + x]);
    });
    return true;
}

} // namespace mdlBitmap
