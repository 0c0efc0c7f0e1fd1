#include "tests/win32/gdiplus_test_support.h"

using namespace gdiplus;
using test_support::DeviceBitmap;

namespace {

class Objects : public test_support::Started {};

GpBitmap* FromDevice(const DeviceBitmap& device) {
    GpBitmap* bitmap = nullptr;
    EXPECT_EQ(GdipCreateBitmapFromHBITMAP(device.handle(), HPALETTE{}, &bitmap), Ok);
    return bitmap;
}

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

TEST_F(Objects, DeviceBitmapPixelsComeBackOpaque) {
    const DeviceBitmap device(3, 2, [](int x, int y) { return 0x102030u * (x + 1) + 0x000001u * y; });
    GpBitmap* bitmap = FromDevice(device);
    PixelFormat format = 0;
    EXPECT_EQ(GdipGetImagePixelFormat(bitmap, &format), Ok);
    EXPECT_EQ(format, PixelFormat32bppRGB);
    ARGB pixel = 0;
    ASSERT_EQ(GdipBitmapGetPixel(bitmap, 2, 1, &pixel), Ok);
    EXPECT_EQ(pixel, 0xFF000000u | (0x102030u * 3 + 1));
    EXPECT_EQ(GdipBitmapGetPixel(bitmap, 3, 0, &pixel), InvalidParameter);

    // Written back through an ARGB lock, the pixels stay opaque.
    std::uint32_t all[6] = {};
    BitmapData data;
    data.Stride = 3 * 4;
    data.Scan0 = all;
    ASSERT_EQ(GdipBitmapLockBits(bitmap, nullptr, ImageLockModeRead | ImageLockModeWrite | ImageLockModeUserInputBuf,
                                 PixelFormat32bppARGB, &data), Ok);
    all[0] = 0x00ABCDEF;
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

// A picture large enough to be copied in parts comes back whole, every row in its place,
// and so does a rectangle inside it read into the layer's own buffer.
TEST_F(Objects, ALargeDeviceBitmapIsCopiedWhole) {
    constexpr int kWidth = 1283, kHeight = 1701;
    const auto rgb = [](int x, int y) { return (static_cast<std::uint32_t>(x) * 2654435761u ^ y * 40503u) & 0xFFFFFFu; };
    const DeviceBitmap device(kWidth, kHeight, rgb);
    GpBitmap* bitmap = FromDevice(device);
    std::vector<std::uint32_t> all(std::size_t{kWidth} * kHeight);
    for (const bool userBuffer : {true, false}) {
        const GpRect rect = userBuffer ? GpRect{0, 0, kWidth, kHeight} : GpRect{5, 7, 100, 50};
        BitmapData data;
        data.Stride = kWidth * 4;
        data.Scan0 = all.data();
        ASSERT_EQ(GdipBitmapLockBits(bitmap, &rect, userBuffer ? ImageLockModeRead | ImageLockModeUserInputBuf : UINT{ImageLockModeRead},
                                     userBuffer ? PixelFormat32bppARGB : PixelFormat32bppRGB, &data), Ok);
        for (int y = 0; y < rect.Height; ++y)
            for (int x = 0; x < rect.Width; ++x)
                ASSERT_EQ(static_cast<const std::uint32_t*>(data.Scan0)[std::size_t(data.Stride / 4) * y + x],
                          0xFF000000u | rgb(rect.X + x, rect.Y + y)) << x << ", " << y;
        EXPECT_EQ(GdipBitmapUnlockBits(bitmap, &data), Ok);
    }
    EXPECT_EQ(GdipDisposeImage(bitmap), Ok);
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
    palette.Entries[2] = 0xFF445566;
    ASSERT_EQ(GdipSetImagePalette(bitmap, &palette), Ok);

    std::uint8_t indexes[6] = {0, 1, 2, 2, 1, 0};
    BitmapData data;
    data.Stride = 3;
    data.Scan0 = indexes;
    ASSERT_EQ(GdipBitmapLockBits(bitmap, nullptr, ImageLockModeWrite | ImageLockModeUserInputBuf,
                                 PixelFormat8bppIndexed, &data), Ok);
    EXPECT_EQ(GdipBitmapLockBits(bitmap, nullptr, 6, PixelFormat8bppIndexed, &data), WrongState);
    ARGB pixel = 0;
    EXPECT_EQ(GdipBitmapGetPixel(bitmap, 0, 0, &pixel), WrongState);
    indexes[5] = 2; // filled after the lock, as the conversion does
    ASSERT_EQ(GdipBitmapUnlockBits(bitmap, &data), Ok);

    const ARGB expected[6] = {0x00FF0033, 0xFF112233, 0xFF445566, 0xFF445566, 0xFF112233, 0xFF445566};
    for (int k = 0; k < 6; ++k) {
        ASSERT_EQ(GdipBitmapGetPixel(bitmap, k % 3, k / 3, &pixel), Ok);
        EXPECT_EQ(pixel, expected[k]) << k;
    }
    GdipDisposeImage(bitmap);
}

TEST_F(Objects, ColourKeyLeavesExactlyThePixelsInsideTheKeyRangeUndrawn) {
    // Red runs along x and green along y in steps of one, so a key one level too wide shows.
    const DeviceBitmap device(16, 16, [](int x, int y) { return (0x20u + x) << 16 | (0x30u + y) << 8 | 0x40u; });
    GpBitmap* source = FromDevice(device);
    GpBitmap* canvas = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromScan0(16, 16, 0, PixelFormat32bppARGB, nullptr, &canvas), Ok);
    GpGraphics* graphics = nullptr;
    ASSERT_EQ(GdipGetImageGraphicsContext(canvas, &graphics), Ok);
    ASSERT_EQ(GdipGraphicsClear(graphics, 0x00000000), Ok);
    GpImageAttributes* attributes = nullptr;
    ASSERT_EQ(GdipCreateImageAttributes(&attributes), Ok);
    // Red 0x23..0x26, green 0x34..0x34, blue 0x40..0x40; the alpha of the keys does not count.
    ASSERT_EQ(GdipSetImageAttributesColorKeys(attributes, ColorAdjustTypeBitmap, 1, 0x00233440, 0x77263440), Ok);
    ASSERT_EQ(GdipDrawImageRectRectI(graphics, source, 0, 0, 16, 16, 0, 0, 16, 16, UnitPixel, attributes, nullptr,
                                     nullptr), Ok);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            ARGB pixel = 0;
            ASSERT_EQ(GdipBitmapGetPixel(canvas, x, y, &pixel), Ok);
            const bool keyed = x >= 3 && x <= 6 && y == 4;
            EXPECT_EQ(pixel, keyed ? 0u : 0xFF000000u | (0x20u + x) << 16 | (0x30u + y) << 8 | 0x40u) << x << "," << y;
        }
    EXPECT_EQ(GdipDrawImageRectRectI(graphics, source, 0, 0, 8, 8, 0, 0, 16, 16, UnitPixel, nullptr, nullptr,
                                     nullptr), NotImplemented); // no scaling
    GdipDisposeImageAttributes(attributes);
    GdipDeleteGraphics(graphics);

    // Graphics of a disposed image draw nowhere; an indexed image gives none.
    ASSERT_EQ(GdipGetImageGraphicsContext(canvas, &graphics), Ok);
    GdipDisposeImage(canvas);
    EXPECT_EQ(GdipGraphicsClear(graphics, 0xFFFFFFFF), InvalidParameter);
    EXPECT_EQ(GdipDeleteGraphics(graphics), Ok);
    GpBitmap* indexed = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromScan0(4, 4, 0, PixelFormat8bppIndexed, nullptr, &indexed), Ok);
    EXPECT_EQ(GdipGetImageGraphicsContext(indexed, &graphics), InvalidParameter);
    GdipDisposeImage(indexed);
    GdipDisposeImage(source);
}
