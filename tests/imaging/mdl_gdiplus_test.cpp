// The own GIF against a literal model of its conversion and the JPEG qualities, read back by
// giflib and libjpeg (each encoder alone: tests/codecs).

#include "imaging/encoding_pipeline.h"
#include "imaging/mdl_gdiplus.h"
#include "assets/sample_picture.h"
#include "tests/imaging/literal_own_gif.h"
#include "tests/support/independent_decoders.h"
#include "tests/support/scratch_folder.h"
#include "win32/gdi32/surface.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace mdlGdiplus;

namespace {

// No transparent colour, then the window's: black, white, blue and RGB(255, 0, 51).
constexpr std::int32_t kEveryOption[] = {OptionNone, 0x000000, 0xFFFFFF, 0xFF0000, 0x3300FF};

// A device bitmap's pixels as opaque ARGB, rows top first.
std::vector<std::uint32_t> PixelsOf(gdi32::HBITMAP bitmap) {
    const auto view = gdi32::ViewBitmap(bitmap);
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < view->height; ++y)
        for (int x = 0; x < view->width; ++x)
            pixels.push_back(0xFF000000u | view->Row(y)[x]);
    return pixels;
}

int ChannelDistance(std::uint32_t a, std::uint32_t b) {
    int largest = 0;
    for (int shift = 0; shift < 24; shift += 8)
        largest = std::max(largest, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    return largest;
}

// The standard luminance table's first entry (16) scaled for a quality as the IJG library does.
int FirstLumaOfQuality(int quality) {
    const int scale = quality < 50 ? 5000 / std::max(quality, 1) : 200 - quality * 2;
    return std::clamp((16 * scale + 50) / 100, 1, 255);
}

class Saving : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(StartupGdiplus()); }
    void TearDown() override {
        ShutdownGdiplus();
        for (const gdi32::HBITMAP bitmap : bitmaps_)
            gdi32::DeleteObject(bitmap);
        gdi32::DeleteDC(dc_);
    }
    // A device bitmap whose pixel (x, y) is rgb(x, y) (0x00RRGGBB).
    gdi32::HBITMAP Device(int width, int height, const auto& rgb) {
        const gdi32::HBITMAP bitmap = bitmaps_.emplace_back(gdi32::CreateCompatibleBitmap(dc_, width, height));
        const auto view = gdi32::ViewBitmap(bitmap);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                view->Row(y)[x] = rgb(x, y);
        return bitmap;
    }
    // Saves the picture and checks that the request released everything it made.
    bool Save(const std::string& name, std::int32_t format, std::int32_t option, gdi32::HBITMAP picture = {}) {
        const bool written = SaveImageByGdiplus(picture ? picture : sample_, folder_ / name, format, option);
        EXPECT_EQ(gdiplus::CountLiveObjects(), 0u) << name;
        return written;
    }

    const gdi32::HDC dc_ = gdi32::CreateCompatibleDC({});
    std::vector<gdi32::HBITMAP> bitmaps_{gdi32::LoadBitmapFromBmp(lumivert::assets::SamplePictureFile())};
    const gdi32::HBITMAP sample_ = bitmaps_[0];
    const std::vector<std::uint32_t> samplePixels_ = PixelsOf(sample_);
    test_support::ScratchFolder folder_;
};

} // namespace

// On the sample picture and on one with more colours than the palette holds.
TEST_F(Saving, OwnGifHasThePaletteAndEveryIndexOfTheLiteralConversion) {
    const gdi32::HBITMAP many = Device(302, 1, [](int x, int) {
        return x < 300 ? 0x010203u * (x + 1) + 0x100 : x == 300 ? 0u : 0xFF0033u; // then black, RGB(255, 0, 51)
    });
    for (const gdi32::HBITMAP picture : {sample_, many})
        for (const std::int32_t option : kEveryOption) {
            SCOPED_TRACE(::testing::Message() << option << (picture == sample_ ? " sample" : " many"));
            const std::vector<std::uint32_t> pixels = PixelsOf(picture);
            ASSERT_TRUE(Save("own.gif", FormatGif, option, picture));
            const auto gif = decoders::ReadGif(folder_ / "own.gif");
            ASSERT_TRUE(gif);
            const auto expected = literal_own_gif::Convert(pixels, option);
            ASSERT_EQ(gif->palette.size(), 256u);
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ(gif->palette[i], expected.palette[i] & 0xFFFFFF) << i;
            ASSERT_EQ(gif->indexes, expected.indexes);
            EXPECT_EQ(gif->transparentIndex, option == OptionNone ? -1 : 0);
            for (std::size_t k = 0; picture == sample_ && k < pixels.size(); ++k)
                ASSERT_EQ(0xFF000000u | gif->palette[gif->indexes[k]], pixels[k]) << k; // few colours: lossless
        }
}

// Out of range is 100; no quality is the encoder's default, 75. Quality 100 keeps the picture.
TEST_F(Saving, JpegHasTheTableOfTheQualityInRangeAndThePicture) {
    for (const auto& [option, quality] : {std::pair{150, 100}, {-5, 100}, {100, 100}, {0, 0}, {50, 50}, {90, 90},
                                          {OptionNone, 75}}) {
        ASSERT_TRUE(Save("q.jpg", FormatJpeg, option));
        const auto jpeg = decoders::ReadJpeg(folder_ / "q.jpg");
        ASSERT_TRUE(jpeg);
        EXPECT_EQ(jpeg->lumaTable.at(0), FirstLumaOfQuality(quality)) << option;
        ASSERT_EQ(jpeg->rgb.size(), samplePixels_.size());
        long error = 0;
        for (std::size_t k = 0; k < samplePixels_.size(); ++k)
            error += ChannelDistance(jpeg->rgb[k], samplePixels_[k]);
        EXPECT_TRUE(quality != 100 || error / static_cast<long>(samplePixels_.size()) < 4) << option;
    }
}

// The layer's own refusals (file faults: the saver fault tests).
TEST_F(Saving, RefusalsAnswerFalseAndLeaveTheOldFile) {
    folder_.Put("Sample.png", "old");
    EXPECT_FALSE(Save("Sample.png", 3, OptionNone)); // no encoder for digit 3
    EXPECT_EQ(test_support::ReadBytes(folder_ / "Sample.png"), "old");
}
