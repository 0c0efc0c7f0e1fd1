// Every kind of save of the imaging layer, read back by libpng, giflib and libjpeg.

#include "imaging/encoding_pipeline.h"
#include "imaging/mdl_gdiplus.h"
#include "assets/sample_picture.h"
#include "tests/imaging/literal_own_gif.h"
#include "tests/support/independent_decoders.h"
#include "tests/win32/gdiplus_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace mdlGdiplus;

namespace {

// The transparent colours the window offers: black, white, blue and RGB(255, 0, 51).
constexpr std::int32_t kOfferedColors[] = {0x000000, 0xFFFFFF, 0xFF0000, 0x3300FF};
constexpr std::int32_t kEveryOption[] = {OptionNone, 0x000000, 0xFFFFFF, 0xFF0000, 0x3300FF};

// A picture and its pixels (0x00RRGGBB, rows top first).
struct Picture {
    explicit Picture(gdi32::HBITMAP bitmap) : handle(bitmap) {
        const auto view = gdi32::ViewBitmap(handle);
        for (int y = 0; y < view->height; ++y)
            pixels.insert(pixels.end(), view->Row(y), view->Row(y) + view->width);
    }
    gdi32::HBITMAP handle;
    std::vector<std::uint32_t> pixels;
};

class Saving : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(StartupGdiplus()); }
    void TearDown() override {
        ShutdownGdiplus();
        gdi32::DeleteObject(sample_.handle);
    }

    // Saves the picture and checks that the request released everything it made.
    bool Save(const std::string& name, std::int32_t format, std::int32_t option, const Picture* picture = nullptr) {
        const bool written = SaveImageByGdiplus((picture ? picture : &sample_)->handle, folder_ / name, format, option);
        EXPECT_EQ(gdiplus::CountLiveObjects(), 0u) << name;
        return written;
    }

    Picture sample_{gdi32::LoadBitmapFromBmp(lumivert::assets::SamplePictureFile())};
    test_support::ScratchFolder folder_;
};

// The standard luminance table (natural order) scaled for a quality as the IJG library does.
std::vector<std::uint16_t> LumaTableOfQuality(int quality) {
    static constexpr int kBase[64] = {
        16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,  14, 13, 16, 24,  40,  57,
        69, 56, 14, 17, 22,  29,  51,  87,  80, 62, 18, 22, 37,  56,  68,  109, 103, 77, 24, 35,  55,  64,
        81, 104, 113, 92, 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
    quality = std::clamp(quality, 1, 100);
    const int scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
    std::vector<std::uint16_t> table;
    for (const int base : kBase)
        table.push_back(static_cast<std::uint16_t>(std::clamp((base * scale + 50) / 100, 1, 255)));
    return table;
}

int ChannelDistance(std::uint32_t a, std::uint32_t b) {
    int largest = 0;
    for (int shift = 0; shift < 24; shift += 8)
        largest = std::max(largest, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    return largest;
}

} // namespace

TEST(Session, OneStartupAtATimeAndOneShutdownEndsTheLayer) {
    ASSERT_TRUE(StartupGdiplus());
    EXPECT_FALSE(StartupGdiplus());
    ShutdownGdiplus();
    gdiplus::GpBitmap* bitmap = nullptr;
    EXPECT_EQ(gdiplus::GdipCreateBitmapFromScan0(1, 1, 0, gdiplus::PixelFormat32bppARGB, nullptr, &bitmap),
              gdiplus::GdiplusNotInitialized);

    // A shutdown without the program's own startup ends nothing.
    gdiplus::ULONG_PTR token = 0;
    gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(gdiplus::GdiplusStartup(&token, &input, nullptr), gdiplus::Ok);
    ShutdownGdiplus();
    EXPECT_EQ(gdiplus::GdipCreateBitmapFromScan0(1, 1, 0, gdiplus::PixelFormat32bppARGB, nullptr, &bitmap),
              gdiplus::Ok);
    gdiplus::GdipDisposeImage(bitmap);
    gdiplus::GdiplusShutdown(token);
}

TEST_F(Saving, PngIsThePictureWithExactlyTheTransparentColourCleared) {
    for (const std::int32_t option : kEveryOption) {
        ASSERT_TRUE(Save("key.png", FormatPng, option));
        const auto png = decoders::ReadPng(folder_ / "key.png");
        ASSERT_TRUE(png);
        EXPECT_EQ(png->hasAlpha, option != OptionNone) << option;
        const std::uint32_t keyRgb = option == OptionNone ? 0x1000000 : OleColorToArgb(option, 0);
        std::size_t cleared = 0;
        for (std::size_t k = 0; k < sample_.pixels.size(); ++k) {
            if (sample_.pixels[k] == keyRgb) {
                ASSERT_EQ(png->argb[k] >> 24, 0u) << option << " " << k;
                ++cleared;
            } else {
                ASSERT_EQ(png->argb[k], 0xFF000000u | sample_.pixels[k]) << option << " " << k;
            }
        }
        EXPECT_EQ(cleared > 0, option != OptionNone) << "the sample picture holds every offered colour";
    }
}

// The own conversion against the literal model, on the sample picture and on one with more
// colours than the palette holds (the rest take the nearest entry).
TEST_F(Saving, OwnGifHasThePaletteAndEveryIndexOfTheLiteralConversion) {
    const test_support::DeviceBitmap manyBitmap(302, 1, [](int x, int) {
        return x < 300 ? 0x010203u * (x + 1) + 0x100 : x == 300 ? 0u : 0xFF0033u; // then black, RGB(255, 0, 51)
    });
    const Picture many(manyBitmap.handle());
    for (const Picture* picture : {static_cast<const Picture*>(&sample_), &many})
        for (const std::int32_t option : kEveryOption) {
            SCOPED_TRACE(::testing::Message() << option << (picture == &many ? " many" : " sample"));
            ASSERT_TRUE(Save("own.gif", FormatGif, option, picture));
            const auto gif = decoders::ReadGif(folder_ / "own.gif");
            ASSERT_TRUE(gif);
            std::vector<std::uint32_t> argb;
            for (const std::uint32_t pixel : picture->pixels)
                argb.push_back(0xFF000000u | pixel);
            const auto expected = literal_own_gif::Convert(argb, option);
            ASSERT_EQ(gif->palette.size(), 256u);
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ(gif->palette[i], expected.palette[i] & 0xFFFFFF) << i;
            ASSERT_EQ(gif->indexes, expected.indexes);
            EXPECT_EQ(gif->transparentIndex, option == OptionNone ? -1 : 0);
            for (std::size_t k = 0; picture == &sample_ && k < picture->pixels.size(); ++k)
                ASSERT_EQ(gif->palette[gif->indexes[k]], picture->pixels[k]) << k; // few colours: lossless
        }
}

TEST_F(Saving, GifByTheEncoderIsTheDitheredPictureWithAFullPalette) {
    ASSERT_TRUE(Save("encoder.gif", FormatGif, OptionGifByEncoder));
    const auto gif = decoders::ReadGif(folder_ / "encoder.gif");
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->version, "GIF89a");
    EXPECT_EQ(gif->palette.size(), 256u);
    EXPECT_EQ(gif->transparentIndex, -1);
    ASSERT_EQ(gif->indexes.size(), sample_.pixels.size());
    // Dithering mixes the two palette levels next to each colour (51 apart).
    for (std::size_t k = 0; k < sample_.pixels.size(); ++k)
        ASSERT_LE(ChannelDistance(gif->palette[gif->indexes[k]], sample_.pixels[k]), 51) << k;
}

