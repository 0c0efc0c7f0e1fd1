#include "imaging/own_gif_palette.h"

#include "imaging/encoding_pipeline.h"
#include "maps/cls_handmade_map.h"
#include "fast/colour_runs.h"
#include "os/rows_in_parts.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace mdlGdiplus {

namespace {

// The distinct colours collected so far, for a look-up instead of a scan of the slots; at
// most 254, and 0 is never collected.
using CollectedSet = fast::KeyTable<9, 0>;

// Calls visit(k) for pixel 0 and for every pixel that differs from the one before it, in
// order, until visit answers false.
template <class Visit>
void ForEachChange(std::span<const std::uint32_t> pixels, Visit visit) {
    const std::size_t count = pixels.size();
    if (count == 0 || !visit(0))
        return;
    std::size_t k = 1;
    for (; k + 8 <= count; k += 8)
        for (unsigned changes = fast::ChangesInNextEight(&pixels[k]); changes != 0; changes &= changes - 1)
            if (!visit(k + static_cast<std::size_t>(std::countr_zero(changes))))
                return;
    for (; k < count; ++k)
        if (pixels[k] != pixels[k - 1] && !visit(k))
            return;
}

} // namespace

CollectedColorTable CollectColors(std::span<const std::uint32_t> PixelValues, std::uint32_t KeyArgb) {
    CollectedColorTable table;
    auto& slots = table.CollectedColors;
    CollectedSet collected;
    // A run of one colour is settled by its first pixel.
    ForEachChange(PixelValues, [&](std::size_t k) {
        if (table.ColorCount >= MaxCollectedColors)
            return false; // the table is full: nothing more is collected
        const std::uint32_t pixel = PixelValues[k];
        // 0 matches an unfilled slot (slot 254 is never filled), so it is never collected.
        if (pixel == 0 || collected.Contains(pixel))
            return true;
        if (pixel == KeyArgb) {
            slots[table.ColorCount] = slots[0];
            slots[0] = pixel;
        } else {
            slots[table.ColorCount] = pixel;
        }
        collected.Put(pixel, 0);
        ++table.ColorCount;
        return true;
    });
    return table;
}

void ColorIndexTable::Put(std::uint32_t rgb, std::uint8_t index) { keys_.Put(rgb, index); }

void ColorIndexTable::UseNearestOf(std::span<const std::uint32_t> entries, std::size_t first) {
    if (first >= entries.size() || first > 1)
        return;
    belowFirst_ = StripAlpha(entries[0]);
    std::array<gdi32::RGBQUAD, 256> table{};
    const std::size_t count = std::min(entries.size() - first, table.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t argb = entries[first + i];
        table[i] = {static_cast<std::uint8_t>(argb), static_cast<std::uint8_t>(argb >> 8),
                    static_cast<std::uint8_t>(argb >> 16), 0};
    }
    nearest_ = std::make_shared<fast::NearestEntry>(table.data(), static_cast<int>(count));
    nearestFirst_ = static_cast<std::uint8_t>(first);
}

ColorIndexTable BuildPalette(const CollectedColorTable& collected, std::int32_t OptionValue,
                             std::span<std::uint32_t> entries) {
    // The GIF encoder makes the lowest alpha-0 entry transparent. Without a transparent colour
    // the unused entries are therefore opaque black, or a black first met after the table is
    // full (which takes the first of them) would turn transparent.
    constexpr std::uint32_t kOpaqueBlack = 0xFF000000;
    const bool transparent = OptionValue != -1;
    const std::int32_t count = static_cast<std::int32_t>(entries.size());
    for (std::int32_t i = 0; i < count; ++i) {
        if (transparent && i == 0)
            entries[0] = OleColorToArgb(OptionValue, 0);
        else if (i < collected.ColorCount)
            entries[i] = collected.CollectedColors[i];
        else
            entries[i] = transparent ? 0x00000000 : kOpaqueBlack;
    }
    const std::uint32_t keyArgb = OleColorToArgb(OptionValue, 255);
    const std::uint32_t slot0 = collected.CollectedColors[0];
    if (transparent && collected.ColorCount > 0 && slot0 != keyArgb && collected.ColorCount < count)
        entries[collected.ColorCount] = slot0; // the colour displaced by the transparent entry

    // The map decides, lowest index first; the table is its flat copy for the pixels.
    ClsHandmadeMap IndexOfColor;
    ColorIndexTable table;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint32_t key = StripAlpha(entries[i]);
        if (!IndexOfColor.ContainsKey(static_cast<std::int32_t>(key))) {
            IndexOfColor.PutData(static_cast<std::int32_t>(key), i);
            table.Put(key, static_cast<std::uint8_t>(i));
        }
    }
    table.UseNearestOf(entries, transparent ? 1 : 0);
    return table;
}

namespace {

// Stage 3 for the pixels [first, end).
void MapIndexRange(const std::uint32_t* pixels, const ColorIndexTable& IndexOfColor, std::uint8_t* indexes,
                   std::size_t first, std::size_t end) {
    if (first >= end)
        return;
    std::uint32_t rgb = StripAlpha(pixels[first]);
    std::uint8_t index = IndexOfColor.Find(rgb);
    indexes[first] = index;
    // Only where the pixel changes can its index change; equal RGB keeps the index too.
    const auto follow = [&](std::size_t k) {
        if (StripAlpha(pixels[k]) != rgb) {
            rgb = StripAlpha(pixels[k]);
            index = IndexOfColor.Find(rgb);
        }
    };
    std::size_t k = first + 1;
    for (; k + 8 <= end; k += 8) {
        const unsigned changes = fast::ChangesInNextEight(pixels + k);
        if (changes == 0) {
            std::memset(indexes + k, index, 8);
            continue;
        }
        for (std::size_t j = 0; j < 8; ++j) {
            if (changes & (1u << j))
                follow(k + j);
            indexes[k + j] = index;
        }
    }
    for (; k < end; ++k) {
        if (pixels[k] != pixels[k - 1])
            follow(k);
        indexes[k] = index;
    }
}

} // namespace

ColorIndexTable ColorIndexTable::ForAnotherThread() const {
    ColorIndexTable copy = *this;
    if (nearest_ != nullptr)
        copy.nearest_ = std::make_shared<fast::NearestEntry>(*nearest_);
    return copy;
}

void MapIndexes(std::span<const std::uint32_t> PixelValues, const ColorIndexTable& IndexOfColor,
                std::span<std::uint8_t> IndexBytes) {
    const std::size_t count = std::min(PixelValues.size(), IndexBytes.size());
    // A photo's pixels mostly differ from their neighbours: a large picture is shared among
    // the processors, each part with a table of its own (the nearest entries' cache). The
    // copies are taken before any part starts: a look-up fills the table it uses, and a copy
    // taken meanwhile would read a cache that is being rewritten (and freed, as it grows).
    const std::vector<os::RowRange> parts = os::SplitRows(count, 1);
    std::vector<ColorIndexTable> tables{IndexOfColor};
    while (tables.size() < parts.size())
        tables.push_back(IndexOfColor.ForAnotherThread());
    os::RunParts(parts, [&](std::size_t part, os::RowRange range) {
        MapIndexRange(PixelValues.data(), tables[part], IndexBytes.data(), range.first, range.end);
    });
}

} // namespace mdlGdiplus
