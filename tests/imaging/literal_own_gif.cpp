#include "tests/imaging/literal_own_gif.h"

#include "maps/cls_handmade_map.h"

#include <algorithm>

namespace literal_own_gif {

Result Convert(std::span<const std::uint32_t> pixels, std::int32_t optionValue, std::size_t paletteCount) {
    const auto ToArgb = [](std::int32_t color, std::uint32_t alpha) { // an OLE colour, 0x00BBGGRR
        const auto c = static_cast<std::uint32_t>(color);
        return (alpha << 24) | ((c & 0xFF) << 16) | (((c >> 8) & 0xFF) << 8) | ((c >> 16) & 0xFF);
    };
    Result r;
    const std::uint32_t keyArgb = ToArgb(optionValue, 255);

    // Stage 1: 0 matches an unfilled slot; the transparent colour takes slot 0, whose colour moves to the end.
    r.collected.assign(255, 0);
    for (const std::uint32_t pixel : pixels) {
        if (std::find(r.collected.begin(), r.collected.end(), pixel) != r.collected.end() || r.colorCount >= 254)
            continue;
        r.collected[r.colorCount] = pixel == keyArgb ? r.collected[0] : pixel;
        if (pixel == keyArgb)
            r.collected[0] = pixel;
        ++r.colorCount;
    }

    // Stage 2: a transparent colour not collected gives the first filler the displaced slot-0 colour.
    r.palette.assign(paletteCount, 0);
    for (std::size_t i = 0; i < paletteCount; ++i) {
        if (optionValue != -1 && i == 0)
            r.palette[i] = ToArgb(optionValue, 0);
        else if (static_cast<std::int32_t>(i) < r.colorCount)
            r.palette[i] = r.collected[i];
        else if (optionValue != -1 && r.colorCount > 0 && r.collected[0] != keyArgb &&
                 static_cast<std::int32_t>(i) == r.colorCount)
            r.palette[i] = r.collected[0];
        else
            r.palette[i] = optionValue != -1 ? 0x00000000 : 0xFF000000;
    }
    ClsHandmadeMap indexOfColor; // by RGB, the lowest index
    for (std::size_t i = 0; i < paletteCount; ++i)
        if (!indexOfColor.ContainsKey(static_cast<std::int32_t>(r.palette[i] & 0x00FFFFFF)))
            indexOfColor.PutData(static_cast<std::int32_t>(r.palette[i] & 0x00FFFFFF), static_cast<std::int32_t>(i));

    // Stage 3: a colour without an entry takes the nearest other than the transparent one, the lowest on a tie.
    r.indexes.reserve(pixels.size());
    for (const std::uint32_t pixel : pixels) {
        const auto key = static_cast<std::int32_t>(pixel & 0x00FFFFFF);
        if (indexOfColor.ContainsKey(key)) {
            r.indexes.push_back(static_cast<std::uint8_t>(indexOfColor.GetData(key)));
            continue;
        }
        std::size_t best = optionValue != -1 ? 1 : 0;
        long bestDistance = -1;
        for (std::size_t i = best; i < paletteCount; ++i) {
            long distance = 0;
            for (int shift : {0, 8, 16}) {
                const long d = static_cast<long>((pixel >> shift) & 0xFF) - static_cast<long>((r.palette[i] >> shift) & 0xFF);
                distance += d * d;
            }
            if (bestDistance < 0 || distance < bestDistance) {
                best = i;
                bestDistance = distance;
            }
        }
        r.indexes.push_back(static_cast<std::uint8_t>(best));
    }
    return r;
}

} // namespace literal_own_gif
