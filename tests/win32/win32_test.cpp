// The system interfaces: GDI's conversion to DIB rows, the imaging layer's objects and a PNG
// save read back by libpng, class identifiers, the browser command and the
// desktop opener.

#include "os/browser_command.h"
#include "os/wide_text.h"
#include "tests/browser/scoped_environment.h"
#include "tests/support/independent_decoders.h"
#include "tests/support/scratch_folder.h"
#include "win32/gdi32/gdi32.h"
#include "win32/gdi32/surface.h"
#include "win32/gdiplus/gdiplus_flat.h"
#include "win32/ole32/ole32.h"
#include "win32/shell32/shell32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

using namespace gdiplus;

namespace {

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
        for (const gdi32::HBITMAP device : devices_)
            gdi32::DeleteObject(device);
        gdi32::DeleteDC(dc_);
    }
    // A bitmap of a device bitmap whose pixel (x, y) is rgb(x, y) (0x00RRGGBB).
    GpBitmap* FromDevice(int width, int height, const auto& rgb) {
        const gdi32::HBITMAP device = devices_.emplace_back(gdi32::CreateCompatibleBitmap(dc_, width, height));
        const auto view = gdi32::ViewBitmap(device);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                view->Row(y)[x] = rgb(x, y);
        GpBitmap* bitmap = nullptr;
        EXPECT_EQ(GdipCreateBitmapFromHBITMAP(device, HPALETTE{}, &bitmap), Ok);
        return bitmap;
    }
    ULONG_PTR token_ = 0;
    const gdi32::HDC dc_ = gdi32::CreateCompatibleDC({});
    std::vector<gdi32::HBITMAP> devices_;
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
        for (const std::uint32_t c : colours) {
            const auto distance = [c](const gdi32::RGBQUAD& e) {
                const int dr = int(c >> 16) - e.rgbRed, dg = int(c >> 8 & 0xFF) - e.rgbGreen;
                return dr * dr + dg * dg + (int(c & 0xFF) - e.rgbBlue) * (int(c & 0xFF) - e.rgbBlue);
            };
            const auto nearer = [&](const auto& a, const auto& b) { return distance(a) < distance(b); };
            indexOf[c] = std::uint8_t(std::min_element(info.bmiColors, info.bmiColors + entries, nearer) -
                                      info.bmiColors);
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

TEST_F(Gdiplus, ColourKeyLeavesExactlyThePixelsInsideTheKeyRangeUndrawn) {
    // Red runs along x and green along y in steps of one, so a key one level too wide shows.
    const auto rgb = [](int x, int y) { return (0x20u + x) << 16 | (0x30u + y) << 8 | 0x40u; };
    // Drawn from the layer's own copy of a device bitmap, and straight from the device bitmap
    // (kept as a recipe until the canvas's pixels are read).
    for (const bool ownCopy : {true, false}) {
        GpBitmap* source = FromDevice(16, 16, rgb);
        if (ownCopy) { // a pixel written back without alpha into the device bitmap's copy stays opaque
            std::uint32_t corner = rgb(0, 0);
            BitmapData data;
            data.Stride = 4;
            data.Scan0 = &corner;
            const GpRect first{0, 0, 1, 1};
            ASSERT_EQ(GdipBitmapLockBits(source, &first, ImageLockModeWrite | ImageLockModeUserInputBuf,
                                         PixelFormat32bppARGB, &data), Ok);
            ASSERT_EQ(GdipBitmapUnlockBits(source, &data), Ok);
        }
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
                EXPECT_EQ(pixel, keyed ? 0u : 0xFF000000u | rgb(x, y)) << x << "," << y << (ownCopy ? "" : ", recipe");
            }
        GdipDeleteGraphics(graphics);
        GdipDisposeImageAttributes(attributes);
        GdipDisposeImage(canvas);
        GdipDisposeImage(source);
    }
}

// Copied in parts on every processor, its PNG data in several chunks (colour types: tests/codecs).
TEST_F(Gdiplus, ALargeDeviceBitmapIsSavedExactly) {
    GpBitmap* image = FromDevice(1500, 1500, Noise);
    ASSERT_EQ(GdipSaveImageToFile(image, os::ToUtf16(folder_ / "r.png").c_str(), &PngEncoderClsid, nullptr), Ok);
    GdipDisposeImage(image);
    const auto read = decoders::ReadPng(folder_ / "r.png");
    ASSERT_TRUE(read);
    ASSERT_EQ(read->argb.size(), 1500u * 1500u);
    for (std::size_t k = 0; k < read->argb.size(); ++k)
        ASSERT_EQ(read->argb[k], 0xFF000000u | Noise(int(k % 1500), int(k / 1500))) << k;
}

