// Saving through the imaging layer's encoders, each file read back by a decoder that shares
// nothing with them (libpng, giflib, libjpeg).

#include "os/wide_text.h"
#include "tests/support/independent_decoders.h"
#include "tests/win32/gdiplus_test_support.h"

#include <algorithm>
#include <cmath>
#include <set>

using namespace gdiplus;
using test_support::DeviceBitmap;

namespace {

constexpr CLSID kJpeg{0x557CF401, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr CLSID kGif{0x557CF402, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr CLSID kPng{0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr CLSID kBmp{0x557CF400, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr GUID kQuality{0x1D5BE4B5, 0xFA4A, 0x452D, {0x9C, 0xDD, 0x5D, 0xB3, 0x51, 0x05, 0xE7, 0xEB}};

std::uint32_t Gradient(int x, int y) { return ((x * 7u & 0xFF) << 16) | ((y * 5u & 0xFF) << 8) | ((x + y) & 0xFF); }

// Pixels that do not compress: a large picture's image data spreads over several chunks.
std::uint32_t Noise(int x, int y) {
    std::uint32_t h = std::uint32_t(x) * 0x9E3779B1u ^ std::uint32_t(y) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    return (h ^ h >> 12) & 0xFFFFFF;
}

class Save : public test_support::Started {
protected:
    void SetUp() override {
        Started::SetUp();
        ASSERT_EQ(GdipCreateBitmapFromHBITMAP(device_.handle(), HPALETTE{}, &picture_), Ok);
    }
    void TearDown() override {
        GdipDisposeImage(picture_);
        Started::TearDown();
    }
    Status SaveTo(GpImage* image, const std::string& path, const CLSID& encoder, UINT* quality = nullptr,
                  UINT count = 1) {
        EncoderParameters parameters;
        parameters.Count = count;
        parameters.Parameter[0] = EncoderParameter{kQuality, 1, EncoderParameterValueTypeLong, quality};
        return GdipSaveImageToFile(image, os::ToUtf16(path).c_str(), &encoder, quality ? &parameters : nullptr);
    }
    // An image of the given format whose pixels (or indexes) the caller gives.
    GpBitmap* Filled(int width, int height, PixelFormat format, void* pixels, const ColorPalette* palette = nullptr) {
        GpBitmap* image = nullptr;
        EXPECT_EQ(GdipCreateBitmapFromScan0(width, height, 0, format, nullptr, &image), Ok);
        if (palette != nullptr) {
            EXPECT_EQ(GdipSetImagePalette(image, palette), Ok);
        }
        BitmapData data;
        data.Stride = width * (format == PixelFormat8bppIndexed ? 1 : 4);
        data.Scan0 = pixels;
        EXPECT_EQ(GdipBitmapLockBits(image, nullptr, ImageLockModeWrite | ImageLockModeUserInputBuf, format, &data), Ok);
        EXPECT_EQ(GdipBitmapUnlockBits(image, &data), Ok);
        return image;
    }

    static constexpr int kWidth = 37; // odd sizes catch row-stride mistakes
    static constexpr int kHeight = 23;
    const DeviceBitmap device_{kWidth, kHeight, Gradient};
    GpBitmap* picture_ = nullptr;
    test_support::ScratchFolder folder_;
};

} // namespace

// The bitmap is the device bitmap as it was when the bitmap was made: drawing on the device
// bitmap afterwards, or deleting it, changes nothing in what is read.
TEST_F(Save, ABitmapKeepsTheDevicePixelsAsTheyWereWhenItWasMade) {
    GpBitmap* bitmap = nullptr;
    {
        const DeviceBitmap flat(4, 3, [](int, int) { return 0x204060u; });
        ASSERT_EQ(GdipCreateBitmapFromHBITMAP(flat.handle(), HPALETTE{}, &bitmap), Ok);
        const gdi32::HDC dc = gdi32::CreateCompatibleDC({});
        const gdi32::HBITMAP old = gdi32::SelectObject(dc, flat.handle());
        gdi32::SetPixel(dc, 1, 1, 0x0000FF);
        EXPECT_EQ(gdi32::GetPixel(dc, 1, 1), 0x0000FFu) << "the device bitmap itself did change";
        gdi32::SelectObject(dc, old);
        gdi32::DeleteDC(dc);
    }
    ARGB pixel = 0;
    ASSERT_EQ(GdipBitmapGetPixel(bitmap, 1, 1, &pixel), Ok);
    EXPECT_EQ(pixel, 0xFF204060u);
    EXPECT_EQ(GdipDisposeImage(bitmap), Ok);
}

// A device bitmap is saved as opaque RGB, every pixel exact, also when its image data takes
// several chunks (megabytes that do not compress) and its copy is shared among the
// processors (over two million pixels).
TEST_F(Save, PngOfADeviceBitmapIsOpaqueRgbWithEveryPixelExact) {
    constexpr int kSide = 1500;
    const DeviceBitmap device(kSide, kSide, Noise);
    GpBitmap* image = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromHBITMAP(device.handle(), HPALETTE{}, &image), Ok);
    const Status saved = SaveTo(image, folder_ / "n.png", kPng);
    GdipDisposeImage(image);
    ASSERT_EQ(saved, Ok);
    const auto png = decoders::ReadPng(folder_ / "n.png");
    ASSERT_TRUE(png);
    EXPECT_FALSE(png->hasAlpha);
    EXPECT_TRUE(png->hasColor);
    ASSERT_EQ(png->width, kSide);
    ASSERT_EQ(png->height, kSide);
    for (int k = 0; k < kSide * kSide; ++k)
        ASSERT_EQ(png->argb[k], 0xFF000000u | Noise(k % kSide, k / kSide)) << k;
}

// Rows that repeat the row above (bands of three, the last cut short) come back exact in
// each of the three colour types, translucent alpha and palette entries included, and in
// the narrowest and shortest pictures.
TEST_F(Save, PngOfEveryColourTypeComesBackExact) {
    const auto banded = [](int x, int y) { return Gradient(x, y / 3); };
    const auto alphaOf = [](int x, int y) { return std::uint32_t(x % 3 == 0 ? 0 : x % 3 == 1 ? 0xFF : 40 + y / 3) << 24; };
    ColorPalette palette;
    palette.Count = 256;
    for (UINT i = 0; i < 256; ++i)
        palette.Entries[i] = 0xFF000000u | (i * 0x0A1B2Cu & 0xFFFFFF);
    palette.Entries[3] = 0x40112233; // translucent entries go into tRNS
    palette.Entries[7] = 0x00000000;
    for (const PixelFormat format : {PixelFormat32bppRGB, PixelFormat32bppARGB, PixelFormat8bppIndexed}) {
        for (const auto& [width, height] : {std::pair{kWidth, kHeight}, {1, 7}, {9, 1}}) {
            SCOPED_TRACE(testing::Message() << width << " x " << height << " format " << format);
            std::vector<std::uint32_t> expected, argb;
            std::vector<std::uint8_t> indexes;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    argb.push_back(alphaOf(x, y) | banded(x, y));
                    indexes.push_back(std::uint8_t((x + y / 3) % 12));
                    expected.push_back(format == PixelFormat32bppRGB     ? 0xFF000000u | banded(x, y)
                                       : format == PixelFormat32bppARGB ? argb.back()
                                                                        : palette.Entries[indexes.back()]);
                }
            const DeviceBitmap device(width, height, banded);
            GpBitmap* image = nullptr;
            if (format == PixelFormat32bppRGB) {
                ASSERT_EQ(GdipCreateBitmapFromHBITMAP(device.handle(), HPALETTE{}, &image), Ok);
            } else if (format == PixelFormat32bppARGB) {
                image = Filled(width, height, format, argb.data());
            } else {
                image = Filled(width, height, format, indexes.data(), &palette);
            }
            const Status saved = SaveTo(image, folder_ / "r.png", kPng);
            GdipDisposeImage(image);
            ASSERT_EQ(saved, Ok);

            const auto png = decoders::ReadPng(folder_ / "r.png");
            ASSERT_TRUE(png);
            EXPECT_EQ(png->hasAlpha, format != PixelFormat32bppRGB);
            EXPECT_EQ(png->isIndexed, format == PixelFormat8bppIndexed);
            ASSERT_EQ(png->width, width);
            ASSERT_EQ(png->height, height);
            EXPECT_EQ(png->argb, expected);
        }
    }
}

TEST_F(Save, GifOfAnIndexedBitmapWritesItsPaletteAsGivenAndItsAlphaZeroEntryAsTransparent) {
    ColorPalette palette;
    palette.Count = 256;
    for (UINT i = 0; i < 256; ++i)
        palette.Entries[i] = 0xFF000000u | (i * 0x010101u);
    palette.Entries[5] = 0x00123456; // the lowest alpha-0 entry
    palette.Entries[9] = 0x00000000;
    std::uint8_t indexes[8] = {5, 0, 255, 9, 1, 2, 3, 200};
    GpBitmap* indexed = Filled(4, 2, PixelFormat8bppIndexed, indexes, &palette);
    ASSERT_EQ(SaveTo(indexed, folder_ / "i.gif", kGif), Ok);
    GdipDisposeImage(indexed);

    const auto gif = decoders::ReadGif(folder_ / "i.gif");
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->version, "GIF89a");
    EXPECT_EQ(gif->transparentIndex, 5);
    ASSERT_EQ(gif->palette.size(), 256u);
    for (UINT i = 0; i < 256; ++i)
        ASSERT_EQ(gif->palette[i], palette.Entries[i] & 0xFFFFFF) << i;
    EXPECT_EQ(gif->indexes, std::vector<std::uint8_t>(indexes, indexes + 8));
}

// A flat colour between the levels of the halftone palette (a 6 × 6 × 6 cube of steps of 51
// and greys) comes out as a mix of neighbouring levels that averages back to the colour.
TEST_F(Save, GifOfAFullColourBitmapIsDitheredOntoTheHalftonePalette) {
    const DeviceBitmap flat(32, 32, [](int, int) { return 0x6A9A3Cu; });
    GpBitmap* bitmap = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromHBITMAP(flat.handle(), HPALETTE{}, &bitmap), Ok);
    ASSERT_EQ(SaveTo(bitmap, folder_ / "h.gif", kGif), Ok);
    GdipDisposeImage(bitmap);

