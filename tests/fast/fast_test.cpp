// Fast paths against their slow twins on the edges where a fast path could go its own way:
// ties between colour-table entries, cubes that straddle a border, the LZW table filling and
// clearing. (Colour runs, the key table and the half difference are seen through the own
// GIF's and the emboss's results.)

#include "fast/gif_lzw.h"
#include "fast/nearest_entry.h"
#include "fast/separable_nearest.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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

// The same GIF written by giflib from the rows (the twin) and with the indexes coded here.
std::vector<std::uint8_t> WriteGif(const std::vector<std::uint8_t>& indexes, int width, int bitsPerPixel, bool ours) {
    std::vector<std::uint8_t> file;
    const auto append = [](GifFileType* gif, const GifByteType* data, int length) {
        auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
        out->insert(out->end(), data, data + length);
        return length;
    };
    int error = 0;
    GifFileType* gif = EGifOpen(&file, append, &error);
    std::vector<GifColorType> colours(std::size_t{1} << bitsPerPixel, GifColorType{1, 2, 3});
    ColorMapObject* map = GifMakeMapObject(static_cast<int>(colours.size()), colours.data());
    const int height = static_cast<int>(indexes.size()) / width;
    EXPECT_EQ(EGifPutScreenDesc(gif, width, height, 8, 0, map), GIF_OK);
    EXPECT_EQ(EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr), GIF_OK);
    if (ours) {
        std::vector<std::byte> blocks;
        fast::AppendLzwBlocks(indexes, map->BitsPerPixel, blocks);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(blocks.data());
        file.insert(file.end(), bytes, bytes + blocks.size());
        EXPECT_EQ(EGifPutCodeNext(gif, nullptr), GIF_OK);
    } else {
        std::vector<GifPixelType> line(static_cast<std::size_t>(width));
        for (int y = 0; y < height; ++y) {
            std::copy_n(indexes.begin() + static_cast<std::ptrdiff_t>(y) * width, width, line.begin());
            EXPECT_EQ(EGifPutLine(gif, line.data(), width), GIF_OK);
        }
    }
    EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
    GifFreeMapObject(map);
    return file;
}

TEST(FastPaths, GifLzwWritesGiflibsBytes) {
    std::mt19937 random(3);
    struct Case {
        const char* name;
        int width, height, bitsPerPixel;
        std::function<std::uint8_t(std::size_t)> index;
    };
    const Case cases[] = {
        {"one pixel", 1, 1, 8, [](std::size_t) { return std::uint8_t{7}; }},
        {"one colour: long strings, every code width", 640, 480, 8, [](std::size_t) { return std::uint8_t{0}; }},
        {"noise: the table fills and clears again and again", 317, 211, 8,
         [&](std::size_t) { return static_cast<std::uint8_t>(random()); }},
        {"runs, as a picture has them", 500, 300, 8,
         [&](std::size_t k) { return static_cast<std::uint8_t>((k / (1 + k % 13)) % 250); }},
        {"two colours at one bit a pixel", 123, 77, 1, [&](std::size_t) { return static_cast<std::uint8_t>(random() % 2); }},
        {"indexes past the palette are masked", 64, 64, 2, [&](std::size_t) { return static_cast<std::uint8_t>(random()); }},
        {"a picture of a million pixels", 1024, 1024, 8,
         [&](std::size_t k) { return static_cast<std::uint8_t>(k % 7 == 0 ? random() : k / 40 % 200); }},
        {"sixteen colours", 200, 100, 4, [&](std::size_t k) { return static_cast<std::uint8_t>(k % 16 ^ random() % 2); }},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> indexes(static_cast<std::size_t>(c.width) * c.height);
        for (std::size_t k = 0; k < indexes.size(); ++k)
            indexes[k] = c.index(k);
        EXPECT_EQ(WriteGif(indexes, c.width, c.bitsPerPixel, true), WriteGif(indexes, c.width, c.bitsPerPixel, false))
            << c.name;
    }
}

} // namespace
