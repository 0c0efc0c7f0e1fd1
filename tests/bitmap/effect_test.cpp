#include "assets/sample_picture.h"
#include "bitmap/colour_formulas.h"
#include "bitmap/effect_engine.h"
#include "bitmap/effect_routines.h"
#include "win32/gdi32/persistent_picture.h"
#include "win32/gdi32/surface.h"
#include "ui/raised_error.h"
#include "tests/bitmap/test_pictures.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>

using namespace bitmap_test;

namespace {

// ---- The effects computed independently: real arithmetic, rounded by the C library's
// round-to-nearest-even.

int Nearest(double x) { return static_cast<int>(std::nearbyint(x)); }
int Clamp(int v) { return std::clamp(v, 0, 255); }
int Grey(Color c) { return Nearest((c.red + c.green + c.blue) / 3.0); }

Color ExpectedPerPixel(int effect, Color c) {
    const int g = Grey(c), h = g / 2, d = std::min(2 * g, 255);
    switch (effect) {
    case 1: return {g, g, g};
    case 2: return {d, g, g};
    case 3: return {g, g, d};
    case 4: return {g, d, g};
    case 5: return {g, h, g};
    case 6: return {h, g, g};
    case 7: return {g, g, h};
    case 8: return {Clamp(Nearest(123.0 / 255.0 * c.red + 132)), Clamp(Nearest(189.0 / 255.0 * c.green + 66)), c.blue};
    case 9: return {255 - c.red, 255 - c.green, 255 - c.blue};
    default: return c;
    }
}

bool Inside(const Picture& p, int x, int y) { return x >= 0 && y >= 0 && x < p.width && y < p.height; }

// Effects 10 and 11 with y + 1 as the row below (row 0 at the top).
Picture ExpectedNeighbourhood(int effect, const Picture& in) {
    Picture out(in.width, in.height);
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) {
            if (effect == 10) {
                double sum[3] = {};
                int n = 0;
                for (auto [dx, dy, w] : {std::tuple{-1, -1, -1}, std::tuple{1, 1, 1}}) {
                    if (!Inside(in, x + dx, y + dy))
                        continue;
                    const Color p = in.at(x + dx, y + dy);
                    sum[0] += w * p.red, sum[1] += w * p.green, sum[2] += w * p.blue;
                    ++n;
                }
                if (n > 0)
                    out.at(x, y) = {Clamp(Nearest(sum[0] / n + 127)), Clamp(Nearest(sum[1] / n + 127)),
                                    Clamp(Nearest(sum[2] / n + 127))};
            } else {
                const Color other = in.at(std::min(x + 1, in.width - 1), std::min(y + 1, in.height - 1));
                const int v = Clamp(Grey(other) - Grey(in.at(x, y)) + 127);
                out.at(x, y) = {v, v, v};
            }
        }
    return out;
}

Picture ExpectedEffect(int effect, const Picture& in, bool pixelsEngine) {
    if (effect == 10 || effect == 11)
        return pixelsEngine ? ExpectedNeighbourhood(effect, in)
                            : ExpectedNeighbourhood(effect, in.UpsideDown()).UpsideDown();
    Picture out = in;
    for (Color& c : out.pixels)
        c = ExpectedPerPixel(effect, c);
    return out;
}

// Runs SaveEffectBmp on the picture selected into dc and decodes the file it wrote.
Picture RunEffectOn(gdi32::HDC dc, int effect, bool pixelsEngine) {
    const Picture before = ReadPicture(dc);
    const std::size_t live = gdi32::CountLiveObjects();
    TempFolder folder;
    const std::string path = folder / "SampleEffect.bmp";
    mdlBitmap::SaveEffectBmp(dc, path, effect, pixelsEngine ? -1 : 0);
    EXPECT_EQ(ReadPicture(dc), before) << "the picture itself must not change";
    EXPECT_EQ(gdi32::CountLiveObjects(), live) << "the working copy must be released";
    return Decode32BitBmp(ReadFileBytes(path));
}

Picture RunEffect(const Picture& picture, int effect, bool pixelsEngine) {
    PictureDc source(picture);
    return RunEffectOn(source.dc(), effect, pixelsEngine);
}

