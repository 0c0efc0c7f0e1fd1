#pragma once

// The colour effects, stated once on channel values and shared by both effect engines:
// the packing helpers, effects 1 to 9 (one pixel's red, green and blue to new ones) and the
// scan loop. Effects 10 and 11 are in neighbourhood_effects.h.
//
// Formulas may return channels above 255; the packers MakeDIBColor and MakeColorValue clamp
// them. No formula returns a negative channel.

#include "codecs/colour_packing.h"
#include "win32/gdi32/gdi32.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <type_traits>

namespace mdlBitmap {

// The effect numbers as the window offers them.
enum EffectId : std::int32_t {
    kGrayScale = 1,
    kRed,
    kBlue,
    kGreen,
    kPurple,
    kWater,
    kYellow,
    kSepia,
    kReverse,
    kEmboss,
    kEmbossFalse,
};

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
    friend bool operator==(Rgb, Rgb) = default;
};

// Bits 0–7, 8–15 and 16–23 of value; the top byte is ignored. A colour value gives red,
// green, blue; a DIB pixel gives blue, green, red.
inline void SplitColor(std::uint32_t value, int& first, int& second, int& third) {
    first = static_cast<int>(codecs::ChannelOf(value, 0));
    second = static_cast<int>(codecs::ChannelOf(value, 1));
    third = static_cast<int>(codecs::ChannelOf(value, 2));
}

// A channel as the packers take it: above 255 counts as 255.
inline std::uint32_t Clamped(int channel) { return static_cast<std::uint32_t>(std::min(channel, 255)); }

// A DIB pixel (bytes blue, green, red, 0); channels above 255 are taken as 255.
inline std::uint32_t MakeDIBColor(int red, int green, int blue) {
    return codecs::PackChannels(Clamped(blue), Clamped(green), Clamped(red));
}

// A colour value (0x00BBGGRR); channels above 255 are taken as 255.
inline gdi32::COLORREF MakeColorValue(int red, int green, int blue) {
    return codecs::PackChannels(Clamped(red), Clamped(green), Clamped(blue));
}

// The nearest integer, and the even one of the two when x lies exactly halfway.
constexpr int NearestEven(double x) {
    int below = static_cast<int>(x);
    if (below > x)
        --below;
    const double fraction = x - below;
    if (fraction > 0.5 || (fraction == 0.5 && (below & 1) != 0))
        ++below;
    return below;
}

// (R + G + B) / 3 rounded; the quotient is never halfway, so integer arithmetic is exact.
constexpr int GreyLevel(Rgb p) { return (p.red + p.green + p.blue + 1) / 3; }

// ---- Effects 1 to 9: one pixel in, one pixel out.

using PixelFormula = Rgb (*)(Rgb);

constexpr Rgb GrayScale(Rgb p) {
    const int g = GreyLevel(p);
    return {g, g, g};
}
constexpr Rgb Red(Rgb p) {
    const int g = GreyLevel(p);
    return {2 * g, g, g};
}
constexpr Rgb Blue(Rgb p) {
    const int g = GreyLevel(p);
    return {g, g, 2 * g};
}
constexpr Rgb Green(Rgb p) {
    const int g = GreyLevel(p);
    return {g, 2 * g, g};
}
constexpr Rgb Purple(Rgb p) {
    const int g = GreyLevel(p);
    return {g, g / 2, g};
}
constexpr Rgb Water(Rgb p) {
    const int g = GreyLevel(p);
    return {g / 2, g, g};
}
constexpr Rgb Yellow(Rgb p) {
    const int g = GreyLevel(p);
    return {g, g, g / 2};
}

namespace detail {
// Sepia's red depends on red alone and its green on green alone, so each is a table of the
// 256 results of its formula.
template <class Channel>
constexpr std::array<std::uint8_t, 256> ChannelTable(Channel channel) {
    std::array<std::uint8_t, 256> table{};
    for (int value = 0; value < 256; ++value)
        table[value] = static_cast<std::uint8_t>(channel(value));
    return table;
}
inline constexpr auto kSepiaRed = ChannelTable([](int red) { return NearestEven(123.0 / 255.0 * red + 132); });
inline constexpr auto kSepiaGreen = ChannelTable([](int green) { return NearestEven(189.0 / 255.0 * green + 66); });
} // namespace detail

constexpr Rgb Sepia(Rgb p) { return {detail::kSepiaRed[p.red], detail::kSepiaGreen[p.green], p.blue}; }
constexpr Rgb Reverse(Rgb p) { return {255 - p.red, 255 - p.green, 255 - p.blue}; }

// Calls run with the formula of effects 1 to 9 as a compile-time constant (so that an
// engine's loop is compiled once per formula) and returns true; false for other numbers.
template <class Run>
bool WithPixelFormula(std::int32_t effect, Run&& run) {
    switch (effect) {
    case kGrayScale: run(std::integral_constant<PixelFormula, GrayScale>{}); return true;
    case kRed: run(std::integral_constant<PixelFormula, Red>{}); return true;
    case kBlue: run(std::integral_constant<PixelFormula, Blue>{}); return true;
    case kGreen: run(std::integral_constant<PixelFormula, Green>{}); return true;
    case kPurple: run(std::integral_constant<PixelFormula, Purple>{}); return true;
    case kWater: run(std::integral_constant<PixelFormula, Water>{}); return true;
    case kYellow: run(std::integral_constant<PixelFormula, Yellow>{}); return true;
    case kSepia: run(std::integral_constant<PixelFormula, Sepia>{}); return true;
    case kReverse: run(std::integral_constant<PixelFormula, Reverse>{}); return true;
    default: return false;
    }
}

// The scan order every engine uses: rows from y = 0, columns from x = 0 within a row.
template <class Visit>
void ForEachPixel(std::int32_t width, std::int32_t height, Visit&& visit) {
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            visit(x, y);
}

} // namespace mdlBitmap
