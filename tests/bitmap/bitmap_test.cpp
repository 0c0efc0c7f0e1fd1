#include "assets/sample_picture.h"
#include "bitmap/bmp_writer.h"
#include "bitmap/effect_engine.h"
#include "win32/gdi32/persistent_picture.h"
#include "win32/gdi32/surface.h"
#include "ui/raised_error.h"
#include "tests/support/pictures.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <sys/wait.h>
#include <tuple>

using namespace test_pictures;

namespace {

// ---- The file layout stated independently: what each file must hold, byte by byte.

std::vector<Color> ColourTable(int depth) {
    switch (depth) {
    case 1:
        return {{0, 0, 0}, {255, 255, 255}};
    case 4:
        return {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    case 8: {
        static const int kRedGreen[] = {0, 36, 72, 109, 145, 182, 218, 255};
        static const int kBlue[] = {0, 85, 170, 255};
        std::vector<Color> table;
        for (int i = 0; i < 256; ++i)
            table.push_back({kRedGreen[i >> 5], kRedGreen[(i >> 2) & 7], kBlue[i & 3]});
        return table;
    }
    default:
        return {};
    }
}

// The table entry nearest to c by a plain search: squared RGB distance, lowest index on a tie.
int NearestIndex(const std::vector<Color>& table, Color c) {
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < static_cast<int>(table.size()); ++i) {
        const long dr = c.red - table[i].red, dg = c.green - table[i].green, db = c.blue - table[i].blue;
        const long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

// What the file at the depth must show: below 32 bits each pixel as its nearest table entry.
Picture ExpectedShown(const Picture& picture, int depth) {
    if (depth == 32)
        return picture;
    const std::vector<Color> table = ColourTable(depth);
    Picture shown = picture;
    for (Color& c : shown.pixels)
        c = table[NearestIndex(table, c)];
    return shown;
}

std::vector<std::uint8_t> ExpectedBmp(const Picture& picture, int depth) {
    const std::vector<Color> table = ColourTable(depth);
    const std::size_t stride = (static_cast<std::size_t>(picture.width) * depth + 31) / 32 * 4;
    const std::size_t imageSize = stride * picture.height;
    const std::size_t offBits = 14 + 40 + 4 * table.size();
    std::vector<std::uint8_t> out{'B', 'M'};
    auto put = [&](std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back(i < 8 ? static_cast<std::uint8_t>(value >> (8 * i)) : 0);
    };
    put(offBits + imageSize, 4);
    put(0, 4);
    put(offBits, 4);
    put(40, 4);
    put(picture.width, 4);
    put(picture.height, 4);
    put(1, 2);
    put(depth, 2);
    put(0, 4);
    put(imageSize, 4);
    put(0, 16);
    for (Color c : table)
        put(c.blue | c.green << 8 | c.red << 16, 4);
    for (int y = picture.height - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(stride, 0);
        for (int x = 0; x < picture.width; ++x) {
            const Color c = picture.at(x, y);
            if (depth == 32) {
                row[4 * x] = static_cast<std::uint8_t>(c.blue);
                row[4 * x + 1] = static_cast<std::uint8_t>(c.green);
                row[4 * x + 2] = static_cast<std::uint8_t>(c.red);
            } else {
                const int bit = x * depth; // leftmost pixel in the most significant bits
                row[bit / 8] |= static_cast<std::uint8_t>(NearestIndex(table, c) << (8 - depth - bit % 8));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

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

// The DIBits engine numbers its rows from the bottom, so its y + 1 is the row above.
Picture ExpectedEffect(int effect, const Picture& in, bool pixelsEngine) {
    if (effect == 10 || effect == 11)
        return pixelsEngine ? ExpectedNeighbourhood(effect, in)
                            : ExpectedNeighbourhood(effect, in.UpsideDown()).UpsideDown();
    Picture out = in;
    for (Color& c : out.pixels)
        c = ExpectedPerPixel(effect, c);
    return out;
}

const char* EngineName(bool pixelsEngine) { return pixelsEngine ? "Pixels" : "DIBits"; }

// Runs SaveEffectBmp on the picture selected into dc and decodes the file it wrote; the
// picture itself and the count of live objects must stay as they were.
Picture RunEffectOn(gdi32::HDC dc, int effect, bool pixelsEngine) {
    const Picture before = ReadPicture(dc);
    const std::size_t live = gdi32::CountLiveObjects();
    TempFolder folder;
    mdlBitmap::SaveEffectBmp(dc, folder / "SampleEffect.bmp", effect, pixelsEngine ? -1 : 0);
    EXPECT_EQ(ReadPicture(dc), before) << "the picture itself must not change";
    EXPECT_EQ(gdi32::CountLiveObjects(), live) << "the working copy must be released";
    return Decode32BitBmp(ReadFileBytes(folder / "SampleEffect.bmp"));
}

Picture RunEffect(const Picture& picture, int effect, bool pixelsEngine) {
    PictureDc source(picture);
    return RunEffectOn(source.dc(), effect, pixelsEngine);
}

// The test pictures: thin ones are all border, odd widths need row padding at every depth,
// and the DIBits engine embosses the inside of a row in stretches of 256 pixels, so 258 and
// 259 columns end a stretch exactly and one past it. "levels" holds every channel value.
std::vector<std::pair<std::string, Picture>> TestPictures() {
    std::vector<std::pair<std::string, Picture>> pictures;
    const std::pair<int, int> kSizes[] = {{1, 1}, {2, 2}, {5, 3}, {3, 7},  {17, 9}, {1, 6},  {6, 1},  {2, 5},
                                          {9, 4}, {31, 3}, {33, 5}, {63, 3}, {65, 2}, {258, 4}, {259, 3}};
    for (auto [width, height] : kSizes)
        pictures.emplace_back(std::to_string(width) + "x" + std::to_string(height),
                              MixedPicture(width, height, 7 * width + height));
    Picture levels(256, 2);
    for (int x = 0; x < 256; ++x) {
        levels.at(x, 0) = {x, x, 255 - x};
        levels.at(x, 1) = {255 - x, (x * 7) % 256, x};
    }
    pictures.emplace_back("levels", levels);
    const gdi32::PersistentPicture sample(lumivert::assets::SamplePictureFile());
    pictures.emplace_back("sample", ReadPicture(sample.hDC()));
    return pictures;
}

constexpr std::array kDepths{1, 4, 8, 32};

// ---- The files.

TEST(BmpWriter, EveryDepthMatchesTheLayoutByteByByte) {
    TempFolder folder;
    for (const auto& [name, picture] : TestPictures()) {
        PictureDc source(picture);
        for (int depth : kDepths) {
            SCOPED_TRACE(name + " at " + std::to_string(depth));
            const std::string path = folder / "Sample.bmp";
            ASSERT_TRUE(mdlBitmap::SaveBmpFile(source.dc(), path, depth));
            const std::vector<std::uint8_t> file = ReadFileBytes(path), want = ExpectedBmp(picture, depth);
            EXPECT_EQ(file.size(), want.size());
            const auto [got, expected] = std::mismatch(file.begin(), file.end(), want.begin(), want.end());
            EXPECT_TRUE(got == file.end() && expected == want.end()) << "first difference at byte " << got - file.begin();
        }
        EXPECT_EQ(ReadPicture(source.dc()), picture) << "the writer must not change the picture";
    }
    // The sizes the result page shows for the sample picture.
    const gdi32::PersistentPicture sample(lumivert::assets::SamplePictureFile());
    for (auto [depth, size] : {std::pair{1, 19382u}, std::pair{4, 73258u}, std::pair{8, 145978u}, std::pair{32, 579654u}}) {
        ASSERT_TRUE(mdlBitmap::SaveBmpFile(sample.hDC(), folder / "Sample.bmp", depth));
        EXPECT_EQ(ReadFileBytes(folder / "Sample.bmp").size(), size) << depth;
    }
}

TEST(BmpWriter, AnUnsupportedDepthReturnsFalseAndTouchesNothing) {
    PictureDc source(MixedPicture(4, 4));
    TempFolder folder;
    const std::string existing = folder / "Sample.bmp";
    WriteFileBytes(existing, {1, 2, 3});
    const std::size_t live = gdi32::CountLiveObjects();
    for (int depth : {24, 16, 2, 0, -1, 33}) {
        EXPECT_FALSE(mdlBitmap::SaveBmpFile(source.dc(), folder / "New.bmp", depth)) << depth;
        EXPECT_FALSE(mdlBitmap::SaveBmpFile(source.dc(), existing, depth)) << depth;
    }
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"Sample.bmp"});
    EXPECT_EQ(ReadFileBytes(existing), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(gdi32::CountLiveObjects(), live);
}

TEST(BmpWriter, AFailedConversionRaisesItsErrorBeforeAnyFileIsTouched) {
    TempFolder folder;
    const std::string existing = folder / "Sample32.bmp";
    WriteFileBytes(existing, {9, 8, 7, 6});
    const std::size_t live = gdi32::CountLiveObjects();
    const auto expectConversionError = [&](gdi32::HDC dc, const std::string& path, int depth) {
        try {
            mdlBitmap::SaveBmpFile(dc, path, depth);
            ADD_FAILURE() << "no error raised";
        } catch (const ui::RaisedError& error) {
            EXPECT_EQ(error.number(), -2147221504);
            EXPECT_EQ(error.description(), "GetDIBits API関数でエラーが発生したようですが…");
        }
    };
    for (int depth : kDepths) {
        SCOPED_TRACE(depth);
        for (auto [width, height] : {std::pair{0, 5}, std::pair{5, 0}}) { // no pixels to convert
            PictureDc empty(Picture(width, height));
            expectConversionError(empty.dc(), existing, depth);
            expectConversionError(empty.dc(), folder / "New.bmp", depth);
        }
        gdi32::HDC dead = gdi32::CreateCompatibleDC({}); // a device context that no longer exists
        gdi32::DeleteDC(dead);
        expectConversionError(dead, existing, depth);
    }
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"Sample32.bmp"});
    EXPECT_EQ(ReadFileBytes(existing), (std::vector<std::uint8_t>{9, 8, 7, 6}));
    EXPECT_EQ(gdi32::CountLiveObjects(), live);
}

// ---- The effects, pixel by pixel.

TEST(EffectEngines, EveryEffectMatchesTheFormulasInBothEngines) {
    for (const auto& [name, picture] : TestPictures())
        for (int effect = 0; effect <= 12; ++effect)
            for (bool pixelsEngine : {true, false}) {
                SCOPED_TRACE(name + ", effect " + std::to_string(effect) + ", " + EngineName(pixelsEngine));
                EXPECT_EQ(FirstDifference(RunEffect(picture, effect, pixelsEngine),
                                          ExpectedEffect(effect, picture, pixelsEngine)),
                          "same");
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

// ---- A second opinion: Pillow reads every depth and every effect file as the models say.

TEST(BitmapFiles, PillowReadsThemAsTheModelsSay) {
    const char* source = std::getenv("LUMIVERT_SOURCE_DIR");
    if (source == nullptr)
        GTEST_SKIP() << "LUMIVERT_SOURCE_DIR is not set (run the test through CTest)";
    TempFolder folder;
    for (const auto& [name, picture] : TestPictures()) {
        PictureDc dc(picture);
        for (int depth : kDepths) {
            const std::string path = folder / (name + "_" + std::to_string(depth) + ".bmp");
            ASSERT_TRUE(mdlBitmap::SaveBmpFile(dc.dc(), path, depth));
            WritePpm(path + ".expected.ppm", ExpectedShown(picture, depth));
        }
        if (name != "sample" && name != "17x9")
            continue;
        for (int effect = 1; effect <= 11; ++effect)
            for (bool pixelsEngine : {true, false}) {
                const std::string path = folder / (name + "_effect" + std::to_string(effect) + EngineName(pixelsEngine) + ".bmp");
                mdlBitmap::SaveEffectBmp(dc.dc(), path, effect, pixelsEngine ? -1 : 0);
                WritePpm(path + ".expected.ppm", ExpectedEffect(effect, picture, pixelsEngine));
            }
    }
    const int status = CompareInPillow(source, folder.path());
    if (status == kNoPillow)
        GTEST_SKIP() << "no /usr/bin/python3 with Pillow here";
    EXPECT_EQ(status, 0) << "tests/support/compare_in_pillow.py " << folder.path();
}

} // namespace
