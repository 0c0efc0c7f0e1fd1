#include "imaging/encoder_ids.h"
#include "imaging/encoding_pipeline.h"
#include "imaging/mdl_gdiplus.h"
#include "assets/sample_picture.h"
#include "tests/imaging/literal_own_gif.h"
#include "tests/support/independent_decoders.h"
#include "tests/win32/gdiplus_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

using namespace mdlGdiplus;
using test_support::ReadBytes;

namespace {

// The transparent colours the window offers: black, white, blue and RGB(255, 0, 51).
constexpr std::int32_t kOfferedColors[] = {0x000000, 0xFFFFFF, 0xFF0000, 0x3300FF};

class SamplePicture {
public:
    SamplePicture() : handle_(gdi32::LoadBitmapFromBmp(lumivert::assets::SamplePictureFile())) {}
    ~SamplePicture() { gdi32::DeleteObject(handle_); }
    gdi32::HBITMAP handle() const { return handle_; }
    // 0x00RRGGBB, rows top first.
    std::vector<std::uint32_t> Pixels() const {
        const auto view = gdi32::ViewBitmap(handle_);
        std::vector<std::uint32_t> pixels;
        for (int y = 0; y < view->height; ++y)
            pixels.insert(pixels.end(), view->Row(y), view->Row(y) + view->width);
        return pixels;
    }

private:
    gdi32::HBITMAP handle_;
};

class Saving : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(StartupGdiplus()); }
    void TearDown() override { ShutdownGdiplus(); }

    // Saves the sample picture and checks that the request released everything it made.
    bool Save(const std::string& name, std::int32_t format, std::int32_t option) {
        const bool written = SaveImageByGdiplus(picture_.handle(), folder_ / name, format, option);
        EXPECT_EQ(gdiplus::CountLiveObjects(), 0u) << name;
        return written;
    }

    SamplePicture picture_;
    const std::vector<std::uint32_t> pixels_ = picture_.Pixels();
    test_support::ScratchFolder folder_;
};

std::vector<std::uint16_t> Table(std::uint16_t value) { return std::vector<std::uint16_t>(64, value); }

} // namespace

TEST(Session, ASecondStartupFailsAndOneShutdownEndsTheLayer) {
    ASSERT_TRUE(StartupGdiplus());
    EXPECT_FALSE(StartupGdiplus());
    ShutdownGdiplus();
    gdiplus::GpBitmap* bitmap = nullptr;
    EXPECT_EQ(gdiplus::GdipCreateBitmapFromScan0(1, 1, 0, gdiplus::PixelFormat32bppARGB, nullptr, &bitmap),
              gdiplus::GdiplusNotInitialized);
    ASSERT_TRUE(StartupGdiplus()); // the next save starts again
    ShutdownGdiplus();
}

TEST(Session, AShutdownWithoutStartupEndsNothing) {
    gdiplus::ULONG_PTR token = 0;
    gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(gdiplus::GdiplusStartup(&token, &input, nullptr), gdiplus::Ok);
    ShutdownGdiplus();
    gdiplus::GpBitmap* bitmap = nullptr;
    EXPECT_EQ(gdiplus::GdipCreateBitmapFromScan0(1, 1, 0, gdiplus::PixelFormat32bppARGB, nullptr, &bitmap),
              gdiplus::Ok);
    gdiplus::GdipDisposeImage(bitmap);
    gdiplus::GdiplusShutdown(token);
}

TEST(EncoderIds, TextsAndGuids) {
    EXPECT_EQ(GetEncoderClsidString(6), "{557CF406-1A04-11D3-9A73-0000F81EF32E}");
    EXPECT_EQ(GetEncoderClsidString(1), "{557CF401-1A04-11D3-9A73-0000F81EF32E}");
    EXPECT_EQ(GetEncoderClsidString(2), "{557CF402-1A04-11D3-9A73-0000F81EF32E}");
    EXPECT_EQ(GetEncoderClsidString(12), "{557CF4012-1A04-11D3-9A73-0000F81EF32E}");
    EXPECT_EQ(StringToGuid(GetEncoderClsidString(12)), ole32::GUID{}); // not a GUID: zero bytes

    const ole32::GUID quality = StringToGuid(EncoderQualityText);
    unsigned char bytes[4];
    std::memcpy(bytes, &quality, 4);
    EXPECT_EQ(bytes[0], 0xB5);
    EXPECT_EQ(bytes[1], 0xE4);
    EXPECT_EQ(bytes[2], 0x5B);
    EXPECT_EQ(bytes[3], 0x1D);
}

