#include "assets/sample_picture.h"
#include "bitmap/bmp_writer.h"
#include "bitmap/effect_engine.h"
#include "win32/gdi32/persistent_picture.h"
#include "win32/gdi32/surface.h"
#include "report/raised_error.h"
#include "tests/support/pictures.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace test_pictures;

namespace {

// ---- The file layout stated independently: what each file must hold, byte by byte.

std::vector<Color> ColourTable(int depth) {
    if (depth == 1)
        return {{0, 0, 0}, {255, 255, 255}};
    if (depth == 4)
        return {{0, 0, 0},     {128, 0, 0},   {0, 128, 0},   {128, 128, 0},   {0, 0, 128},   {128, 0, 128},
                {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0}, {0, 255, 0},   {255, 255, 0},
                {0, 0, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    static const int kRedGreen[] = {0, 36, 72, 109, 145, 182, 218, 255};
    static const int kBlue[] = {0, 85, 170, 255};
    std::vector<Color> table;
    for (int i = 0; depth == 8 && i < 256; ++i)
        table.push_back({kRedGreen[i >> 5], kRedGreen[(i >> 2) & 7], kBlue[i & 3]});
    return table;
}

// The table entry nearest to c by a plain search: squared RGB distance, lowest index on a tie.
int NearestIndex(const std::vector<Color>& table, Color c) {
    const auto distance = [c](Color e) {
        const int dr = c.red - e.red, dg = c.green - e.green, db = c.blue - e.blue;
        return dr * dr + dg * dg + db * db;
    };
    const auto nearer = [&](Color a, Color b) { return distance(a) < distance(b); };
    return static_cast<int>(std::min_element(table.begin(), table.end(), nearer) - table.begin());
}

std::vector<std::uint8_t> ExpectedBmp(const Picture& picture, int depth) {
    const std::vector<Color> table = ColourTable(depth);
    const std::uint64_t stride = (static_cast<std::uint64_t>(picture.width) * depth + 31) / 32 * 4;
    const std::uint64_t imageSize = stride * picture.height, offBits = 14 + 40 + 4 * table.size();
    std::vector<std::uint8_t> out{'B', 'M'};
    auto put = [&](std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back(i < 8 ? static_cast<std::uint8_t>(value >> (8 * i)) : 0);
    };
    // bfSize to bfOffBits, biSize to biSizeImage, then four fields of 0.
    for (const auto& [value, bytes] : std::initializer_list<std::pair<std::uint64_t, int>>{
             {offBits + imageSize, 4}, {0, 4}, {offBits, 4}, {40, 4}, {picture.width, 4}, {picture.height, 4},
             {1, 2}, {depth, 2}, {0, 4}, {imageSize, 4}, {0, 16}})
        put(value, bytes);
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
            } else { // leftmost pixel in the most significant bits
                row[x * depth / 8] |= static_cast<std::uint8_t>(NearestIndex(table, c) << (8 - depth - x * depth % 8));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

// ---- The effects computed independently (the per-pixel ones: tests/support/pictures.h).

// Effects 10 and 11, y + 1 the row below; the false emboss's last row and column compare with themselves.
Picture ExpectedNeighbourhood(int effect, const Picture& in) {
    Picture out(in.width, in.height);
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) {
            if (effect == 11) {
                const int v = Clamp(Grey(in.at(std::min(x + 1, in.width - 1), std::min(y + 1, in.height - 1))) -
                                    Grey(in.at(x, y)) + 127);
                out.at(x, y) = {v, v, v};
                continue;
            }
            double sum[3] = {};
            int n = 0;
            for (const int d : {-1, 1})
                if (x + d >= 0 && y + d >= 0 && x + d < in.width && y + d < in.height) {
                    const Color p = in.at(x + d, y + d);
                    sum[0] += d * p.red;
                    sum[1] += d * p.green;
                    sum[2] += d * p.blue;
                    ++n;
                }
            if (n > 0)
                out.at(x, y) = {Clamp(Nearest(sum[0] / n + 127)), Clamp(Nearest(sum[1] / n + 127)),
                                Clamp(Nearest(sum[2] / n + 127))};
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

// The file SaveEffectBmp wrote, decoded; the picture and the live objects stay as they were.
Picture RunEffect(const Picture& picture, int effect, bool pixelsEngine) {
    PictureDc source(picture);
    const std::size_t live = gdi32::CountLiveObjects();
    test_support::ScratchFolder folder;
    mdlBitmap::SaveEffectBmp(source.dc(), folder / "SampleEffect.bmp", effect, pixelsEngine ? -1 : 0);
    EXPECT_EQ(ReadPicture(source.dc()), picture) << "the picture itself must not change";
    EXPECT_EQ(gdi32::CountLiveObjects(), live) << "the working copy must be released";
    return Decode32BitBmp(ReadFileBytes(folder / "SampleEffect.bmp"));
}

// Thin pictures are all border, odd widths pad rows, 258 and 259 columns end the DIBits
// engine's 256-pixel emboss stretch exactly and one past it; "levels" holds every channel value.
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

TEST(BmpWriter, EveryDepthMatchesTheLayoutByteByByte) {
    test_support::ScratchFolder folder;
    for (const auto& [name, picture] : TestPictures()) {
        PictureDc source(picture);
        for (int depth : {1, 4, 8, 32}) {
            SCOPED_TRACE(name + " at " + std::to_string(depth));
            const std::string path = folder / (name + "_" + std::to_string(depth) + ".bmp");
            ASSERT_TRUE(mdlBitmap::SaveBmpFile(source.dc(), path, depth));
            const std::vector<std::uint8_t> file = ReadFileBytes(path), want = ExpectedBmp(picture, depth);
            const auto [got, expected] = std::mismatch(file.begin(), file.end(), want.begin(), want.end());
            EXPECT_TRUE(file == want) << "first difference at byte " << got - file.begin();
        }
        EXPECT_EQ(ReadPicture(source.dc()), picture) << "the writer must not change the picture";
    }
}

// Unsupported depths answer false, a picture without pixels raises the conversion's error, an
// effect on one ends quietly; none touches a file.
TEST(BmpWriter, RefusalsAndFailedConversionsTouchNoFile) {
    PictureDc source(MixedPicture(4, 4));
    test_support::ScratchFolder folder;
    const std::string existing = folder / "Sample.bmp";
    WriteFileBytes(existing, {1, 2, 3});
    const PictureDc noColumns(Picture(0, 5)), noRows(Picture(5, 0)), noPixels(Picture(0, 0));
    const std::size_t live = gdi32::CountLiveObjects();
    for (int depth : {24, 16, 2, 0, -1, 33}) {
        EXPECT_FALSE(mdlBitmap::SaveBmpFile(source.dc(), folder / "New.bmp", depth)) << depth;
        EXPECT_FALSE(mdlBitmap::SaveBmpFile(source.dc(), existing, depth)) << depth;
    }
    for (int depth : {1, 4, 8, 32})
        for (const gdi32::HDC dc : {noColumns.dc(), noRows.dc()})
            for (const std::string& path : {existing, folder / "New.bmp"})
                try {
                    mdlBitmap::SaveBmpFile(dc, path, depth);
                    ADD_FAILURE() << "no error raised at " << depth;
                } catch (const report::RaisedError& error) {
                    EXPECT_EQ(std::pair(error.number(), error.description()),
                              std::pair(-2147221504, std::string("GetDIBits API関数でエラーが発生したようですが…")));
                }
    for (const gdi32::HDC dc : {noColumns.dc(), noRows.dc(), noPixels.dc()})
        for (int effect : {0, 1, 8, 10, 11, 12})
            for (int usePixels : {-1, 0})
                EXPECT_NO_THROW(mdlBitmap::SaveEffectBmp(dc, folder / "SampleGrayScale.bmp", effect, usePixels));
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"Sample.bmp"});
    EXPECT_EQ(ReadFileBytes(existing), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(gdi32::CountLiveObjects(), live);
}

TEST(EffectEngines, EveryEffectMatchesTheFormulasInBothEngines) {
    for (const auto& [name, picture] : TestPictures())
        for (int effect = 0; effect <= 12; ++effect)
            for (bool pixelsEngine : {true, false}) {
                SCOPED_TRACE(name + ", effect " + std::to_string(effect) + (pixelsEngine ? ", Pixels" : ", DIBits"));
                EXPECT_EQ(FirstDifference(RunEffect(picture, effect, pixelsEngine),
                                          ExpectedEffect(effect, picture, pixelsEngine)),
                          "same");
            }
}

// Worked on in parts side by side, the rows at the borders must read their neighbours as they were.
TEST(EffectEngines, TheDIBitsEngineGivesTheFormulasOnAPictureLargeEnoughToShare) {
    const Picture picture = MixedPicture(1031, 2053, 11);
    for (int effect : {1, 5, 10, 11})
        EXPECT_EQ(FirstDifference(RunEffect(picture, effect, false), ExpectedEffect(effect, picture, false)), "same")
            << effect;
}

} // namespace
