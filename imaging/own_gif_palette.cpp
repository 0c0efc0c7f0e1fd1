#include "imaging/own_gif_palette.h"

#include "imaging/encoding_pipeline.h"
#include "maps/cls_handmade_map.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Bit j is set when pixels[j] differs from pixels[j − 1], for j from 0 to 7; pixels[−1] must
// exist. Pictures repeat a colour over long stretches (the sample changes colour at one
// pixel in fifteen), so both passes look only at the pixels where the colour changes.
unsigned ChangesInNextEight(const std::uint32_t* pixels) {
#if defined(__SSE2__)
    const auto load = [](const std::uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    const int sameLow = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(load(pixels), load(pixels - 1))));
    const int sameHigh = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(load(pixels + 4), load(pixels + 3))));
    return ~static_cast<unsigned>(sameLow | (sameHigh << 4)) & 0xFFu;
#else
    unsigned changes = 0;
    for (int j = 0; j < 8; ++j)
        changes |= static_cast<unsigned>(pixels[j] != pixels[j - 1]) << j;
    return changes;
#endif
}

// Calls visit(k) for pixel 0 and for every pixel that differs from the one before it, in
// order, until visit answers false.
template <class Visit>
void ForEachChange(std::span<const std::uint32_t> pixels, Visit visit) {
    const std::size_t count = pixels.size();
    if (count == 0 || !visit(0))
        return;
    std::size_t k = 1;
    for (; k + 8 <= count; k += 8)
        for (unsigned changes = ChangesInNextEight(&pixels[k]); changes != 0; changes &= changes - 1)
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
        collected.Add(pixel);
        ++table.ColorCount;
        return true;
    });
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
            return nearest_ ? static_cast<std::uint8_t>(nearestFirst_ + (*nearest_)(rgb)) : 0;
    }
}

void ColorIndexTable::UseNearestOf(std::span<const std::uint32_t> entries, std::size_t first) {
    if (first >= entries.size())
        return;
    std::array<gdi32::RGBQUAD, 256> table{};
    const std::size_t count = std::min(entries.size() - first, table.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t argb = entries[first + i];
        table[i] = {static_cast<std::uint8_t>(argb), static_cast<std::uint8_t>(argb >> 8),
                    static_cast<std::uint8_t>(argb >> 16), 0};
    }
    nearest_ = std::make_shared<codecs::NearestEntry>(table.data(), static_cast<int>(count));
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

void MapIndexes(std::span<const std::uint32_t> PixelValues, const ColorIndexTable& IndexOfColor,
                std::span<std::uint8_t> IndexBytes) {
    const std::size_t count = std::min(PixelValues.size(), IndexBytes.size());
    const std::uint32_t* pixels = PixelValues.data();
    std::uint8_t* indexes = IndexBytes.data();
    if (count == 0)
        return;
    std::uint32_t rgb = StripAlpha(pixels[0]);
    std::uint8_t index = IndexOfColor.Find(rgb);
    indexes[0] = index;
    // Only where the pixel changes can its index change; equal RGB keeps the index too.
    const auto follow = [&](std::size_t k) {
        if (StripAlpha(pixels[k]) != rgb) {
            rgb = StripAlpha(pixels[k]);
            index = IndexOfColor.Find(rgb);
        }
    };
    std::size_t k = 1;
    for (; k + 8 <= count; k += 8) {
        const unsigned changes = ChangesInNextEight(pixels + k);
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
    for (; k < count; ++k) {
        if (pixels[k] != pixels[k - 1])
            follow(k);
        indexes[k] = index;
    }
}

} // namespace mdlGdiplus