TEST(OleColor, ToArgb) {
    static_assert(OleColorToArgb(0x003300FF, 0) == 0x00FF0033);
    static_assert(OleColorToArgb(0x00FF0000, 255) == 0xFF0000FF);
    static_assert(OleColorToArgb(-1, 255) == 0xFFFFFFFF);
    EXPECT_EQ(OleColorToArgb(0x7F102030, 128), 0x80302010u); // the top byte is ignored
}

TEST_F(Saving, PngWithATransparentColourClearsExactlyThatColour) {
    for (const std::int32_t color : kOfferedColors) {
        ASSERT_TRUE(Save("key.png", FormatPng, color));
        const auto png = decoders::ReadPng(folder_ / "key.png");
        ASSERT_TRUE(png);
        EXPECT_TRUE(png->hasAlpha);
        const std::uint32_t keyRgb = OleColorToArgb(color, 0);
        std::size_t cleared = 0;
        for (std::size_t k = 0; k < pixels_.size(); ++k) {
            if (pixels_[k] == keyRgb) {
                ASSERT_EQ(png->argb[k] >> 24, 0u) << k;
                ++cleared;
            } else {
                ASSERT_EQ(png->argb[k], 0xFF000000u | pixels_[k]) << k;
            }
        }
        EXPECT_GT(cleared, 0u) << "the sample picture holds every offered colour";
    }
}

TEST_F(Saving, PngWithoutTransparentColourIsTheOpaquePicture) {
    ASSERT_TRUE(Save("plain.png", FormatPng, OptionNone));
    const auto png = decoders::ReadPng(folder_ / "plain.png");
    ASSERT_TRUE(png);
    EXPECT_FALSE(png->hasAlpha);
    for (std::size_t k = 0; k < pixels_.size(); ++k)
        ASSERT_EQ(png->argb[k], 0xFF000000u | pixels_[k]) << k;
}

TEST_F(Saving, OwnGifHasThePaletteOrderAndEveryIndexOfTheLiteralConversionAndIsLossless) {
    std::vector<std::uint32_t> argb;
    for (const std::uint32_t pixel : pixels_)
        argb.push_back(0xFF000000u | pixel);
    std::vector<std::int32_t> options(std::begin(kOfferedColors), std::end(kOfferedColors));
    options.push_back(OptionNone);
    for (const std::int32_t option : options) {
        SCOPED_TRACE(option);
        ASSERT_TRUE(Save("own.gif", FormatGif, option));
        const auto gif = decoders::ReadGif(folder_ / "own.gif");
        ASSERT_TRUE(gif);
        const auto expected = literal_own_gif::Convert(argb, option);
        ASSERT_EQ(gif->palette.size(), 256u);
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(gif->palette[i], expected.palette[i] & 0xFFFFFF) << i;
        ASSERT_EQ(gif->indexes, expected.indexes);
        for (std::size_t k = 0; k < pixels_.size(); ++k)
            ASSERT_EQ(gif->palette[gif->indexes[k]], pixels_[k]) << k;
        if (option != OptionNone) {
            EXPECT_EQ(gif->transparentIndex, 0);
            EXPECT_EQ(gif->palette[0], OleColorToArgb(option, 0));
        } else {
            EXPECT_EQ(gif->transparentIndex, -1) << "no transparent entry without a transparent colour";
        }
    }
}

