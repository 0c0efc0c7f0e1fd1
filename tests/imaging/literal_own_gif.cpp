#include "tests/imaging/literal_own_gif.h"

#include "maps/cls_handmade_map.h"

namespace literal_own_gif {

namespace {

std::uint32_t ToArgb(std::int32_t color, std::uint32_t alpha) {
    const auto c = static_cast<std::uint32_t>(color);
    return (alpha << 24) | ((c & 0xFF) << 16) | (((c >> 8) & 0xFF) << 8) | ((c >> 16) & 0xFF);
}

} // namespace

Result Convert(std::span<const std::uint32_t> pixels, std::int32_t optionValue, std::size_t paletteCount) {
    Result r;
    const std::uint32_t keyArgb = ToArgb(optionValue, 255);

    // Stage 1, slot by slot.
    r.collected.assign(255, 0);
    for (const std::uint32_t pixel : pixels) {
        bool found = false;
        for (int slot = 0; slot <= 254; ++slot)
            if (r.collected[slot] == pixel) {
                found = true;
                break;
            }
        if (found || r.colorCount >= 254)
            continue;
        if (pixel == keyArgb) {
            r.collected[r.colorCount] = r.collected[0];
            r.collected[0] = pixel;
        } else {
            r.collected[r.colorCount] = pixel;
        }
        ++r.colorCount;
    }

    // Stage 2, entry by entry, with the displaced slot-0 colour given the first filler entry
    // when the transparent colour was not collected, and opaque fillers without one.
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
    ClsHandmadeMap indexOfColor;
    for (std::size_t i = 0; i < paletteCount; ++i) {
        const auto key = static_cast<std::int32_t>(r.palette[i] & 0x00FFFFFF);
        if (!indexOfColor.ContainsKey(key))
            indexOfColor.PutData(key, static_cast<std::int32_t>(i));
    }

    // Stage 3, one map scan per pixel; a colour without an entry scans the entries other than
    // the transparent one for the smallest squared distance, the lowest index on a tie.
    r.indexes.reserve(pixels.size());
    const std::size_t firstOpaque = optionValue != -1 ? 1 : 0;
    for (const std::uint32_t pixel : pixels) {
        const auto key = static_cast<std::int32_t>(pixel & 0x00FFFFFF);
        if (indexOfColor.ContainsKey(key)) {
            r.indexes.push_back(static_cast<std::uint8_t>(indexOfColor.GetData(key)));
            continue;
        }
        std::size_t best = firstOpaque;
        long bestDistance = -1;
        for (std::size_t i = firstOpaque; i < paletteCount; ++i) {
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
