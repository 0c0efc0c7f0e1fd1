#pragma once

// For the imaging tests: device bitmaps and a started imaging layer.

#include "tests/support/scratch_folder.h"
#include "win32/gdi32/gdi32.h"
#include "win32/gdi32/surface.h"
#include "win32/gdiplus/gdiplus_flat.h"

#include <gtest/gtest.h>

#include <functional>

namespace test_support {

// A device bitmap whose pixel (x, y) is rgb(x, y) (0x00RRGGBB).
class DeviceBitmap {
public:
    DeviceBitmap(int width, int height, const std::function<std::uint32_t(int, int)>& rgb)
        : dc_(gdi32::CreateCompatibleDC({})), bitmap_(gdi32::CreateCompatibleBitmap(dc_, width, height)) {
        const auto view = gdi32::ViewBitmap(bitmap_);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                view->Row(y)[x] = rgb(x, y);
    }
    ~DeviceBitmap() {
        gdi32::DeleteObject(bitmap_);
        gdi32::DeleteDC(dc_);
    }
    gdi32::HBITMAP handle() const { return bitmap_; }

private:
    gdi32::HDC dc_;
    gdi32::HBITMAP bitmap_;
};

// The imaging layer started for one test; at the end nothing the test made may be alive.
class Started : public ::testing::Test {
protected:
    void SetUp() override {
        gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(gdiplus::GdiplusStartup(&token_, &input, nullptr), gdiplus::Ok);
    }
    void TearDown() override {
        EXPECT_EQ(gdiplus::CountLiveObjects(), 0u) << "an object was not released";
        gdiplus::GdiplusShutdown(token_);
    }
    // A bitmap of the device bitmap's pixels.
    static gdiplus::GpBitmap* FromDevice(const DeviceBitmap& device) {
        gdiplus::GpBitmap* bitmap = nullptr;
        EXPECT_EQ(gdiplus::GdipCreateBitmapFromHBITMAP(device.handle(), gdiplus::HPALETTE{}, &bitmap), gdiplus::Ok);
        return bitmap;
    }

private:
    gdiplus::ULONG_PTR token_ = 0;
};

} // namespace test_support
