#pragma once

// The colour-table entry nearest to a pixel, as GetDIBits converts to 1, 4 and 8 bits; the
// own GIF conversion gives the same answer to a colour that found no place in its palette.
// The table is any array of entries with the fields rgbRed, rgbGreen and rgbBlue (a DIB
// colour table).

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace codecs {

// The colour-table entry nearest to a pixel (squared distance in RGB, lowest index on a
// tie), remembered per colour in a small cache of two ways a set: a picture has far fewer
// colours than pixels, so almost every pixel is a lookup rather than a scan of the table,
// also where two colours that fall into one set take turns (a dithered area).
class NearestEntry {
public:
    template <class TableEntry>
    NearestEntry(const TableEntry* table, int entries) : entries_(entries) {
        for (int i = 0; i < entries; ++i) {
            red_[i] = table[i].rgbRed;
            green_[i] = table[i].rgbGreen;
            blue_[i] = table[i].rgbBlue;
        }
    }

    std::uint8_t operator()(std::uint32_t pixel) {
        const std::uint32_t key = (pixel & 0xFFFFFF) | kValid;
        const std::size_t set = ((key * 2654435761u) >> 20) & (kLines - 1) & ~std::size_t{1};
        Line& recent = cache_[set];
        if (recent.key == key)
            return recent.index;
        Line& older = cache_[set + 1];
        if (older.key == key) {
            std::swap(recent, older);
            return recent.index;
        }
        older = recent;
        recent = Line{key, Search(pixel)};
        return recent.index;
    }

private:
    static constexpr std::uint32_t kValid = 0x01000000;
    static constexpr std::size_t kLines = 4096;
    struct Line {
        std::uint32_t key = 0;
        std::uint8_t index = 0;
    };

    // Every distance first, then the first of the smallest: two loops the compiler turns
    // into vector code, where one loop with a running best would not be.
    std::uint8_t Search(std::uint32_t pixel) const {
        const int red = (pixel >> 16) & 0xFF, green = (pixel >> 8) & 0xFF, blue = pixel & 0xFF;
        std::array<int, 256> distances;
        int nearest = 0x7FFFFFFF;
        for (int i = 0; i < entries_; ++i) {
            const int dr = red - red_[i], dg = green - green_[i], db = blue - blue_[i];
            distances[i] = dr * dr + dg * dg + db * db;
            nearest = std::min(nearest, distances[i]);
        }
        int best = 0;
        while (best < entries_ && distances[best] != nearest)
            ++best;
        return static_cast<std::uint8_t>(best < entries_ ? best : 0);
    }

    int entries_;
    std::array<int, 256> red_{}, green_{}, blue_{}; // the table's channels, each in a row of its own
    std::array<Line, kLines> cache_{};
};

} // namespace codecs
