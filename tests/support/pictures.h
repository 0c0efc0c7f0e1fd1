#pragma once

// Test pictures in memory device contexts, files as bytes, a 32-bit BMP reader.

#include "tests/support/scratch_folder.h"
#include "win32/gdi32/gdi32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace test_pictures {

struct Color {
    int red = 0, green = 0, blue = 0;
    friend bool operator==(Color, Color) = default;
};

// Row 0 is the top row.
struct Picture {
    int width = 0, height = 0;
    std::vector<Color> pixels;

    Picture() = default;
    Picture(int w, int h, Color fill = {}) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill) {}
    Color& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    Color at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    Picture UpsideDown() const {
        Picture flipped(width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                flipped.at(x, height - 1 - y) = at(x, y);
        return flipped;
    }
    friend bool operator==(const Picture&, const Picture&) = default;
};

// "same", or the size or the first pixel where got differs from want.
inline std::string FirstDifference(const Picture& got, const Picture& want) {
    if (got.width != want.width || got.height != want.height)
        return "size " + std::to_string(got.width) + " × " + std::to_string(got.height);
    const auto text = [](Color c) {
        return std::to_string(c.red) + "," + std::to_string(c.green) + "," + std::to_string(c.blue);
    };
    for (int y = 0; y < got.height; ++y)
        for (int x = 0; x < got.width; ++x)
            if (got.at(x, y) != want.at(x, y))
                return "(" + std::to_string(x) + ", " + std::to_string(y) + ") is " + text(got.at(x, y)) +
                       " instead of " + text(want.at(x, y));
    return "same";
}

// The effects of one pixel computed independently: real arithmetic, rounded half to even.
// 1 grey, 2 red, 3 blue, 4 green, 5 purple, 6 water, 7 yellow, 8 sepia, 9 inverted; else unchanged.
inline int Nearest(double x) { return static_cast<int>(std::nearbyint(x)); }
inline int Clamp(int v) { return std::clamp(v, 0, 255); }
inline int Grey(Color c) { return Nearest((c.red + c.green + c.blue) / 3.0); }

inline Color ExpectedPerPixel(int effect, Color c) {
    const int g = Grey(c), h = g / 2, d = std::min(2 * g, 255);
    switch (effect) {
    case 1: return {g, g, g};
    case 2: return {d, g, g};
    case 3: return {g, g, d};
    case 4: return {g, d, g};
    case 5: return {g, h, g};
    case 6: return {h, g, g};
    case 7: return {g, g, h};
    case 8: return {Clamp(Nearest(123.0 / 255.0 * c.red + 132)), Clamp(Nearest(189.0 / 255.0 * c.green + 66)), c.blue};
    case 9: return {255 - c.red, 255 - c.green, 255 - c.blue};
    default: return c;
    }
}

// Gradients, pseudo-random pixels, the cube's corners and colours between two table entries.
inline Picture MixedPicture(int width, int height, std::uint32_t seed = 1) {
    static const Color kSpecial[] = {
        {0, 0, 0},     {255, 255, 255}, {0, 0, 255},     {255, 0, 51},  {64, 64, 64},
        {128, 128, 0}, {192, 192, 192}, {127, 127, 127}, {18, 18, 42},  {255, 0, 0},
        {1, 0, 0},     {2, 0, 0},       {10, 20, 31},    {85, 85, 85},  {160, 160, 160},
    };
    Picture picture(width, height);
    std::uint32_t state = seed * 2654435761u + 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int kind = (x + 3 * y) % 4;
            const Color random{static_cast<int>(state >> 24), static_cast<int>((state >> 16) & 0xFF),
                               static_cast<int>((state >> 8) & 0xFF)};
            const Color gradient{x * 255 / std::max(1, width - 1), y * 255 / std::max(1, height - 1), (x + y) % 256};
            picture.at(x, y) = kind == 0 ? kSpecial[(state >> 8) % std::size(kSpecial)] : kind == 1 ? gradient : random;
        }
    return picture;
}

// A memory device context with a device bitmap holding the picture.
class PictureDc {
public:
    explicit PictureDc(const Picture& picture)
        : dc_(gdi32::CreateCompatibleDC({})),
          bitmap_(gdi32::CreateCompatibleBitmap(dc_, picture.width, picture.height)),
          old_(gdi32::SelectObject(dc_, bitmap_)) {
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x) {
                const Color c = picture.at(x, y);
                gdi32::SetPixel(dc_, x, y, static_cast<gdi32::COLORREF>(c.red | c.green << 8 | c.blue << 16));
            }
    }
    ~PictureDc() {
        gdi32::SelectObject(dc_, old_);
        gdi32::DeleteObject(bitmap_);
        gdi32::DeleteDC(dc_);
    }
    PictureDc(const PictureDc&) = delete;
    PictureDc& operator=(const PictureDc&) = delete;
    gdi32::HDC dc() const { return dc_; }

private:
    gdi32::HDC dc_;
    gdi32::HBITMAP bitmap_;
    gdi32::HBITMAP old_;
};

// The pixels of the bitmap selected into dc, through GetPixel.
inline Picture ReadPicture(gdi32::HDC dc) {
    gdi32::BITMAP size{};
    gdi32::GetObjectA(gdi32::GetCurrentObject(dc, gdi32::OBJ_BITMAP), sizeof size, &size);
    Picture picture(size.bmWidth, size.bmHeight);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const gdi32::COLORREF c = gdi32::GetPixel(dc, x, y);
            picture.at(x, y) = {static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                                static_cast<int>((c >> 16) & 0xFF)};
        }
    return picture;
}

inline std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    const std::string bytes = test_support::ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

inline void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    test_support::WriteBytes(path, std::string(bytes.begin(), bytes.end()));
}

// A 32-bit BMP as the writer lays it out; any other file fails the test (empty picture).
inline Picture Decode32BitBmp(const std::vector<std::uint8_t>& file) {
    const auto u32 = [&](std::size_t at) {
        return file.size() < 54 ? 0 : file[at] | file[at + 1] << 8 | file[at + 2] << 16 | std::uint32_t{file[at + 3]} << 24;
    };
    const int width = static_cast<int>(u32(18)), height = static_cast<int>(u32(22));
    const std::size_t size = 54 + static_cast<std::size_t>(width) * height * 4;
    if (file.size() != size || file[0] != 'B' || file[1] != 'M' || u32(2) != size || u32(10) != 54 ||
        (file[28] | file[29] << 8) != 32) {
        ADD_FAILURE() << "not a 32-bit BMP as laid out by the writer, " << file.size() << " bytes";
        return {};
    }
    Picture picture(width, height);
    for (int row = 0; row < height; ++row)
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = &file[54 + (static_cast<std::size_t>(row) * width + x) * 4];
            EXPECT_EQ(p[3], 0) << "reserved byte of pixel " << x << ", file row " << row;
            picture.at(x, height - 1 - row) = {p[2], p[1], p[0]};
        }
    return picture;
}

} // namespace test_pictures
