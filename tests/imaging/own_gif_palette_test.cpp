#include "imaging/encoding_pipeline.h"
#include "imaging/own_gif_palette.h"
#include "tests/imaging/literal_own_gif.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

using namespace mdlGdiplus;

namespace {

constexpr std::uint32_t A = 0xFF112233;
constexpr std::uint32_t B = 0xFF445566;
constexpr std::uint32_t D = 0xFF778899;
constexpr std::uint32_t White = 0xFFFFFFFF;
constexpr std::uint32_t Black = 0xFF000000;
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

// n distinct opaque colours that are neither black, white nor K.
std::vector<std::uint32_t> DistinctColors(int n) {
    std::vector<std::uint32_t> colors;
    for (int i = 0; i < n; ++i)
        colors.push_back(0xFF000000u | (0x010203u * (i + 1) + 0x100));
    return colors;
}

} // namespace

TEST(OwnGifPalette, WorkedExampleMovesTheFirstColourOutOfSlotZero) {
    const auto r = FastConvert({A, B, K, D, A}, KeyOle);
    EXPECT_EQ(r.colorCount, 4);
    EXPECT_EQ(std::vector<std::uint32_t>(r.collected.begin(), r.collected.begin() + 4),
              (std::vector<std::uint32_t>{K, B, A, D}));
    EXPECT_EQ(r.palette[0], 0x00FF0033u); // transparent entry, alpha 0
    EXPECT_EQ(r.palette[1], B);
    EXPECT_EQ(r.palette[2], A);
    EXPECT_EQ(r.palette[3], D);
    for (int i = 4; i < 256; ++i)
        ASSERT_EQ(r.palette[i], 0u) << i;
    EXPECT_EQ(r.indexes, (std::vector<std::uint8_t>{2, 1, 0, 3, 2}));
}

TEST(OwnGifPalette, WithoutTransparentColourWhiteTakesSlotZeroAndStaysOpaque) {
    const auto r = FastConvert({A, White, B, Black}, -1);
    EXPECT_EQ(r.palette[0], White);
    EXPECT_EQ(r.palette[1], A);
    EXPECT_EQ(r.palette[2], B);
    EXPECT_EQ(r.palette[3], Black); // a collected black keeps its own index before the fillers
    for (int i = 4; i < 256; ++i)
        ASSERT_EQ(r.palette[i], Black) << "fillers stay opaque without a transparent colour";
    EXPECT_EQ(r.indexes, (std::vector<std::uint8_t>{1, 0, 2, 3}));
}

TEST(OwnGifPalette, SingleColourGivesCountOneAndAllIndexesZero) {
    const auto r = FastConvert(std::vector<std::uint32_t>(50, D), -1);
    EXPECT_EQ(r.colorCount, 1);
    EXPECT_EQ(r.palette[0], D);
    EXPECT_EQ(r.palette[1], Black);
    EXPECT_EQ(r.indexes, std::vector<std::uint8_t>(50, 0));
}

TEST(OwnGifPalette, EqualRgbWithDifferentAlphaMapsToTheLowerIndex) {
    const auto r = FastConvert({0x80112233, A, B}, -1);
    EXPECT_EQ(r.palette[0], 0x80112233u);
    EXPECT_EQ(r.palette[1], A);
    EXPECT_EQ(r.indexes, (std::vector<std::uint8_t>{0, 0, 2}));
}

TEST(OwnGifPalette, OnlyTheFirst254ColoursAreCollectedTheRestTakeTheNearestOpaqueEntry) {
    std::vector<std::uint32_t> pixels = DistinctColors(254);
    const std::uint32_t besideColour100 = pixels[100] + 1; // blue one step away
    pixels.insert(pixels.end(), {besideColour100, Black, 0xFF010101});
    auto r = FastConvert(pixels, -1);
    EXPECT_EQ(r.colorCount, 254);
    EXPECT_EQ(r.collected[254], 0u); // the last slot is never filled
    EXPECT_EQ(r.indexes[253], 253);
    EXPECT_EQ(r.indexes[254], 100); // not collected: the nearest entry
    EXPECT_EQ(r.indexes[255], 254); // black: the first filler entry, opaque
    EXPECT_EQ(r.indexes[256], 254); // nearest to black
    EXPECT_EQ(r.palette[254], Black);

    // With a transparent colour, a colour next to it does not turn transparent.
    pixels = DistinctColors(254);
    pixels.front() = K;
    pixels.push_back(0xFFFF0034);
    r = FastConvert(pixels, KeyOle);
    EXPECT_EQ(r.indexes[0], 0);
    EXPECT_NE(r.indexes[254], 0);

    r = FastConvert({Black}, 0); // black transparent
    EXPECT_EQ(r.indexes[0], 0);
}

