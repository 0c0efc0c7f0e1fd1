#pragma once

// The decisions of the own GIF conversion, as pure computations on arrays: which colours are
// collected and in which slots (stage 1), what each palette entry holds and which colour gets
// which index (stage 2), and the index of every pixel (stage 3). The imaging calls around
// them only read the pixels and make, fill and save the indexed bitmap.
//
// The scans over the 255 slots and the map are replaced by hashed look-ups with the same
// results: the same slots, the same entries, the same index for every pixel.

#include "fast/key_table.h"
#include "fast/nearest_entry.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>

namespace mdlGdiplus {

inline constexpr std::size_t CollectedColorSlots = 255; // slot 254 is never filled
inline constexpr std::int32_t MaxCollectedColors = 254;

// Red, green and blue of an ARGB value, in their places.
constexpr std::uint32_t StripAlpha(std::uint32_t argb) { return argb & 0x00FFFFFFu; }

struct CollectedColorTable {
    std::array<std::uint32_t, CollectedColorSlots> CollectedColors{}; // ARGB, 0 where unfilled
    std::int32_t ColorCount = 0;
};

// Stage 1: the first 254 distinct ARGB values in row-major order of first appearance, except
// that KeyArgb, once met, takes slot 0 and the colour that held slot 0 moves to KeyArgb's
// slot. The value 0 is never collected: it always matches an unfilled slot.
CollectedColorTable CollectColors(std::span<const std::uint32_t> PixelValues, std::uint32_t KeyArgb);

// IndexOfColor flattened for the per-pixel look-ups: 24-bit RGB → palette index. A colour
// without an entry (one met after the table was full) gets the nearest of the opaque
// entries named by UseNearestOf, by the distance and tie rule of GetDIBits's conversion;
// 0 before that, as the map answers for an absent key.
class ColorIndexTable {
public:
    void Put(std::uint32_t rgb, std::uint8_t index);
    std::uint8_t Find(std::uint32_t rgb) const {
        if (nearest_ == nullptr)
            return static_cast<std::uint8_t>(keys_.Find(rgb, 0));
        if (nearestFirst_ == 1 && rgb == belowFirst_)
            return 0;
        return static_cast<std::uint8_t>(nearestFirst_ + (*nearest_)(rgb));
    }
    // The entries from index first (0 or 1) on (ARGB) are the candidates for colours without one.
    void UseNearestOf(std::span<const std::uint32_t> entries, std::size_t first);
    // A copy with a cache of its own, for use on another thread.
    ColorIndexTable ForAnotherThread() const;

private:
    // Every colour with an entry from index first on has that entry as its nearest (distance
    // 0, lowest index first), so once the candidates are known only the colour of entry 0,
    // when it is not a candidate, needs a look of its own.
    std::shared_ptr<fast::NearestEntry> nearest_; // its cache fills as colours are looked up, so
                                                  // copies share it on one thread only
    std::uint8_t nearestFirst_ = 0;
    std::uint32_t belowFirst_ = 0; // the RGB of entry 0
    fast::KeyTable<9, 0xFFFFFFFF> keys_; // at most 256 keys; no RGB value has a top byte
};

// Stage 2: rewrites the palette entries (as many as the bitmap's palette has) and answers the
// colour-to-index table. Entry 0 is the transparent colour with alpha 0 when OptionValue is a
// colour; entry i below ColorCount is slot i; the rest are black: 0x00000000 with a transparent
// colour, opaque 0xFF000000 without one (so that the file has no transparent entry at all).
// The lowest entry with a given RGB owns that RGB. A colour without an entry gets the nearest
// entry that is not the transparent one, so a photo's colours past the first 254 neither
// turn transparent nor all become one colour; a picture whose colours all fit is unaffected.
//
// When a transparent colour is given but was not collected, the colour in slot 0 would lose
// its entry to the transparent one and its pixels would turn transparent. It gets the first
// filler entry (index ColorCount) instead; every other slot keeps its index.
ColorIndexTable BuildPalette(const CollectedColorTable& collected, std::int32_t OptionValue,
                             std::span<std::uint32_t> entries);

// Stage 3: the palette index of each pixel's RGB, in the pixels' order.
void MapIndexes(std::span<const std::uint32_t> PixelValues, const ColorIndexTable& IndexOfColor,
                std::span<std::uint8_t> IndexBytes);

} // namespace mdlGdiplus
