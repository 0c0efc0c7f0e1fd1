// The imaging layer's objects, and PNG saved through its encoders read back by libpng (JPEG
// and GIF: tests/imaging).

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

class Gdiplus : public test_support::Started {
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

TEST(Startup, TokensPairWithShutdownsAndTheLastOneFreesEverything) {
    GdiplusStartupInput input;
    ULONG_PTR first = 0, second = 0;
    GpBitmap* bitmap = nullptr;
    EXPECT_EQ(GdipCreateBitmapFromScan0(2, 2, 0, PixelFormat32bppARGB, nullptr, &bitmap), GdiplusNotInitialized);
    ASSERT_EQ(GdiplusStartup(&first, &input, nullptr), Ok);
    ASSERT_EQ(GdiplusStartup(&second, &input, nullptr), Ok);
    EXPECT_NE(first, second);
    ASSERT_EQ(GdipCreateBitmapFromScan0(2, 2, 0, PixelFormat32bppARGB, nullptr, &bitmap), Ok);
    GdiplusShutdown(first + second + 1000); // not a token: nothing happens
    GdiplusShutdown(first);
    UINT width = 0;
    EXPECT_EQ(GdipGetImageWidth(bitmap, &width), Ok);
    EXPECT_EQ(width, 2u);
    GdiplusShutdown(second);
    EXPECT_EQ(CountLiveObjects(), 0u);
    EXPECT_EQ(GdipGetImageWidth(bitmap, &width), GdiplusNotInitialized);
}

// Device pixels come back opaque and as they were when the bitmap was made, also through locks.
TEST_F(Gdiplus, DeviceBitmapPixelsComeBackOpaqueAsTheyWereWhenTheBitmapWasMade) {
    const auto rgb = [](int x, int y) { return 0x102030u * (x + 1) + 0x000001u * y; };
    const DeviceBitmap device(3, 2, rgb);
    GpBitmap* bitmap = FromDevice(device);
    const gdi32::HDC dc = gdi32::CreateCompatibleDC({});
    const gdi32::HBITMAP old = gdi32::SelectObject(dc, device.handle());
    gdi32::SetPixel(dc, 2, 1, 0x0000FF);
    EXPECT_EQ(gdi32::GetPixel(dc, 2, 1), 0x0000FFu) << "the device bitmap itself did change";
    gdi32::SelectObject(dc, old);
    gdi32::DeleteDC(dc);
    PixelFormat format = 0;
    EXPECT_EQ(GdipGetImagePixelFormat(bitmap, &format), Ok);
    EXPECT_EQ(format, PixelFormat32bppRGB);
    ARGB pixel = 0;
    ASSERT_EQ(GdipBitmapGetPixel(bitmap, 2, 1, &pixel), Ok);
    EXPECT_EQ(pixel, 0xFF000000u | rgb(2, 1));
    EXPECT_EQ(GdipBitmapGetPixel(bitmap, 3, 0, &pixel), InvalidParameter);

    BitmapData data;
    const GpRect part{1, 1, 2, 1};
    ASSERT_EQ(GdipBitmapLockBits(bitmap, &part, ImageLockModeRead, PixelFormat32bppARGB, &data), Ok);
    EXPECT_EQ(static_cast<const ARGB*>(data.Scan0)[1], 0xFF000000u | rgb(2, 1));
    ASSERT_EQ(GdipBitmapUnlockBits(bitmap, &data), Ok);
    std::uint32_t all[6] = {};
    data.Stride = 3 * 4;
    data.Scan0 = all;
    ASSERT_EQ(GdipBitmapLockBits(bitmap, nullptr, ImageLockModeRead | ImageLockModeWrite | ImageLockModeUserInputBuf,
                                 PixelFormat32bppARGB, &data), Ok);
    EXPECT_EQ(all[1], 0xFF000000u | rgb(1, 0));
    all[0] = 0x00ABCDEF; // written back, it stays opaque
    ASSERT_EQ(GdipBitmapUnlockBits(bitmap, &data), Ok);
    ASSERT_EQ(GdipBitmapGetPixel(bitmap, 0, 0, &pixel), Ok);
    EXPECT_EQ(pixel, 0xFFABCDEFu);
    EXPECT_EQ(GdipDisposeImage(bitmap), Ok);
    EXPECT_EQ(GdipDisposeImage(bitmap), InvalidParameter); // already gone

    GpBitmap* none = nullptr;
    EXPECT_EQ(GdipCreateBitmapFromHBITMAP(gdi32::HBITMAP{0xBAD}, HPALETTE{}, &none), InvalidParameter);
    EXPECT_EQ(GdipCreateBitmapFromHBITMAP(device.handle(), HPALETTE{1}, &none), InvalidParameter);
    EXPECT_EQ(none, nullptr);
}

TEST_F(Gdiplus, IndexedBitmapTakesItsPaletteAndTheCallersIndexesAtTheUnlock) {
    GpBitmap* bitmap = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromScan0(3, 2, 0, PixelFormat8bppIndexed, nullptr, &bitmap), Ok);
    INT size = 0;
    ASSERT_EQ(GdipGetImagePaletteSize(bitmap, &size), Ok);
    EXPECT_EQ(size, 8 + 4 * 256);
    ColorPalette palette;
    ASSERT_EQ(GdipGetImagePalette(bitmap, &palette, size), Ok);
    EXPECT_EQ(palette.Flags, PaletteFlagsHalftone);
    palette.Entries[0] = 0x00FF0033;
    palette.Entries[1] = 0xFF112233;
    ASSERT_EQ(GdipSetImagePalette(bitmap, &palette), Ok);
    std::uint8_t indexes[6] = {0, 1, 1, 1, 1, 0};
    BitmapData data;
    data.Stride = 3;
    data.Scan0 = indexes;
    ASSERT_EQ(GdipBitmapLockBits(bitmap, nullptr, ImageLockModeWrite | ImageLockModeUserInputBuf,
                                 PixelFormat8bppIndexed, &data), Ok);
    EXPECT_EQ(GdipBitmapLockBits(bitmap, nullptr, 6, PixelFormat8bppIndexed, &data), WrongState);
    ARGB pixel = 0;
    EXPECT_EQ(GdipBitmapGetPixel(bitmap, 0, 0, &pixel), WrongState);
    indexes[5] = 1; // filled after the lock, as the conversion does
    ASSERT_EQ(GdipBitmapUnlockBits(bitmap, &data), Ok);
    for (int k = 0; k < 6; ++k) {
        ASSERT_EQ(GdipBitmapGetPixel(bitmap, k % 3, k / 3, &pixel), Ok);
        EXPECT_EQ(pixel, palette.Entries[k == 0 ? 0 : 1]) << k;
    }
    GdipDisposeImage(bitmap);
}

