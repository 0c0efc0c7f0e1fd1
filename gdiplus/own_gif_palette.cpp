#include "gdiplus/own_gif_palette.h"

#include "gdiplus/encoding_pipeline.h"
#include "gdiplus/handmade_map_stand_in.h"

namespace mdlGdiplus {

namespace {

// The distinct colours collected so far, for a look-up instead of a scan of the slots.
class CollectedSet {
public:
    bool Contains(std::uint32_t argb) const {
        for (std::size_t slot = SlotOf(argb);; slot = (slot + 1) % kSlots) {
            if (values_[slot] == argb)
                return true;
            if (values_[slot] == kEmpty)
                return false;
        }
    }
    void Add(std::uint32_t argb) {
        std::size_t slot = SlotOf(argb);
        while (values_[slot] != kEmpty)
            slot = (slot + 1) % kSlots;
        values_[slot] = argb;
    }

private:
    static constexpr std::size_t kSlots = 512; // at most 254 values
    static constexpr std::uint32_t kEmpty = 0; // 0 is never collected
    static std::size_t SlotOf(std::uint32_t argb) { return (argb * 2654435761u) >> 23; }
    std::array<std::uint32_t, kSlots> values_{};
};

} // namespace

CollectedColorTable CollectColors(std::span<const std::uint32_t> PixelValues, std::uint32_t KeyArgb) {
    CollectedColorTable table;
    auto& slots = table.CollectedColors;
    CollectedSet collected;
    std::uint32_t previous = 0; // neighbours repeat: the previous pixel was settled already
    for (const std::uint32_t pixel : PixelValues) {
        if (table.ColorCount >= MaxCollectedColors)
            break; // the table is full: nothing more is collected
        // 0 matches an unfilled slot (slot 254 is never filled), so it is never collected.
        if (pixel == previous)
            continue;
        previous = pixel;
        if (pixel == 0 || collected.Contains(pixel))
            continue;
        if (pixel == KeyArgb) {
            slots[table.ColorCount] = slots[0];
            slots[0] = pixel;
        } else {
            slots[table.ColorCount] = pixel;
        }
        collected.Add(pixel);
        ++table.ColorCount;
    }
    return table;
}

ColorIndexTable::ColorIndexTable() { keys_.fill(kEmpty); }

void ColorIndexTable::Put(std::uint32_t rgb, std::uint8_t index) {
    std::size_t slot = SlotOf(rgb);
    while (keys_[slot] != kEmpty && keys_[slot] != rgb)
        slot = (slot + 1) % kSlots;
    keys_[slot] = rgb;
    values_[slot] = index;
}

std::uint8_t ColorIndexTable::Find(std::uint32_t rgb) const {
    for (std::size_t slot = SlotOf(rgb);; slot = (slot + 1) % kSlots) {
        if (keys_[slot] == rgb)
            return values_[slot];
        if (keys_[slot] == kEmpty)
            return 0;
    }
}

ColorIndexTable BuildPalette(const CollectedColorTable& collected, std::int32_t OptionValue,
                             std::span<std::uint32_t> entries) {
    const bool transparent = OptionValue != -1;
    const std::int32_t count = static_cast<std::int32_t>(entries.size());
    for (std::int32_t i = 0; i < count; ++i) {
        if (transparent && i == 0)
            entries[0] = OleColorToArgb(OptionValue, 0);
        else if (i < collected.ColorCount)
            entries[i] = collected.CollectedColors[i];
        else
            entries[i] = 0x00000000;
    }
    const std::uint32_t keyArgb = OleColorToArgb(OptionValue, 255);
    const std::uint32_t slot0 = collected.CollectedColors[0];
    if (transparent && collected.ColorCount > 0 && slot0 != keyArgb && collected.ColorCount < count)
        entries[collected.ColorCount] = slot0; // the colour displaced by the transparent entry

    // The map decides, lowest index first; the table is its flat copy for the pixels.
    ClsHandmadeMap IndexOfColor;
    for (std::int32_t i = 0; i < count; ++i) {
        const auto key = static_cast<std::int32_t>(StripAlpha(entries[i]));
        if (!IndexOfColor.ContainsKey(key))
            IndexOfColor.PutData(key, i);
    }
    ColorIndexTable table;
    for (std::int32_t i = 0; i < count; ++i) {
        const auto key = static_cast<std::int32_t>(StripAlpha(entries[i]));
        table.Put(static_cast<std::uint32_t>(key), static_cast<std::uint8_t>(IndexOfColor.GetData(key)));
    }
    return table;
}

void MapIndexes(std::span<const std::uint32_t> PixelValues, const ColorIndexTable& IndexOfColor,
                std::span<std::uint8_t> IndexBytes) {
    std::uint32_t previousRgb = 0xFFFFFFFFu; // matches no pixel's RGB
    std::uint8_t previousIndex = 0;
    for (std::size_t k = 0; k < PixelValues.size() && k < IndexBytes.size(); ++k) {
        const std::uint32_t rgb = StripAlpha(PixelValues[k]);
        if (rgb != previousRgb) {
            previousRgb = rgb;
            previousIndex = IndexOfColor.Find(rgb);
        }
        IndexBytes[k] = previousIndex;
    }
}

} // namespace mdlGdiplus