TEST_F(Saving, JpegHasTheTableOfTheQualityInRangeAndThePicture) {
    const std::pair<std::int32_t, int> cases[] = {{150, 100}, {-5, 100}, {100, 100}, {0, 0},
                                                  {50, 50},   {90, 90},  {OptionNone, 75}};
    for (const auto& [option, quality] : cases) {
        ASSERT_TRUE(Save("q.jpg", FormatJpeg, option));
        const auto jpeg = decoders::ReadJpeg(folder_ / "q.jpg");
        ASSERT_TRUE(jpeg);
        EXPECT_EQ(jpeg->lumaTable, LumaTableOfQuality(quality)) << option;
        if (quality != 100)
            continue;
        ASSERT_EQ(jpeg->rgb.size(), sample_.pixels.size());
        long error = 0;
        for (std::size_t k = 0; k < sample_.pixels.size(); ++k)
            error += ChannelDistance(jpeg->rgb[k], sample_.pixels[k]);
        EXPECT_LT(error / static_cast<long>(sample_.pixels.size()), 4) << "quality 100 keeps the picture";
    }
}

// File faults (unwritable folders, full disks) are the saver fault tests'; these are the
// layer's own refusals.
TEST_F(Saving, RefusalsAnswerFalseAndLeaveTheOldFile) {
    folder_.Put("Sample.png", "old");
    EXPECT_FALSE(Save("Sample.png", 3, OptionNone)); // no encoder for digit 3
    EXPECT_EQ(test_support::ReadBytes(folder_ / "Sample.png"), "old");
    EXPECT_FALSE(SaveImageByGdiplus(gdi32::HBITMAP{0xBAD}, folder_ / "none.png", FormatPng, OptionNone));
    EXPECT_FALSE(EncodeImageToFile(nullptr, folder_ / "none.png", FormatPng, OptionNone));
    EXPECT_FALSE(std::filesystem::exists(folder_ / "none.png"));
    EXPECT_EQ(gdiplus::CountLiveObjects(), 0u);
}