    const auto gif = decoders::ReadGif(folder_ / "h.gif");
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->transparentIndex, -1);
    const std::set<std::uint32_t> entries(gif->palette.begin(), gif->palette.end());
    for (std::uint32_t r = 0; r < 6; ++r)
        for (std::uint32_t g = 0; g < 6; ++g)
            for (std::uint32_t b = 0; b < 6; ++b)
                EXPECT_TRUE(entries.contains(51 * (r << 16 | g << 8 | b))) << r << g << b;
    EXPECT_GE(std::set<std::uint8_t>(gif->indexes.begin(), gif->indexes.end()).size(), 3u);
    for (const int shift : {16, 8, 0}) {
        double sum = 0;
        for (const std::uint8_t index : gif->indexes)
            sum += (gif->palette[index] >> shift) & 0xFF;
        EXPECT_NEAR(sum / gif->indexes.size(), (0x6A9A3Cu >> shift) & 0xFF, 3.0) << shift;
    }
}

// The quality chooses the standard tables scaled as libjpeg scales them (100: all ones;
// the default 75: half; 10: five times), and the best quality stays close in pixels.
TEST_F(Save, JpegQualityChoosesTheTablesAndStaysCloseInPixels) {
    for (const auto& [quality, firstLuma] : {std::pair<UINT, int>{100, 1}, {75, 8}, {10, 80}}) {
        UINT value = quality;
        ASSERT_EQ(SaveTo(picture_, folder_ / "q.jpg", kJpeg, quality == 75 ? nullptr : &value), Ok);
        const auto jpeg = decoders::ReadJpeg(folder_ / "q.jpg");
        ASSERT_TRUE(jpeg);
        EXPECT_EQ(jpeg->lumaTable[0], firstLuma) << quality;
        if (quality != 100)
            continue;
        EXPECT_EQ(jpeg->lumaTable, std::vector<std::uint16_t>(64, 1));
        ASSERT_EQ(jpeg->width, kWidth);
        double error = 0;
        for (int k = 0; k < kWidth * kHeight; ++k)
            for (const int shift : {16, 8, 0})
                error += std::abs(int((jpeg->rgb[k] >> shift) & 0xFF) - int((Gradient(k % kWidth, k / kWidth) >> shift) & 0xFF));
        EXPECT_LT(error / (kWidth * kHeight * 3), 4.0);
    }
}

// Parameters an encoder does not take and an encoder the layer does not have are refused
// and leave no file (the file system's faults: every saver in tests/reliability).
TEST_F(Save, RefusalsAnswerTheirStatusAndLeaveNoFile) {
    UINT quality = 101, fifty = 50;
    EXPECT_EQ(SaveTo(picture_, folder_ / "q.jpg", kJpeg, &quality), InvalidParameter);
    EXPECT_EQ(SaveTo(picture_, folder_ / "q.png", kPng, &fifty), InvalidParameter);
    EXPECT_EQ(SaveTo(picture_, folder_ / "q.jpg", kJpeg, &fifty, 17), InvalidParameter);
    EXPECT_EQ(SaveTo(picture_, folder_ / "q.bmp", kBmp), UnknownImageFormat);
    EXPECT_EQ(SaveTo(picture_, "/dev/full", kPng), Win32Error);
    EXPECT_EQ(folder_.State(), test_support::FolderState{});
}
