#include "imaging/encoding_pipeline.h"
#include "imaging/own_gif_palette.h"
#include "tests/imaging/literal_own_gif.h"

#include <gtest/gtest.h>

#include <random>

using namespace mdlGdiplus;

namespace {

constexpr std::uint32_t A = 0xFF112233, B = 0xFF445566, D = 0xFF778899, White = 0xFFFFFFFF, Black = 0xFF000000;
constexpr std::int32_t KeyOle = 0x003300FF; // RGB(255, 0, 51)
constexpr std::uint32_t K = 0xFFFF0033;     // the same colour as it occurs in a picture

literal_own_gif::Result FastConvert(const std::vector<std::uint32_t>& pixels, std::int32_t option) {
    literal_own_gif::Result r;
    const CollectedColorTable table = CollectColors(pixels, OleColorToArgb(option, 255));
    r.collected.assign(table.CollectedColors.begin(), table.CollectedColors.end());
    r.colorCount = table.ColorCount;
    r.palette.assign(256, 0xDEADBEEF); // whatever the bitmap held before
    const ColorIndexTable index = BuildPalette(table, option, r.palette);
    r.indexes.assign(pixels.size(), 0xEE);
    MapIndexes(pixels, index, r.indexes);
    return r;
}

} // namespace

// Worked by hand: the palette's first entries (the rest: the filler) and the indexes.
TEST(OwnGifPalette, WorkedExamples) {
    const struct {
        std::vector<std::uint32_t> pixels;
        std::int32_t option;
        std::vector<std::uint32_t> palette;
        std::vector<std::uint8_t> indexes;
        std::uint32_t filler;
    } cases[] = {
        // The transparent colour moves the first colour out of slot 0.
        {{A, B, K, D, A}, KeyOle, {0x00FF0033, B, A, D}, {2, 1, 0, 3, 2}, 0},
        // Without one, white takes slot 0 and the fillers stay opaque.
        {{A, White, B, Black}, -1, {White, A, B, Black}, {1, 0, 2, 3}, Black},
        // One not in the picture swallows no colour: slot 0's moves to the first filler.
        {{A, B, D, A}, KeyOle, {0x00FF0033, B, D, A}, {3, 1, 2, 3}, 0},
        // Equal RGB with another alpha maps to the lower index.
        {{0x80112233, A, B}, -1, {0x80112233, A, B}, {0, 0, 2}, Black},
    };
    for (const auto& c : cases) {
        const auto r = FastConvert(c.pixels, c.option);
        std::vector<std::uint32_t> palette = c.palette;
        palette.resize(256, c.filler);
        EXPECT_EQ(r.palette, palette);
        EXPECT_EQ(r.indexes, c.indexes);
    }
}

// The fast stages against the literal scans, on pictures built to reach every rule: colour
// pools past 254, the special colours present, late or absent, runs of any length.
TEST(OwnGifPalette, FastStagesGiveExactlyTheLiteralResultOnRandomPictures) {
    std::mt19937 random(20261206);
    const std::int32_t options[] = {-1, 0, 0xFFFFFF, 0xFF0000, KeyOle, 0x123456};
    // Blue, 0 and the colour of option 0x123456 among them.
    const std::uint32_t special[] = {Black, White, K, 0xFF0000FF, 0, 0xFF563412};
    for (int round = 0; round < 400; ++round) {
        const int poolSize = std::uniform_int_distribution<int>(1, round % 2 ? 40 : 600)(random);
        std::vector<std::uint32_t> pool;
        for (int i = 0; i < poolSize; ++i) {
            const int kind = std::uniform_int_distribution<int>(0, 19)(random);
            pool.push_back(kind < 6 ? special[kind] : kind == 6 ? random() & 0x7FFFFFFF : 0xFF000000u | random());
        }
        // Runs of one colour, from single pixels to long stretches, as pictures have them.
        const int size = std::uniform_int_distribution<int>(0, 1200)(random);
        const int longestRun = round % 3 == 0 ? 1 : round % 3 == 1 ? 4 : 40;
        std::vector<std::uint32_t> pixels;
        while (static_cast<int>(pixels.size()) < size) {
            const std::uint32_t color = pool[std::uniform_int_distribution<int>(0, poolSize - 1)(random)];
            pixels.insert(pixels.end(), std::uniform_int_distribution<int>(1, longestRun)(random), color);
        }
        const auto literal = literal_own_gif::Convert(pixels, options[round % 6]);
        const auto fast = FastConvert(pixels, options[round % 6]);
        ASSERT_EQ(fast.colorCount, literal.colorCount) << round;
        ASSERT_EQ(fast.collected, literal.collected) << round;
        ASSERT_EQ(fast.palette, literal.palette) << round;
        ASSERT_EQ(fast.indexes, literal.indexes) << round;
    }
}