TEST(OwnGifPalette, TransparentColourNotInThePictureSwallowsNoOtherColour) {
    const auto r = FastConvert({A, B, D, A}, KeyOle);
    EXPECT_EQ(r.palette[0], 0x00FF0033u);
    EXPECT_EQ(r.palette[1], B); // slots other than 0 keep their index
    EXPECT_EQ(r.palette[2], D);
    EXPECT_EQ(r.palette[3], A); // slot 0's colour moved to the first filler entry
    EXPECT_EQ(r.indexes, (std::vector<std::uint8_t>{3, 1, 2, 3}));
}

TEST(OwnGifPalette, TransparentColourMetAfterAFullTableStillTurnsTransparent) {
    std::vector<std::uint32_t> pixels = DistinctColors(254);
    pixels.push_back(K);
    const auto r = FastConvert(pixels, KeyOle);
    EXPECT_EQ(r.colorCount, 254);
    EXPECT_EQ(r.palette[254], pixels[0]);
    EXPECT_EQ(r.indexes[0], 254);  // the first colour keeps an entry of its own
    EXPECT_EQ(r.indexes[1], 1);
    EXPECT_EQ(r.indexes[254], 0);  // K
}

// The fast stages against the literal scans, on pictures built to reach every rule: small
// and large colour pools (past 254), black, white, the transparent colours, 0 and
// half-transparent values, transparent colours present, late or absent, runs of any length.
TEST(OwnGifPalette, FastStagesGiveExactlyTheLiteralResultOnRandomPictures) {
    std::mt19937 random(20261206);
    const std::int32_t options[] = {-1, 0, 0xFFFFFF, 0xFF0000, KeyOle, 0x123456};
    for (int round = 0; round < 400; ++round) {
        const int poolSize = std::uniform_int_distribution<int>(1, round % 2 ? 40 : 600)(random);
        std::vector<std::uint32_t> pool;
        for (int i = 0; i < poolSize; ++i) {
            const int kind = std::uniform_int_distribution<int>(0, 19)(random);
            std::uint32_t c = 0xFF000000u | (random() & 0xFFFFFF);
            if (kind == 0) c = Black;
            if (kind == 1) c = White;
            if (kind == 2) c = K;
            if (kind == 3) c = 0xFF0000FF; // blue
            if (kind == 4) c = 0;
            if (kind == 5) c = random() & 0x7FFFFFFF; // alpha below 255
            if (kind == 6) c = 0xFF563412;             // the colour of option 0x123456
            pool.push_back(c);
        }
        // Runs of one colour, from single pixels to long stretches, as pictures have them.
        const int size = std::uniform_int_distribution<int>(0, 1200)(random);
        const int longestRun = std::array{1, 4, 40}[round % 3];
        std::vector<std::uint32_t> pixels;
        while (static_cast<int>(pixels.size()) < size) {
            const std::uint32_t color = pool[std::uniform_int_distribution<int>(0, poolSize - 1)(random)];
            pixels.insert(pixels.end(), std::uniform_int_distribution<int>(1, longestRun)(random), color);
        }
        const std::int32_t option = options[round % 6];

        const auto literal = literal_own_gif::Convert(pixels, option);
        const auto fast = FastConvert(pixels, option);
        ASSERT_EQ(fast.colorCount, literal.colorCount) << round;
        ASSERT_EQ(fast.collected, literal.collected) << round;
        ASSERT_EQ(fast.palette, literal.palette) << round;
        ASSERT_EQ(fast.indexes, literal.indexes) << round;
    }
}
