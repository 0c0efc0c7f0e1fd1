#include "tests/win32/gdiplus_test_support.h"

using namespace gdiplus;
using test_support::DeviceBitmap;

namespace {

class Objects : public test_support::Started {};

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

// Device pixels come back opaque, as they were when the bitmap was made, also through
// ARGB locks of the whole picture or a part of it.
TEST_F(Objects, DeviceBitmapPixelsComeBackOpaqueAsTheyWereWhenTheBitmapWasMade) {
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

TEST_F(Objects, IndexedBitmapTakesItsPaletteAndTheCallersIndexesAtTheUnlock) {
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

TEST_F(Objects, ColourKeyLeavesExactlyThePixelsInsideTheKeyRangeUndrawn) {
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