std::string FirstDifference(const Picture& got, const Picture& want) {
    if (got.width != want.width || got.height != want.height)
        return "size " + std::to_string(got.width) + " × " + std::to_string(got.height);
    for (int y = 0; y < got.height; ++y)
        for (int x = 0; x < got.width; ++x)
            if (got.at(x, y) != want.at(x, y)) {
                const Color g = got.at(x, y), w = want.at(x, y);
                return "(" + std::to_string(x) + ", " + std::to_string(y) + ") is " + std::to_string(g.red) + "," +
                       std::to_string(g.green) + "," + std::to_string(g.blue) + " instead of " +
                       std::to_string(w.red) + "," + std::to_string(w.green) + "," + std::to_string(w.blue);
            }
    return "same";
}

const char* EngineName(bool pixelsEngine) { return pixelsEngine ? "Pixels" : "DIBits"; }

// ---- Formulas.

TEST(ColourFormulas, GreyLevelsTintsAndHalves) {
    using mdlBitmap::Rgb;
    EXPECT_EQ(mdlBitmap::GreyLevel({1, 0, 0}), 0);
    EXPECT_EQ(mdlBitmap::GreyLevel({2, 0, 0}), 1);
    EXPECT_EQ(mdlBitmap::GreyLevel({255, 255, 255}), 255);
    EXPECT_EQ(mdlBitmap::GreyLevel({10, 20, 31}), 20);
    // Packed, the doubled channel saturates from a grey level of 128; 100 gives 200.
    EXPECT_EQ(mdlBitmap::MakeDIBColor(mdlBitmap::Red({128, 128, 128}).red, 0, 0), 0xFF0000u);
    EXPECT_EQ(mdlBitmap::Blue({100, 100, 100}), (Rgb{100, 100, 200}));
    EXPECT_EQ(mdlBitmap::Green({100, 100, 100}), (Rgb{100, 200, 100}));
    EXPECT_EQ(mdlBitmap::Purple({255, 255, 255}), (Rgb{255, 127, 255}));
    EXPECT_EQ(mdlBitmap::Water({1, 1, 1}), (Rgb{0, 1, 1}));
    EXPECT_EQ(mdlBitmap::Yellow({1, 1, 1}), (Rgb{1, 1, 0}));
    EXPECT_EQ(mdlBitmap::Reverse({10, 20, 30}), (Rgb{245, 235, 225}));
}

TEST(ColourFormulas, SepiaExamplesAndEveryChannelValue) {
    using mdlBitmap::Rgb;
    EXPECT_EQ(mdlBitmap::Sepia({0, 0, 0}), (Rgb{132, 66, 0}));
    EXPECT_EQ(mdlBitmap::Sepia({255, 255, 255}), (Rgb{255, 255, 255}));
    EXPECT_EQ(mdlBitmap::Sepia({85, 85, 85}), (Rgb{173, 129, 85}));
    for (int v = 0; v < 256; ++v) {
        const Rgb sepia = mdlBitmap::Sepia({v, v, 255 - v});
        EXPECT_EQ(sepia.red, 132 + (82 * v + 85) / 170) << v;
        EXPECT_EQ(sepia.green, 66 + (126 * v + 85) / 170) << v;
        EXPECT_EQ(sepia.blue, 255 - v);
    }
}

TEST(ColourFormulas, RoundingPackingAndSplitting) {
    EXPECT_EQ(mdlBitmap::NearestEven(2.5), 2);
    EXPECT_EQ(mdlBitmap::NearestEven(3.5), 4);
    EXPECT_EQ(mdlBitmap::NearestEven(-0.5), 0);
    EXPECT_EQ(mdlBitmap::NearestEven(127.5), 128);
    EXPECT_EQ(mdlBitmap::NearestEven(126.5), 126);
    EXPECT_EQ(mdlBitmap::NearestEven(254.5), 254);
    EXPECT_EQ(mdlBitmap::NearestEven(-127.5), -128);
    EXPECT_EQ(mdlBitmap::NearestEven(1.49), 1);
    EXPECT_EQ(mdlBitmap::NearestEven(-1.51), -2);

    EXPECT_EQ(mdlBitmap::MakeDIBColor(1, 2, 3), 0x010203u);
    EXPECT_EQ(mdlBitmap::MakeDIBColor(300, 256, 510), 0xFFFFFFu);
    EXPECT_EQ(mdlBitmap::MakeColorValue(1, 2, 3), 0x030201u);
    EXPECT_EQ(mdlBitmap::MakeColorValue(256, 0, 999), 0xFF00FFu);

    int a = 0, b = 0, c = 0;
    mdlBitmap::SplitColor(0xFFFFFFFFu, a, b, c);
    EXPECT_EQ(std::tuple(a, b, c), std::tuple(255, 255, 255));
    mdlBitmap::SplitColor(0x7F123456u, a, b, c);
    EXPECT_EQ(std::tuple(a, b, c), std::tuple(0x56, 0x34, 0x12));
}