TEST(Ole32, ParsesBracedTextWithTheFirstFieldsLittleEndian) {
    ole32::GUID guid;
    ASSERT_EQ(ole32::CLSIDFromString(u"{1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB}", &guid), ole32::S_OK);
    const unsigned char expected[16] = {0xB5, 0xE4, 0x5B, 0x1D, 0x4A, 0xFA, 0x2D, 0x45,
                                        0x9C, 0xDD, 0x5D, 0xB3, 0x51, 0x05, 0xE7, 0xEB};
    EXPECT_EQ(0, std::memcmp(&guid, expected, 16));
}

TEST(WideText, EveryPathSurvivesTheRoundTrip) {
    // Outside the basic plane (a surrogate pair), bytes that are not UTF-8, encoded surrogates.
    for (const std::string path : {"/tmp/画像フォルダ/Sample.gif", "/tmp/\xF0\x9F\x98\x80.jpg", "/tmp/\xFF\xFE-\xE9.png",
                                   "/tmp/\xED\xA0\x80.png", "/tmp/\xED\xB0\x80.png"})
        EXPECT_EQ(os::FromUtf16(os::ToUtf16(path)), path);
    EXPECT_EQ(os::ToUtf16("画"), std::u16string(u"画"));
    EXPECT_EQ(os::ToUtf16("\xF0\x9F\x98\x81"), std::u16string(u"\U0001F601"));
}

// FindBrowserCommand with the environment changed for the call.
std::string BrowserCommandWith(const char* browser, const char* path) {
    lumivert::testing::ScopedEnvironment environment;
    environment.Set("BROWSER", browser);
    environment.Set("PATH", path);
    return os::FindBrowserCommand();
}

TEST(BrowserCommand, PrefersBrowserVariableThenChromiumOnPath) {
    const test_support::ScratchFolder folder;
    folder.Put("chromium", "#!/bin/sh\n", 0700);
    folder.Put("google-chrome", "#!/bin/sh\n", 0644);
    EXPECT_EQ(BrowserCommandWith("/bin/true:/bin/false", folder.path().c_str()), "/bin/true");
    EXPECT_EQ(BrowserCommandWith("sh %s", "/bin"), "/bin/sh") << "a bare name is found on PATH, options dropped";
    EXPECT_EQ(BrowserCommandWith("/no/such/browser", folder.path().c_str()), folder / "chromium");
    EXPECT_EQ(BrowserCommandWith(nullptr, folder.path().c_str()), folder / "chromium");
    folder.Remove("chromium");
    EXPECT_NE(BrowserCommandWith(nullptr, folder.path().c_str()), folder / "google-chrome")
        << "a file that is not executable is no browser";
}

// Without a desktop the opener falls back to $BROWSER. A file that opens: the result page tests.
TEST(ShellExecute, FailuresAnswerBelow32) {
    lumivert::testing::ScopedEnvironment environment;
    environment.Set("DISPLAY", nullptr);
    environment.Set("WAYLAND_DISPLAY", nullptr);
    const test_support::ScratchFolder folder;
    EXPECT_EQ(shell32::ShellExecuteA(0, "OPEN", (folder / "missing.html").c_str(), nullptr, nullptr, 1),
              shell32::ERROR_FILE_NOT_FOUND);
    folder.Put("data.lumivert-unknown", "x");
    environment.Set("BROWSER", "/bin/false");
    EXPECT_EQ(shell32::ShellExecuteA(0, "OPEN", (folder / "data.lumivert-unknown").c_str(), nullptr, nullptr, 1),
              shell32::SE_ERR_NOASSOC) << "nothing can open it";
    environment.Set("PATH", folder.path().c_str());
    EXPECT_EQ(shell32::ShellExecuteA(0, "OPEN", (folder / "data.lumivert-unknown").c_str(), nullptr, nullptr, 1),
              shell32::SE_ERR_NOASSOC) << "no opener installed";
}
