// The conversion of device pixels to DIB rows at every depth, against the plain rule. Setting
// and reading pixels, DIB sections, block copies and the persistent picture are what every
// saver and effect runs on: the BMP and effect tests check them pixel by pixel.

#include "win32/gdi32/gdi32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <vector>

using namespace gdi32;

namespace {

BITMAPINFO HeaderFor(int width, int height, int bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = 40;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<std::uint16_t>(bits);
    return info;
}

// A picture of a few million pixels, converted in parts, against the plain rule pixel by
// pixel: runs of one colour of every length (also across the parts' borders), pixels whose
// top byte is not zero, odd widths that leave part bytes at 1 and 4 bits, colour tables
// with repeated entries (the lower index wins), a range of rows.
TEST(Gdi, GetDIBitsMatchesThePlainRuleAtEveryDepth) {
    constexpr int kWidth = 1283, kHeight = 1701;
    HDC dc = CreateCompatibleDC({});
    const BITMAPINFO sectionHeader = HeaderFor(kWidth, kHeight, 32);
    void* memory = nullptr;
    HBITMAP section = CreateDIBSection(dc, &sectionHeader, DIB_RGB_COLORS, &memory, nullptr, 0);
    ASSERT_TRUE(section);
    HBITMAP old = SelectObject(dc, section);
    auto* pixels = static_cast<std::uint32_t*>(memory); // bottom row first

    std::mt19937 random(7);
    std::vector<std::uint32_t> colours(300);
    for (auto& colour : colours)
        colour = random() & 0xFFFFFF;
    colours[0] = 0xFF0000; // pure colours, equally near several entries of the tables below
    colours[1] = 0x00FF00;
    colours[2] = 0x0000FF;
    for (std::size_t i = 0; i < std::size_t{kWidth} * kHeight;) {
        const std::uint32_t colour = colours[random() % colours.size()];
        for (std::size_t run = 1 + random() % 40; run > 0 && i < std::size_t{kWidth} * kHeight; --run, ++i)
            pixels[i] = colour | (random() % 4 == 0 ? 0xFF000000u : 0u);
    }

    for (const int depth : {1, 4, 8, 32}) {
        BITMAPINFO info = HeaderFor(kWidth, kHeight, depth);
        const int entries = depth < 32 ? 1 << depth : 0;
        for (int i = 0; i < entries; ++i)
            info.bmiColors[i] = i % 3 == 2 ? info.bmiColors[i / 2] // a repeat of an earlier entry
                                           : RGBQUAD{static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                                                     static_cast<std::uint8_t>(random()), 0};
        if (depth == 1) {
            info.bmiColors[0] = {0, 0, 0, 0};
            info.bmiColors[1] = {255, 255, 255, 0};
        }
        ASSERT_NE(GetDIBits(dc, section, 0, kHeight, nullptr, &info, DIB_RGB_COLORS), 0);
        const std::size_t stride = (std::size_t{kWidth} * depth + 31) / 32 * 4;
        ASSERT_EQ(info.bmiHeader.biSizeImage, stride * kHeight) << depth;

        // The plain rule: the nearest entry by squared distance, the lowest index on a tie.
        const auto nearest = [&](std::uint32_t pixel) {
            int best = 0, bestDistance = 1 << 30;
            for (int i = 0; i < entries; ++i) {
                const int dr = int((pixel >> 16) & 0xFF) - info.bmiColors[i].rgbRed;
                const int dg = int((pixel >> 8) & 0xFF) - info.bmiColors[i].rgbGreen;
                const int db = int(pixel & 0xFF) - info.bmiColors[i].rgbBlue;
                if (dr * dr + dg * dg + db * db < bestDistance) {
                    bestDistance = dr * dr + dg * dg + db * db;
                    best = i;
                }
            }
            return static_cast<std::uint8_t>(best);
        };
        std::map<std::uint32_t, std::uint8_t> indexOf;
        for (const std::uint32_t colour : colours)
            indexOf[colour] = nearest(colour);
        const auto expectedRow = [&](int memoryRow) {
            std::vector<std::uint8_t> row(stride, 0);
            for (int x = 0; x < kWidth; ++x) {
                const std::uint32_t pixel = pixels[std::size_t(memoryRow) * kWidth + x] & 0xFFFFFF;
                if (depth == 32)
                    std::memcpy(&row[4 * std::size_t(x)], &pixel, 4);
                else
                    row[x * depth / 8] |= indexOf.at(pixel) << (8 - depth - (x * depth) % 8);
            }
            return row;
        };

        // Every row, then rows 100 to 1599 alone.
        for (const auto& [start, lines] : {std::pair{0, kHeight}, std::pair{100, 1500}}) {
            std::vector<std::uint8_t> bits(stride * lines, 0xAA);
            ASSERT_EQ(GetDIBits(dc, section, start, lines, bits.data(), &info, DIB_RGB_COLORS), lines);
            for (int line = 0; line < lines; ++line) {
                const std::vector<std::uint8_t> got(bits.begin() + line * stride, bits.begin() + (line + 1) * stride);
                ASSERT_EQ(got, expectedRow(start + line)) << depth << " bits, DIB row " << start + line;
            }
        }
    }
    SelectObject(dc, old);
    DeleteObject(section);
    DeleteDC(dc);
}

} // namespace
