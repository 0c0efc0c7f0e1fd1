// The nearest colour-table entry against its slow twin on the edges where the fast path could
// go its own way: ties between entries, cubes that straddle a border. (The other fast paths
// are seen through the results they serve: the GIFs decoded by giflib, the own GIF's indexes,
// the emboss.)

#include "fast/nearest_entry.h"
#include "fast/separable_nearest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

struct Entry {
    std::uint8_t rgbBlue, rgbGreen, rgbRed, rgbReserved;
};

// Both fast answers against the search of every entry; the separable one only for the tables
// it takes (asked of each case), which it must recognise exactly.
TEST(FastPaths, NearestEntryAgreesWithTheSearchOfEveryEntry) {
    std::mt19937 random(5);
    const auto randomEntry = [&](int spread, int centre) {
        const auto channel = [&] { return static_cast<std::uint8_t>(std::clamp(centre + int(random() % (2 * spread + 1)) - spread, 0, 255)); };
        return Entry{channel(), channel(), channel(), 0};
    };
    struct Case {
        const char* name;
        std::vector<Entry> table;
        bool separable;
    };
    std::vector<Case> cases = {{"black and white", {{0, 0, 0, 0}, {255, 255, 255, 0}}, true},
                               {"one entry", {{10, 200, 30, 0}}, true},
                               {"repeated entries tie", {{9, 9, 9, 0}, {200, 0, 0, 0}, {9, 9, 9, 0}, {0, 0, 0, 0}}, false},
                               {"a tie at the far corner of a cube's eighth", {{6, 6, 6, 0}, {0, 0, 0, 0}}, true},
                               {"two levels a channel, a bit each, one bit unused", {}, true}};
    for (int i = 0; i < 16; ++i) // blue at bit 0, red at bit 3, green at bit 1; bit 2 repeats entries
        cases.back().table.push_back(Entry{static_cast<std::uint8_t>(i & 1 ? 200 : 7),
                                           static_cast<std::uint8_t>(i & 2 ? 101 : 100), static_cast<std::uint8_t>(i & 8 ? 90 : 30), 0});
    Case cube{"a cube of 8 × 8 × 4 levels", {}, true}, ties{"a cube of levels that tie", {}, true};
    for (int i = 0; i < 256; ++i) {
        cube.table.push_back(Entry{static_cast<std::uint8_t>(i % 4 * 85), static_cast<std::uint8_t>(i / 4 % 8 * 36),
                                   static_cast<std::uint8_t>(i / 32 * 36), 0});
        ties.table.push_back(Entry{static_cast<std::uint8_t>(i % 4 * 2), static_cast<std::uint8_t>(255 - i / 4 % 8 * 2),
                                   static_cast<std::uint8_t>(i / 32 % 2 * 10 + 100), 0});
    }
    cases.push_back(cube);
    cases.push_back(ties);
    Case spread{"256 anywhere", {}, false}, cluster{"a photo's first colours and black fillers", {}, false};
    for (int i = 0; i < 256; ++i)
        spread.table.push_back(randomEntry(128, 128));
    for (int i = 0; i < 254; ++i)
        cluster.table.push_back(randomEntry(8, 90));
    cluster.table.resize(256, Entry{0, 0, 0, 0});
    cases.push_back(spread);
    cases.push_back(cluster);
    for (const Case& c : cases) {
        const int entries = static_cast<int>(c.table.size());
        fast::NearestEntry nearest(c.table.data(), entries);
        const auto separable = fast::SeparableNearest::Of(c.table.data(), entries);
        ASSERT_EQ(separable.has_value(), c.separable) << c.name;
        const auto check = [&](std::uint32_t pixel) {
            const std::uint8_t expected = fast::NearestEntrySlow(c.table.data(), entries, pixel);
            ASSERT_EQ(nearest(pixel), expected) << c.name << ", pixel " << std::hex << pixel;
            if (separable) {
                ASSERT_EQ((*separable)(pixel), expected) << c.name << ", separable, pixel " << std::hex << pixel;
            }
        };
        // Every colour of a few whole cubes, twice (the second time settled), then colours anywhere.
        for (const std::uint32_t corner : {0x000000u, 0x505858u, 0x585050u, 0xF8F8F8u, 0x788090u})
            for (int pass = 0; pass < 2; ++pass)
                for (std::uint32_t step = 0; step < 512; ++step)
                    check(corner | (step >> 6 & 7) << 16 | (step >> 3 & 7) << 8 | (step & 7));
        for (int i = 0; i < 40000; ++i)
            check(random() & 0xFFFFFF);
    }
}

} // namespace