TEST_F(Saving, OwnGifKeepsEveryColourOpaqueThatIsNotTheTransparentOne) {
    // 300 distinct colours, then black: more than the palette holds.
    const test_support::DeviceBitmap many(301, 1, [](int x, int) { return x < 300 ? 0x010203u * (x + 1) + 0x100 : 0; });
    ASSERT_TRUE(SaveImageByGdiplus(many.handle(), folder_ / "many.gif", FormatGif, OptionNone));
    auto gif = decoders::ReadGif(folder_ / "many.gif");
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->transparentIndex, -1);
    EXPECT_EQ(gif->indexes[300], 254); // a late black gets an entry of its own, and stays black
    EXPECT_EQ(gif->palette[254], 0u);

    // A transparent colour the picture does not hold takes no colour's entry.
    const test_support::DeviceBitmap three(3, 1, [](int x, int) { return 0x203040u * (x + 1); });
    ASSERT_TRUE(SaveImageByGdiplus(three.handle(), folder_ / "three.gif", FormatGif, 0x3300FF));
    gif = decoders::ReadGif(folder_ / "three.gif");
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->transparentIndex, 0);
    for (int x = 0; x < 3; ++x) {
        EXPECT_NE(gif->indexes[x], 0) << x;
        EXPECT_EQ(gif->palette[gif->indexes[x]], 0x203040u * (x + 1)) << x;
    }
    EXPECT_EQ(gdiplus::CountLiveObjects(), 0u);
}

TEST_F(Saving, GifByTheEncoderIsADitheredFullPalette) {
    ASSERT_TRUE(Save("encoder.gif", FormatGif, OptionGifByEncoder));
    const auto gif = decoders::ReadGif(folder_ / "encoder.gif");
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->version, "GIF89a");
    EXPECT_EQ(gif->palette.size(), 256u);
    EXPECT_EQ(gif->transparentIndex, -1);
    EXPECT_EQ(gif->width, 420);
    EXPECT_EQ(gif->height, 345);
}

TEST_F(Saving, JpegQualityFollowsTheRangeRule) {
    const std::pair<std::int32_t, std::vector<std::uint16_t>> cases[] = {
        {150, Table(1)}, {-5, Table(1)}, {100, Table(1)}, {0, Table(255)},
    };
    for (const auto& [quality, table] : cases) {
        ASSERT_TRUE(Save("q.jpg", FormatJpeg, quality));
        const auto jpeg = decoders::ReadJpeg(folder_ / "q.jpg");
        ASSERT_TRUE(jpeg);
        EXPECT_EQ(jpeg->lumaTable, table) << quality;
    }
    ASSERT_TRUE(Save("default.jpg", FormatJpeg, OptionNone));
    EXPECT_EQ(decoders::ReadJpeg(folder_ / "default.jpg")->lumaTable[0], 8); // quality 75
    ASSERT_TRUE(Save("fifty.jpg", FormatJpeg, 50));
    EXPECT_EQ(decoders::ReadJpeg(folder_ / "fifty.jpg")->lumaTable[0], 16); // the standard table
}

TEST_F(Saving, FailuresAnswerFalseAndLeaveNoFile) {
    test_support::WriteBytes(folder_ / "Sample.png", "old");
    EXPECT_FALSE(Save("missing/Sample.png", FormatPng, OptionNone));
    EXPECT_FALSE(Save("Sample.png/x.gif", FormatGif, 0));
    EXPECT_FALSE(Save("Sample.png", 3, OptionNone)); // no encoder for digit 3
    EXPECT_EQ(ReadBytes(folder_ / "Sample.png"), "old");
    std::filesystem::create_directory(folder_ / "Sample.jpg");
    EXPECT_FALSE(Save("Sample.jpg", FormatJpeg, 80));
    EXPECT_FALSE(SaveImageByGdiplus(picture_.handle(), "/dev/full", FormatPng, 0xFFFFFF));
    EXPECT_FALSE(SaveImageByGdiplus(picture_.handle(), "/dev/full", FormatGif, OptionNone));
    EXPECT_FALSE(SaveImageByGdiplus(gdi32::HBITMAP{0xBAD}, folder_ / "none.png", FormatPng, OptionNone));
    EXPECT_FALSE(EncodeImageToFile(nullptr, folder_ / "none.png", FormatPng, OptionNone));
    EXPECT_FALSE(std::filesystem::exists(folder_ / "none.png"));
    EXPECT_EQ(gdiplus::CountLiveObjects(), 0u);
}
