#include "bitmap/colour_tables.h"

#include <algorithm>
#include <array>

namespace mdlBitmap {

namespace {

constexpr gdi32::RGBQUAD FromRgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return gdi32::RGBQUAD{blue, green, red, 0};
}

constexpr std::array<gdi32::RGBQUAD, 2> kBlackAndWhite{FromRgb(0, 0, 0), FromRgb(255, 255, 255)};

constexpr std::array<gdi32::RGBQUAD, 16> kSixteenColours{
    FromRgb(0, 0, 0),       FromRgb(128, 0, 0),   FromRgb(0, 128, 0),   FromRgb(128, 128, 0),
    FromRgb(0, 0, 128),     FromRgb(128, 0, 128), FromRgb(0, 128, 128), FromRgb(192, 192, 192),
    FromRgb(128, 128, 128), FromRgb(255, 0, 0),   FromRgb(0, 255, 0),   FromRgb(255, 255, 0),
    FromRgb(0, 0, 255),     FromRgb(255, 0, 255), FromRgb(0, 255, 255), FromRgb(255, 255, 255),
};

// Index bits RRRGGGBB: eight levels of red and green, four of blue, spread over 0 to 255.
constexpr gdi32::RGBQUAD ColourCubeEntry(int index) {
    return FromRgb(static_cast<std::uint8_t>((index / 32) % 8 * 255 / 7),
                   static_cast<std::uint8_t>((index / 4) % 8 * 255 / 7),
                   static_cast<std::uint8_t>(index % 4 * 255 / 3));
}

} // namespace

void FillColourTable(BmpDepth depth, std::span<gdi32::RGBQUAD, 256> table) {
    switch (depth.bitsPerPixel) {
    case 1:
        std::copy(kBlackAndWhite.begin(), kBlackAndWhite.end(), table.begin());
        break;
    case 4:
        std::copy(kSixteenColours.begin(), kSixteenColours.end(), table.begin());
        break;
    case 8:
        for (int index = 0; index < 256; ++index)
            table[index] = ColourCubeEntry(index);
        break;
    default:
        break;
    }
}

} // namespace mdlBitmap
