#pragma once

// The colour-table entry nearest to a pixel (squared distance in RGB, lowest index on a
// tie), as GetDIBits converts to 1, 4 and 8 bits; the own GIF conversion gives the same
// answer to a colour that found no place in its palette. The table is any array of entries
// with the fields rgbRed, rgbGreen and rgbBlue (a DIB colour table).

#include "fast/key_table.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

namespace fast {

// The plain search over every entry: NearestEntry's twin, and its answer by definition.
template <class TableEntry>
std::uint8_t NearestEntrySlow(const TableEntry* table, int entries, std::uint32_t pixel) {
    const int red = (pixel >> 16) & 0xFF, green = (pixel >> 8) & 0xFF, blue = pixel & 0xFF;
    int best = 0;
    int bestDistance = 0x7FFFFFFF;
    for (int i = 0; i < entries; ++i) {
        const int dr = red - table[i].rgbRed, dg = green - table[i].rgbGreen, db = blue - table[i].rgbBlue;
        if (const int distance = dr * dr + dg * dg + db * db; distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return static_cast<std::uint8_t>(best);
}

// What it buys: a photo's millions of colours mostly pay two reads of small tables, since a
// cube of 8 × 8 × 8 colours whose eight corners share their nearest entry shares it
// throughout (the points no farther from one entry than from any other, and nearer than to
// every lower one, form a convex set). A cube is settled once four of its colours needed a
// search. A cube that straddles a border between entries gets the answers of all its 512
// colours at once, one byte each, found an eighth of the cube at a time among the few
// entries that can be nearest to any of its colours (those whose nearest colour of the eighth
// is no farther than the farthest one is from the entry best placed for it): a photo's sky
// lies in such cubes, and its pixels then cost two reads of tables that stay in
// the cache, without a branch on whether a colour was met before. The colours of cubes met
// too seldom to settle stay in a cache of two ways a set, so two colours that fall into one
// set may take turns (a dithered area): a picture of few colours (the sample: 247) pays one
// search per colour and a cache look-up per run.
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
        const std::uint16_t state = cubes_[CubeOf(pixel)];
        if (state >= kAnswered) [[likely]]
            return answers_[static_cast<std::size_t>(state - kAnswered) * 512 + PlaceInCube(pixel)];
        return FromCache(pixel);
    }

private:
    static constexpr std::uint32_t kValid = 0x01000000;
    static constexpr std::size_t kLines = 4096;
    struct Line {
        std::uint32_t key = 0;
        std::uint8_t index = 0;
    };
    // A cube's state: below kSearchesBeforeSettling the searches made in it so far; kAnswered
    // + n once settled, its colours' answers in block n of answers_ (a block of one index is
    // shared by every cube whose corners agree on it, so a pixel costs the same two reads
    // wherever it falls, and no branch that a photo's mix of cubes would make unpredictable);
    // kUnsettled when no block is left (the answers then go to the cache).
    static constexpr std::uint16_t kSearchesBeforeSettling = 4; // settling costs eight searches
    static constexpr std::uint16_t kAnswered = 0x8000, kUnsettled = 0x7FFF;
    static constexpr std::size_t kMostBlocks = 4096; // 2 MiB of answers
    static constexpr std::uint16_t kNoBlock = 0xFFFF;

    static std::size_t CubeOf(std::uint32_t pixel) {
        return (pixel >> 9 & 0x7C00) | (pixel >> 6 & 0x3E0) | (pixel >> 3 & 0x1F);
    }
    static std::size_t PlaceInCube(std::uint32_t pixel) {
        return (pixel >> 10 & 0x1C0) | (pixel >> 5 & 0x38) | (pixel & 0x7);
    }
    [[gnu::noinline]] std::uint8_t FromCache(std::uint32_t pixel);
    std::uint8_t FromCube(std::uint32_t pixel);
    std::uint8_t* NewBlock(std::uint16_t& state); // null when no block is left
    void AnswerWholeCube(std::uint32_t low, std::uint8_t* answers) const;
    std::uint8_t Search(std::uint32_t pixel) const;

    int entries_;
    std::array<int, 256> red_{}, green_{}, blue_{}; // the table's channels, each in a row of its own
    std::array<Line, kLines> cache_{};
    std::array<std::uint16_t, 32 * 32 * 32> cubes_{};
    std::vector<std::uint8_t> answers_;                         // 512 answers a block
    std::array<std::uint16_t, 256> blockOfIndex_ = Unassigned(); // the block all of one index
    static std::array<std::uint16_t, 256> Unassigned() {
        std::array<std::uint16_t, 256> none;
        none.fill(kNoBlock);
        return none;
    }
};

} // namespace fast