// ---- The engines, pixel by pixel.

TEST(EffectEngines, EveryEffectMatchesTheFormulasInBothEnginesOnManySizes) {
    // Thin pictures are all border; the DIBits engine embosses the inside of a row in
    // stretches of 256 pixels, so 258 and 259 columns end a stretch exactly and one past it.
    const std::pair<int, int> kSizes[] = {{1, 1}, {2, 2}, {5, 3}, {3, 7}, {17, 9}, {1, 6}, {6, 1},
                                          {2, 5}, {5, 2}, {3, 3}, {258, 4}, {259, 3}};
    for (auto [width, height] : kSizes) {
        const Picture picture = MixedPicture(width, height, 7 * width + height);
        for (int effect = 0; effect <= 12; ++effect) {
            for (bool pixelsEngine : {true, false}) {
                SCOPED_TRACE(std::to_string(width) + " × " + std::to_string(height) + ", effect " +
                             std::to_string(effect) + ", " + EngineName(pixelsEngine));
                EXPECT_EQ(FirstDifference(RunEffect(picture, effect, pixelsEngine),
                                          ExpectedEffect(effect, picture, pixelsEngine)),
                          "same");
            }
        }
    }
}

// A picture of a few million pixels is worked on in parts side by side; every row at the
// borders between them must still read its neighbours as they were.
TEST(EffectEngines, TheDIBitsEngineGivesTheFormulasOnAPictureLargeEnoughToShare) {
    const Picture picture = MixedPicture(1031, 2053, 11);
    for (int effect : {1, 5, 10, 11}) {
        SCOPED_TRACE("effect " + std::to_string(effect));
        EXPECT_EQ(FirstDifference(RunEffect(picture, effect, false), ExpectedEffect(effect, picture, false)), "same");
    }
}

TEST(EffectEngines, EveryEffectOnTheSamplePictureInBothEngines) {
    const gdi32::PersistentPicture sample(lumivert::assets::SamplePictureFile());
    ASSERT_TRUE(sample.valid());
    const Picture picture = ReadPicture(sample.hDC());
    ASSERT_EQ(picture.width, 420);
    ASSERT_EQ(picture.height, 345);
    for (int effect = 0; effect <= 12; ++effect) {
        for (bool pixelsEngine : {true, false}) {
            SCOPED_TRACE("effect " + std::to_string(effect) + ", " + EngineName(pixelsEngine));
            TempFolder folder;
            mdlBitmap::SaveEffectBmp(sample.hDC(), folder / "Sample.bmp", effect, pixelsEngine ? -1 : 0);
            const std::vector<std::uint8_t> file = ReadFileBytes(folder / "Sample.bmp");
            EXPECT_EQ(file.size(), 579654u);
            EXPECT_EQ(FirstDifference(Decode32BitBmp(file), ExpectedEffect(effect, picture, pixelsEngine)), "same");
        }
    }
    EXPECT_EQ(ReadPicture(sample.hDC()), picture);
}

TEST(EffectEngines, PerPixelEffectsGiveTheSameValuesInBothEnginesAndReverseTwiceRestores) {
    const Picture picture = MixedPicture(23, 11, 5);
    for (int effect = 1; effect <= 9; ++effect)
        EXPECT_EQ(RunEffect(picture, effect, true), RunEffect(picture, effect, false)) << effect;
    EXPECT_EQ(RunEffect(RunEffect(picture, 9, true), 9, false), picture);
}

// Every pixel of a picture must be one of the listed values by position.
template <class Want>
void ExpectEveryPixel(const Picture& got, Want want) {
    for (int y = 0; y < got.height; ++y)
        for (int x = 0; x < got.width; ++x) {
            const int v = want(x, y);
            ASSERT_EQ(got.at(x, y), (Color{v, v, v})) << "(" << x << ", " << y << ")";
        }
}

