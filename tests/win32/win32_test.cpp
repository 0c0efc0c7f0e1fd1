// The system interfaces: the imaging layer's colour key, class identifiers, UTF-16 paths,
// the browser command and the desktop opener.

#include "os/browser_command.h"
#include "os/wide_text.h"
#include "tests/browser/scoped_environment.h"
#include "tests/support/scratch_folder.h"
#include "win32/gdi32/gdi32.h"
#include "win32/gdi32/surface.h"
#include "win32/gdiplus/gdiplus_flat.h"
#include "win32/shell32/shell32.h"

#include <gtest/gtest.h>


using namespace gdiplus;

namespace {

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
};

} // namespace

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
