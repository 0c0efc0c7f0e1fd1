// The GDI conversion to DIB rows against the plain rule, and the imaging layer's objects and
// PNG saves read back by libpng (JPEG and GIF: tests/imaging).

#include "os/wide_text.h"
#include "tests/support/independent_decoders.h"
#include "tests/support/scratch_folder.h"
#include "win32/gdi32/gdi32.h"
#include "win32/gdi32/surface.h"
#include "win32/gdiplus/gdiplus_flat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <random>

using namespace gdiplus;

namespace {

// A device bitmap whose pixel (x, y) is rgb(x, y) (0x00RRGGBB).
class DeviceBitmap {
public:
    DeviceBitmap(int width, int height, const std::function<std::uint32_t(int, int)>& rgb)
        : bitmap_(gdi32::CreateCompatibleBitmap(dc_, width, height)) {
        const auto view = gdi32::ViewBitmap(bitmap_);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                view->Row(y)[x] = rgb(x, y);
    }
    ~DeviceBitmap() {
        gdi32::DeleteObject(bitmap_);
        gdi32::DeleteDC(dc_);
    }
    const gdi32::HDC dc_ = gdi32::CreateCompatibleDC({});
    const gdi32::HBITMAP bitmap_;
};

std::uint32_t Gradient(int x, int y) { return ((x * 7u & 0xFF) << 16) | ((y * 5u & 0xFF) << 8) | ((x + y) & 0xFF); }

// Pixels that do not compress: a large picture's image data spreads over several chunks.
std::uint32_t Noise(int x, int y) {
    std::uint32_t h = std::uint32_t(x) * 0x9E3779B1u ^ std::uint32_t(y) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    return (h ^ h >> 12) & 0xFFFFFF;
}

// The layer started for one test; at the end nothing the test made may be alive.
class Gdiplus : public ::testing::Test {
protected:
    void SetUp() override {
        GdiplusStartupInput input;
        ASSERT_EQ(GdiplusStartup(&token_, &input, nullptr), Ok);
    }
    void TearDown() override {
        EXPECT_EQ(CountLiveObjects(), 0u) << "an object was not released";
        GdiplusShutdown(token_);
    }
    static GpBitmap* FromDevice(const DeviceBitmap& device) {
        GpBitmap* bitmap = nullptr;
        EXPECT_EQ(GdipCreateBitmapFromHBITMAP(device.bitmap_, HPALETTE{}, &bitmap), Ok);
        return bitmap;
    }
    // An image of the given format whose pixels (or indexes) the caller gives at the unlock.
    static GpBitmap* Filled(int width, int height, PixelFormat format, void* pixels, const ColorPalette* palette) {
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

    ULONG_PTR token_ = 0;
    test_support::ScratchFolder folder_;
};

} // namespace

// Runs across the conversion's parts, top bytes not zero, repeated table entries.
TEST(Gdi, GetDIBitsMatchesThePlainRuleAtEveryDepth) {
    constexpr int kWidth = 1283, kHeight = 1701;
    const auto header = [](int bits) {
        gdi32::BITMAPINFO info{};
        info.bmiHeader = {.biSize = 40, .biWidth = kWidth, .biHeight = kHeight, .biPlanes = 1,
                          .biBitCount = static_cast<std::uint16_t>(bits)};
        return info;
    };
    const gdi32::HDC dc = gdi32::CreateCompatibleDC({});
    const gdi32::BITMAPINFO sectionHeader = header(32);
    void* memory = nullptr;
    const gdi32::HBITMAP section = gdi32::CreateDIBSection(dc, &sectionHeader, gdi32::DIB_RGB_COLORS, &memory, nullptr, 0);
    ASSERT_TRUE(section);
    const gdi32::HBITMAP old = gdi32::SelectObject(dc, section);
    auto* pixels = static_cast<std::uint32_t*>(memory); // bottom row first
    std::mt19937 random(7);
    std::vector<std::uint32_t> colours{0xFF0000, 0x00FF00, 0x0000FF}; // equally near several entries
    while (colours.size() < 300)
        colours.push_back(random() & 0xFFFFFF);
    for (std::size_t i = 0; i < std::size_t{kWidth} * kHeight;) {
        const std::uint32_t colour = colours[random() % colours.size()];
        for (std::size_t run = 1 + random() % 40; run > 0 && i < std::size_t{kWidth} * kHeight; --run, ++i)
            pixels[i] = colour | (random() % 4 == 0 ? 0xFF000000u : 0u);
    }
    for (const int depth : {1, 4, 8, 32}) {
        gdi32::BITMAPINFO info = header(depth);
        const int entries = depth < 32 ? 1 << depth : 0;
        for (int i = 0; i < entries; ++i)
            info.bmiColors[i] = i % 3 == 2 ? info.bmiColors[i / 2] // a repeat of an earlier entry
                                           : gdi32::RGBQUAD{std::uint8_t(random()), std::uint8_t(random()), std::uint8_t(random()), 0};
        ASSERT_NE(gdi32::GetDIBits(dc, section, 0, kHeight, nullptr, &info, gdi32::DIB_RGB_COLORS), 0);
        const std::size_t stride = (std::size_t{kWidth} * depth + 31) / 32 * 4;
        ASSERT_EQ(info.bmiHeader.biSizeImage, stride * kHeight) << depth;
        std::map<std::uint32_t, std::uint8_t> indexOf; // the nearest entry, the lowest index on a tie
        for (const std::uint32_t colour : colours) {
            int bestDistance = 1 << 30;
            for (int i = 0; i < entries; ++i) {
                const int dr = int(colour >> 16) - info.bmiColors[i].rgbRed;
                const int dg = int((colour >> 8) & 0xFF) - info.bmiColors[i].rgbGreen;
                const int db = int(colour & 0xFF) - info.bmiColors[i].rgbBlue;
                if (dr * dr + dg * dg + db * db < bestDistance) {
                    bestDistance = dr * dr + dg * dg + db * db;
                    indexOf[colour] = std::uint8_t(i);
                }
            }
        }
        std::vector<std::uint8_t> bits(stride * kHeight, 0xAA), want(stride * kHeight, 0);
        ASSERT_EQ(gdi32::GetDIBits(dc, section, 0, kHeight, bits.data(), &info, gdi32::DIB_RGB_COLORS), kHeight);
        for (std::size_t line = 0; line < kHeight; ++line)
            for (std::size_t x = 0; x < kWidth; ++x) {
                const std::uint32_t pixel = pixels[line * kWidth + x] & 0xFFFFFF;
                if (depth == 32)
                    std::memcpy(&want[line * stride + 4 * x], &pixel, 4);
                else
                    want[line * stride + x * depth / 8] |= indexOf.at(pixel) << (8 - depth - (x * depth) % 8);
            }
        const auto [got, expected] = std::mismatch(bits.begin(), bits.end(), want.begin());
        EXPECT_TRUE(got == bits.end()) << depth << " bits, DIB row " << (got - bits.begin()) / stride;
    }
    gdi32::SelectObject(dc, old);
    gdi32::DeleteObject(section);
    gdi32::DeleteDC(dc);
}

TEST(Startup, TokensPairWithShutdownsAndTheLastOneFreesEverything) {
    GdiplusStartupInput input;
    ULONG_PTR first = 0, second = 0;
    GpBitmap* bitmap = nullptr;
    ASSERT_EQ(GdiplusStartup(&first, &input, nullptr), Ok);
    ASSERT_EQ(GdiplusStartup(&second, &input, nullptr), Ok);
    ASSERT_EQ(GdipCreateBitmapFromScan0(2, 2, 0, PixelFormat32bppARGB, nullptr, &bitmap), Ok);
    GdiplusShutdown(first);
    UINT width = 0;
    EXPECT_EQ(GdipGetImageWidth(bitmap, &width), Ok);
    EXPECT_EQ(width, 2u);
    GdiplusShutdown(second);
    EXPECT_EQ(CountLiveObjects(), 0u);
}

// Device pixels come back opaque and as they were when the bitmap was made, also written
// back through a lock.
TEST_F(Gdiplus, DeviceBitmapPixelsComeBackOpaqueAsTheyWereWhenTheBitmapWasMade) {
    const auto rgb = [](int x, int y) { return 0x102030u * (x + 1) + 0x000001u * y; };
    const DeviceBitmap device(3, 2, rgb);
    GpBitmap* bitmap = FromDevice(device);
    const gdi32::HBITMAP old = gdi32::SelectObject(device.dc_, device.bitmap_);
    gdi32::SetPixel(device.dc_, 2, 1, 0x0000FF);
    EXPECT_EQ(gdi32::GetPixel(device.dc_, 2, 1), 0x0000FFu) << "the device bitmap itself did change";
    gdi32::SelectObject(device.dc_, old);
    PixelFormat format = 0;
    EXPECT_EQ(GdipGetImagePixelFormat(bitmap, &format), Ok);
    EXPECT_EQ(format, PixelFormat32bppRGB);
    std::uint32_t all[6] = {};
    BitmapData data;
    data.Stride = 3 * 4;
    data.Scan0 = all;
    ASSERT_EQ(GdipBitmapLockBits(bitmap, nullptr, ImageLockModeRead | ImageLockModeWrite | ImageLockModeUserInputBuf,
                                 PixelFormat32bppARGB, &data), Ok);
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(all[k], 0xFF000000u | rgb(k % 3, k / 3)) << k;
    all[0] = 0x00ABCDEF; // written back, it stays opaque
    ASSERT_EQ(GdipBitmapUnlockBits(bitmap, &data), Ok);
    ARGB pixel = 0;
    ASSERT_EQ(GdipBitmapGetPixel(bitmap, 0, 0, &pixel), Ok);
    EXPECT_EQ(pixel, 0xFFABCDEFu);
    GdipDisposeImage(bitmap);
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
    indexes[5] = 1; // filled after the lock, as the conversion does
    ASSERT_EQ(GdipBitmapUnlockBits(bitmap, &data), Ok);
    for (int k = 0; k < 6; ++k) {
        ARGB pixel = 0;
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
    GdipDeleteGraphics(graphics);
    GdipDisposeImageAttributes(attributes);
    GdipDisposeImage(canvas);
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
    const CLSID png{0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
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
            const Status saved = GdipSaveImageToFile(image, os::ToUtf16(folder_ / "r.png").c_str(), &png, nullptr);
            GdipDisposeImage(image);
            ASSERT_EQ(saved, Ok);
            const auto read = decoders::ReadPng(folder_ / "r.png");
            ASSERT_TRUE(read);
            EXPECT_EQ(read->hasAlpha, format != PixelFormat32bppRGB);
            EXPECT_EQ(read->isIndexed, format == PixelFormat8bppIndexed);
            EXPECT_TRUE(read->hasColor);
            ASSERT_EQ(read->width, width);
            ASSERT_EQ(read->height, height);
            EXPECT_TRUE(read->argb == expected);
        }
    }
}