TEST(EffectEngines, EmbossOnOneColourLightsTheEdgesAndBlackensTwoCorners) {
    for (int q : {100, 200}) {
        const int lifted = std::min(q + 127, 255), lowered = std::max(127 - q, 0);
        const Picture picture(6, 4, {q, q, q});
        const int w = picture.width, h = picture.height;
        // Row 0 at the top: the +1 neighbour lies below and to the right.
        ExpectEveryPixel(RunEffect(picture, 10, true), [&](int x, int y) {
            if ((x == 0 && y == h - 1) || (x == w - 1 && y == 0))
                return 0;
            if (x == 0 || y == 0)
                return lifted;
            if (x == w - 1 || y == h - 1)
                return lowered;
            return 127;
        });
        // Row 0 at the bottom: the same in memory rows, so the picture shows it upside down.
        ExpectEveryPixel(RunEffect(picture, 10, false), [&](int x, int y) {
            if ((x == 0 && y == 0) || (x == w - 1 && y == h - 1))
                return 0;
            if (x == 0 || y == h - 1)
                return lifted;
            if (x == w - 1 || y == 0)
                return lowered;
            return 127;
        });
        for (bool pixelsEngine : {true, false}) {
            ExpectEveryPixel(RunEffect(Picture(1, 5, {q, q, q}), 10, pixelsEngine), [](int, int) { return 0; });
            ExpectEveryPixel(RunEffect(Picture(5, 1, {q, q, q}), 10, pixelsEngine), [](int, int) { return 0; });
            ExpectEveryPixel(RunEffect(picture, 11, pixelsEngine), [](int, int) { return 127; });
        }
    }
}

TEST(EffectEngines, EmbossRoundsExactHalvesToEven) {
    // In a 3 × 3 picture the centre weighs the pair (0, 0) → (2, 2) in the Pixels engine and
    // the pair (0, 2) → (2, 0) in the DIBits engine, whose row 0 is the bottom row.
    const std::pair<int, int> kDifferences[] = {{1, 128}, {-1, 126}, {3, 128}, {-3, 126}, {255, 254}, {-255, 0}, {2, 128}};
    for (auto [difference, want] : kDifferences) {
        const int low = difference > 0 ? 0 : -difference, high = low + difference;
        for (bool pixelsEngine : {true, false}) {
            Picture picture(3, 3, {77, 77, 77});
            picture.at(0, pixelsEngine ? 0 : 2) = {low, low, low};
            picture.at(2, pixelsEngine ? 2 : 0) = {high, high, high};
            EXPECT_EQ(RunEffect(picture, 10, pixelsEngine).at(1, 1), (Color{want, want, want}))
                << difference << ", " << EngineName(pixelsEngine);
        }
    }
}

TEST(EffectEngines, EmbossFalseComparesWithTheNextPixelInTheEngineRowOrder) {
    // One white pixel in the middle of black.
    Picture picture(3, 3, {0, 0, 0});
    picture.at(1, 1) = {255, 255, 255};
    const Picture pixels = RunEffect(picture, 11, true);
    EXPECT_EQ(pixels.at(0, 0), (Color{255, 255, 255})) << "0 to 255 towards the lower right: 382 clamps to 255";
    EXPECT_EQ(pixels.at(1, 1), (Color{0, 0, 0})) << "255 to 0: -128 clamps to 0";
    EXPECT_EQ(pixels.at(0, 2), (Color{127, 127, 127})) << "bottom row: compared with the right neighbour";
    EXPECT_EQ(pixels.at(2, 0), (Color{127, 127, 127})) << "last column: compared with the pixel below";
    EXPECT_EQ(pixels.at(2, 2), (Color{127, 127, 127})) << "the last pixel meets itself";
    const Picture dib = RunEffect(picture, 11, false);
    EXPECT_EQ(dib.at(0, 2), (Color{255, 255, 255})) << "0 to 255 towards the upper right";
    EXPECT_EQ(dib.at(1, 1), (Color{0, 0, 0}));
    EXPECT_EQ(dib.at(0, 0), (Color{127, 127, 127})) << "top row: compared with the right neighbour";
    EXPECT_EQ(dib.at(2, 2), (Color{127, 127, 127})) << "last column: compared with the pixel above";
}