TEST_F(Gdiplus, ColourKeyLeavesExactlyThePixelsInsideTheKeyRangeUndrawn) {
    // Red runs along x and green along y in steps of one, so a key one level too wide shows.
    const auto rgb = [](int x, int y) { return (0x20u + x) << 16 | (0x30u + y) << 8 | 0x40u; };
    const DeviceBitmap device(16, 16, rgb);
    GpBitmap* source = FromDevice(device);
    GpBitmap* canvas = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromScan0(16, 16, 0, PixelFormat32bppARGB, nullptr, &canvas), Ok);
    GpGraphics* graphics = nullptr;
    ASSERT_EQ(GdipGetImageGraphicsContext(canvas, &graphics), Ok);
    ASSERT_EQ(GdipGraphicsClear(graphics, 0x00000000), Ok);
    GpImageAttributes* attributes = nullptr;
    ASSERT_EQ(GdipCreateImageAttributes(&attributes), Ok);
    // Red 0x23..0x26, green 0x34, blue 0x40; the alpha of the keys does not count.
    ASSERT_EQ(GdipSetImageAttributesColorKeys(attributes, ColorAdjustTypeBitmap, 1, 0x00233440, 0x77263440), Ok);
    ASSERT_EQ(GdipDrawImageRectRectI(graphics, source, 0, 0, 16, 16, 0, 0, 16, 16, UnitPixel, attributes, nullptr,
                                     nullptr), Ok);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            ARGB pixel = 0;
            ASSERT_EQ(GdipBitmapGetPixel(canvas, x, y, &pixel), Ok);
            const bool keyed = x >= 3 && x <= 6 && y == 4;
            EXPECT_EQ(pixel, keyed ? 0u : 0xFF000000u | rgb(x, y)) << x << "," << y;
        }
    EXPECT_EQ(GdipDrawImageRectRectI(graphics, source, 0, 0, 8, 8, 0, 0, 16, 16, UnitPixel, nullptr, nullptr,
                                     nullptr), NotImplemented); // no scaling
    GdipDisposeImageAttributes(attributes);
    GdipDisposeImage(canvas); // graphics of a disposed image draw nowhere
    EXPECT_EQ(GdipGraphicsClear(graphics, 0xFFFFFFFF), InvalidParameter);
    EXPECT_EQ(GdipDeleteGraphics(graphics), Ok);
    GpBitmap* indexed = nullptr; // an indexed image gives no graphics
    ASSERT_EQ(GdipCreateBitmapFromScan0(4, 4, 0, PixelFormat8bppIndexed, nullptr, &indexed), Ok);
    EXPECT_EQ(GdipGetImageGraphicsContext(indexed, &graphics), InvalidParameter);
    GdipDisposeImage(indexed);
    GdipDisposeImage(source);
}

// Repeated rows, translucent alpha and palette entries, one-pixel sizes, and a device bitmap
// whose data takes several chunks and whose copy is shared among the processors.
TEST_F(Gdiplus, PngOfEveryColourTypeComesBackExact) {
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
TEST_F(Gdiplus, RefusalsAnswerTheirStatusAndLeaveNoFile) {
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
