// DIB rows at every depth against the plain rule, converted in parts: runs across the parts'
// borders, top bytes not zero, part bytes at 1 and 4 bits, repeated table entries, a row range.

#include "win32/gdi32/gdi32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <vector>

using namespace gdi32;

TEST(Gdi, GetDIBitsMatchesThePlainRuleAtEveryDepth) {
    constexpr int kWidth = 1283, kHeight = 1701;
    const auto header = [](int bits) {
        BITMAPINFO info{};
        info.bmiHeader = {.biSize = 40, .biWidth = kWidth, .biHeight = kHeight, .biPlanes = 1,
                          .biBitCount = static_cast<std::uint16_t>(bits)};
        return info;
    };
    HDC dc = CreateCompatibleDC({});
    const BITMAPINFO sectionHeader = header(32);
    void* memory = nullptr;
    HBITMAP section = CreateDIBSection(dc, &sectionHeader, DIB_RGB_COLORS, &memory, nullptr, 0);
    ASSERT_TRUE(section);
    HBITMAP old = SelectObject(dc, section);
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
        BITMAPINFO info = header(depth);
        const int entries = depth < 32 ? 1 << depth : 0;
        for (int i = 0; i < entries; ++i)
            info.bmiColors[i] = i % 3 == 2 ? info.bmiColors[i / 2] // a repeat of an earlier entry
                                           : RGBQUAD{std::uint8_t(random()), std::uint8_t(random()), std::uint8_t(random()), 0};
        if (depth == 1) {
            info.bmiColors[0] = {0, 0, 0, 0};
            info.bmiColors[1] = {255, 255, 255, 0};
        }
        ASSERT_NE(GetDIBits(dc, section, 0, kHeight, nullptr, &info, DIB_RGB_COLORS), 0);
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
        // Every row, then rows 100 to 1599 alone.
        for (const auto& [start, lines] : {std::pair{0, kHeight}, std::pair{100, 1500}}) {
            std::vector<std::uint8_t> bits(stride * lines, 0xAA);
            ASSERT_EQ(GetDIBits(dc, section, start, lines, bits.data(), &info, DIB_RGB_COLORS), lines);
            for (int line = 0; line < lines; ++line) {
                std::vector<std::uint8_t> want(stride, 0);
                for (int x = 0; x < kWidth; ++x) {
                    const std::uint32_t pixel = pixels[std::size_t(start + line) * kWidth + x] & 0xFFFFFF;
                    if (depth == 32)
                        std::memcpy(&want[4 * std::size_t(x)], &pixel, 4);
                    else
                        want[x * depth / 8] |= indexOf.at(pixel) << (8 - depth - (x * depth) % 8);
                }
                ASSERT_TRUE(std::equal(want.begin(), want.end(), bits.begin() + line * stride))
                    << depth << " bits, DIB row " << start + line;
            }
        }
    }
    SelectObject(dc, old);
    DeleteObject(section);
    DeleteDC(dc);
}