TEST(EffectEngines, AHorizontalEdgeEmbossesLightInPixelsAndBlackInDIBits) {
    Picture picture(8, 6, {0, 0, 0});
    for (int y = 3; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            picture.at(x, y) = {255, 255, 255};
    const Picture pixels = RunEffect(picture, 10, true);
    const Picture dib = RunEffect(picture, 10, false);
    for (int y : {2, 3})
        for (int x = 1; x < 7; ++x) {
            EXPECT_EQ(pixels.at(x, y), (Color{254, 254, 254})) << x << ", " << y;
            EXPECT_EQ(dib.at(x, y), (Color{0, 0, 0})) << x << ", " << y;
        }
    for (int effect = 1; effect <= 9; ++effect)
        EXPECT_EQ(RunEffect(picture, effect, true), RunEffect(picture, effect, false)) << effect;
}

// ---- Quiet ends and errors.

TEST(EffectEngines, AnEmptyPictureEndsQuietlyWithNoFile) {
    TempFolder folder;
    const std::size_t live = gdi32::CountLiveObjects();
    for (auto [width, height] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{0, 0}}) {
        PictureDc source(Picture(width, height));
        for (int effect : {0, 1, 8, 10, 11, 12})
            for (bool pixelsEngine : {true, false})
                EXPECT_NO_THROW(mdlBitmap::SaveEffectBmp(source.dc(), folder / "SampleGrayScale.bmp", effect,
                                                         pixelsEngine ? -1 : 0));
    }
    EXPECT_TRUE(folder.Names().empty());
    EXPECT_EQ(gdi32::CountLiveObjects(), live);
}

TEST(EffectEngines, RoutinesRefuseAnEmptyPictureOrNoDeviceContext) {
    PictureDc source(Picture(2, 2, {10, 20, 30}));
    std::uint32_t memory[4] = {0x010203, 0x040506, 0x070809, 0x0A0B0C};
    const std::uint32_t before[4] = {0x010203, 0x040506, 0x070809, 0x0A0B0C};
    for (auto [dc, width, height] : {std::tuple{gdi32::HDC{}, 2, 2}, std::tuple{source.dc(), 0, 2},
                                     std::tuple{source.dc(), 2, 0}}) {
        EXPECT_FALSE(mdlBitmap::ApplyPixelEffect(dc, width, height, 1));
        EXPECT_FALSE(mdlBitmap::ApplyPixelEmboss(dc, width, height, 10));
        EXPECT_FALSE(mdlBitmap::ApplyDIBEffect(dc, width, height, memory, 9));
        EXPECT_FALSE(mdlBitmap::ApplyDIBEmboss(dc, width, height, memory, 11));
    }
    EXPECT_TRUE(std::equal(std::begin(memory), std::end(memory), std::begin(before)));
    EXPECT_EQ(source.Read(), Picture(2, 2, {10, 20, 30}));
    // The DIB routines work on the memory they are given: 9 reverses it in place.
    EXPECT_TRUE(mdlBitmap::ApplyDIBEffect(source.dc(), 2, 2, memory, 9));
    EXPECT_EQ(memory[0], 0xFEFDFCu);
}

TEST(EffectEngines, FileErrorsPassThroughAndEveryHandleIsReleased) {
    PictureDc source(MixedPicture(7, 5));
    TempFolder folder;
    const std::size_t live = gdi32::CountLiveObjects();
    const std::pair<std::string, std::int32_t> kTargets[] = {
        {folder / "missing/SampleEmboss.bmp", ui::kPathNotFound},
        {"/dev/full", ui::kDiskFull},
        {folder / "", ui::kPathFileAccessError},
    };
    for (const auto& [path, number] : kTargets)
        for (int effect : {0, 3, 10, 11})
            for (bool pixelsEngine : {true, false}) {
                SCOPED_TRACE(path + ", effect " + std::to_string(effect) + ", " + EngineName(pixelsEngine));
                try {
                    mdlBitmap::SaveEffectBmp(source.dc(), path, effect, pixelsEngine ? -1 : 0);
                    ADD_FAILURE() << "no error raised";
                } catch (const ui::RaisedError& error) {
                    EXPECT_EQ(error.number(), number) << error.description();
                    EXPECT_NE(error.description().find(path), std::string::npos);
                }
                EXPECT_EQ(gdi32::CountLiveObjects(), live);
            }
    EXPECT_THROW(mdlBitmap::SaveEffectBmp(source.dc(), "/proc/SampleRed.bmp", 2, 0), ui::RaisedError);
    EXPECT_EQ(gdi32::CountLiveObjects(), live);
    EXPECT_TRUE(folder.Names().empty());
}

} // namespace
