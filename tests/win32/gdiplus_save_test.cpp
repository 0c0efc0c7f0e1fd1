// Saving PNG through the imaging layer's encoders, each file read back by libpng (JPEG and
// GIF: tests/imaging).

#include "os/wide_text.h"
#include "tests/support/independent_decoders.h"
#include "tests/win32/gdiplus_test_support.h"

using namespace gdiplus;
using test_support::DeviceBitmap;

namespace {

// The encoders' class identifiers: 0 BMP, 1 JPEG, 2 GIF, 6 PNG.
constexpr CLSID Encoder(std::uint32_t digit) {
    return {0x557CF400 + digit, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
}
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
    Status SaveTo(GpImage* image, const std::string& path, const CLSID& encoder, UINT* quality = nullptr,
                  UINT count = 1) {
        EncoderParameters parameters;
        parameters.Count = count;
        parameters.Parameter[0] = EncoderParameter{kQuality, 1, EncoderParameterValueTypeLong, quality};
        return GdipSaveImageToFile(image, os::ToUtf16(path).c_str(), &encoder, quality ? &parameters : nullptr);
    }
    // An image of the given format whose pixels (or indexes) the caller gives.
    GpBitmap* Filled(int width, int height, PixelFormat format, void* pixels, const ColorPalette* palette) {
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

    test_support::ScratchFolder folder_;
};

} // namespace

// Rows that repeat the row above (bands of three, the last cut short) come back exact in
// each of the three colour types, translucent alpha and palette entries included, in the
// narrowest and shortest pictures, and a device bitmap also when its image data takes
// several chunks and its copy is shared among the processors (over two million pixels).
TEST_F(Save, PngOfEveryColourTypeComesBackExact) {
    const auto alphaOf = [](int x, int y) { return std::uint32_t(x % 3 == 0 ? 0 : x % 3 == 1 ? 0xFF : 40 + y / 3) << 24; };
    ColorPalette palette;
    palette.Count = 256;
    for (UINT i = 0; i < 256; ++i)
        palette.Entries[i] = 0xFF000000u | (i * 0x0A1B2Cu & 0xFFFFFF);
    palette.Entries[3] = 0x40112233; // translucent entries go into tRNS
    palette.Entries[7] = 0x00000000;
    for (const PixelFormat format : {PixelFormat32bppRGB, PixelFormat32bppARGB, PixelFormat8bppIndexed}) {
        for (const auto& [width, height] : {std::pair{37, 23}, {1, 7}, {9, 1}, {1500, 1500}}) {
            if (width == 1500 && format != PixelFormat32bppRGB)
                continue;
            SCOPED_TRACE(testing::Message() << width << " x " << height << " format " << format);
            const auto rgb = [&](int x, int y) { return width == 1500 ? Noise(x, y) : Gradient(x, y / 3); };
            std::vector<std::uint32_t> expected, argb;
            std::vector<std::uint8_t> indexes;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    argb.push_back(alphaOf(x, y) | rgb(x, y));
                    indexes.push_back(std::uint8_t((x + y / 3) % 12));
                    expected.push_back(format == PixelFormat32bppRGB     ? 0xFF000000u | rgb(x, y)
                                       : format == PixelFormat32bppARGB ? argb.back()
                                                                        : palette.Entries[indexes.back()]);
                }
            const DeviceBitmap device(width, height, rgb);
            GpBitmap* image = format == PixelFormat32bppRGB     ? FromDevice(device)
                              : format == PixelFormat32bppARGB ? Filled(width, height, format, argb.data(), nullptr)
                                                                : Filled(width, height, format, indexes.data(), &palette);
            const Status saved = SaveTo(image, folder_ / "r.png", Encoder(6));
            GdipDisposeImage(image);
            ASSERT_EQ(saved, Ok);
            const auto png = decoders::ReadPng(folder_ / "r.png");
            ASSERT_TRUE(png);
            EXPECT_EQ(png->hasAlpha, format != PixelFormat32bppRGB);
            EXPECT_EQ(png->isIndexed, format == PixelFormat8bppIndexed);
            EXPECT_TRUE(png->hasColor);
            ASSERT_EQ(png->width, width);
            ASSERT_EQ(png->height, height);
            EXPECT_TRUE(png->argb == expected);
        }
    }
}

// Parameters an encoder does not take and an encoder the layer does not have are refused
// and leave no file (the file system's faults: every saver in tests/reliability).
TEST_F(Save, RefusalsAnswerTheirStatusAndLeaveNoFile) {
    const DeviceBitmap device(5, 3, Gradient);
    GpBitmap* picture = FromDevice(device);
    UINT quality = 101, fifty = 50;
    EXPECT_EQ(SaveTo(picture, folder_ / "q.jpg", Encoder(1), &quality), InvalidParameter);
    EXPECT_EQ(SaveTo(picture, folder_ / "q.png", Encoder(6), &fifty), InvalidParameter);
    EXPECT_EQ(SaveTo(picture, folder_ / "q.jpg", Encoder(1), &fifty, 17), InvalidParameter);
    EXPECT_EQ(SaveTo(picture, folder_ / "q.bmp", Encoder(0)), UnknownImageFormat);
    EXPECT_EQ(SaveTo(picture, "/dev/full", Encoder(6)), Win32Error);
    EXPECT_EQ(folder_.State(), test_support::FolderState{});
    GdipDisposeImage(picture);
}
