#pragma once

// The colour effects, stated once on channel values and shared by both effect engines.
//
// Effects 1 to 9 map one pixel's red, green and blue to new ones (PixelFormula). Effects 10
// and 11 compute a pixel from neighbours that an engine reads through a callback, with y + 1
// being the next row in the engine's own row order: the row below for the per-pixel
// engine, the row above for the DIB engine, which turns the emboss light upside down.
//
// Formulas may return channels above 255; the packers MakeDIBColor and MakeColorValue clamp
// them. No formula returns a negative channel.

#include "platform/gdi/gdi32.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstdint>
#include <type_traits>
#include <vector>

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
    first = static_cast<int>(value & 0xFF);
    second = static_cast<int>((value >> 8) & 0xFF);
    third = static_cast<int>((value >> 16) & 0xFF);
}

// A DIB pixel (bytes blue, green, red, 0); channels above 255 are taken as 255.
inline std::uint32_t MakeDIBColor(int red, int green, int blue) {
    return static_cast<std::uint32_t>(std::min(red, 255)) << 16 |
           static_cast<std::uint32_t>(std::min(green, 255)) << 8 |
           static_cast<std::uint32_t>(std::min(blue, 255));
}

// A colour value (0x00BBGGRR); channels above 255 are taken as 255.
inline gdi32::COLORREF MakeColorValue(int red, int green, int blue) {
    return static_cast<gdi32::COLORREF>(std::min(red, 255)) |
           static_cast<gdi32::COLORREF>(std::min(green, 255)) << 8 |
           static_cast<gdi32::COLORREF>(std::min(blue, 255)) << 16;
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

// ---- Effects 10 and 11: a pixel from its neighbours.

// Weights w(dx, dy) for dx, dy in {−1, 0, +1}: −1 at (−1, −1), +1 at (+1, +1), else 0.
class EmbossKernel {
public:
    struct Tap {
        int dx, dy, w;
    };

    EmbossKernel() {
        weight_[0][0] = -1;
        weight_[2][2] = +1;
        // The weights that count, in the order dy, then dx: a pixel visits only these.
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (w(dx, dy) != 0) {
                    taps_[tapCount_++] = {dx, dy, w(dx, dy)};
                    maxSum_ += 255 * std::abs(w(dx, dy));
                }
        // Every output level for every channel sum and count, from the one formula below.
        levels_.resize(static_cast<std::size_t>(tapCount_) * (2 * maxSum_ + 1));
        for (int n = 1; n <= tapCount_; ++n)
            for (int sum = -maxSum_; sum <= maxSum_; ++sum)
                levels_[Index(sum, n)] = static_cast<std::int16_t>(std::max(NearestEven(double(sum) / n + 127), 0));
    }

    int w(int dx, int dy) const { return weight_[dy + 1][dx + 1]; }
    const Tap* begin() const { return taps_.data(); }
    const Tap* end() const { return taps_.data() + tapCount_; }

    // nearest(sum / n + 127) for the sum of n weighted channel values, 0 when negative.
    int Level(int sum, int n) const { return levels_[Index(sum, n)]; }

private:
    std::size_t Index(int sum, int n) const {
        return static_cast<std::size_t>(n - 1) * (2 * maxSum_ + 1) + static_cast<std::size_t>(sum + maxSum_);
    }

    std::array<std::array<int, 3>, 3> weight_{}; // [dy + 1][dx + 1]
    std::array<Tap, 9> taps_{};
    int tapCount_ = 0;
    int maxSum_ = 0; // the largest |sum| of weighted channel values
    std::vector<std::int16_t> levels_;
};

// The scan order every engine uses: rows from y = 0, columns from x = 0 within a row.
template <class Visit>
void ForEachPixel(std::int32_t width, std::int32_t height, Visit&& visit) {
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            visit(x, y);
}

// Effect 10: the weighted neighbours inside the picture, averaged over their count n and
// lifted by 127 (n = 0 gives black); read(x, y) returns the Rgb of a pixel. kAllInside
// promises that every neighbour lies inside the picture, which spares the bounds tests.
template <bool kAllInside = false, class Read>
Rgb Emboss(const EmbossKernel& kernel, std::int32_t x, std::int32_t y, std::int32_t width,
           std::int32_t height, Read&& read) {
    Rgb sum;
    int n = 0;
    for (const EmbossKernel::Tap& tap : kernel) { // the offsets whose weight is not 0
        const std::int32_t nx = x + tap.dx, ny = y + tap.dy;
        if (!kAllInside && (nx < 0 || ny < 0 || nx >= width || ny >= height))
            continue;
        const Rgb p = read(nx, ny);
        sum.red += tap.w * p.red;
        sum.green += tap.w * p.green;
        sum.blue += tap.w * p.blue;
        ++n;
    }
    if (n == 0)
        return {};
    return {kernel.Level(sum.red, n), kernel.Level(sum.green, n), kernel.Level(sum.blue, n)};
}

// Effect 11: the grey step from the pixel to its neighbour at (x + 1, y + 1), lifted by 127;
// on the last column or row the neighbour stays in that column or row.
template <class Read>
Rgb EmbossFalse(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, Read&& read) {
    const int g1 = GreyLevel(read(x, y));
    const std::int32_t x2 = x == width - 1 ? x : x + 1;
    const std::int32_t y2 = y == height - 1 ? y : y + 1;
    const int g2 = GreyLevel(read(x2, y2));
    const int v = std::max(g2 - g1 + 127, 0);
    return {v, v, v};
}

// Runs Emboss for effect 10 or EmbossFalse for effect 11 over every pixel, in scan order,
// handing each result to store(x, y, Rgb); false for other effect numbers. The kernel is
// made afresh for every run.
template <class Read, class Store>
bool RunNeighbourhoodEffect(std::int32_t effect, std::int32_t width, std::int32_t height, Read&& read,
                            Store&& store) {
    if (effect == kEmboss) {
        const EmbossKernel kernel;
        ForEachPixel(width, height, [&](std::int32_t x, std::int32_t y) {
            // Away from the border every neighbour of the 3 × 3 kernel lies inside.
            const bool allInside = x > 0 && y > 0 && x < width - 1 && y < height - 1;
            store(x, y, allInside ? Emboss<true>(kernel, x, y, width, height, read)
                                  : Emboss(kernel, x, y, width, height, read));
        });
    } else if (effect == kEmbossFalse) {
        ForEachPixel(width, height, [&](std::int32_t x, std::int32_t y) {
            store(x, y, EmbossFalse(x, y, width, height, read));
        });
    } else {
        return false;
    }
    return true;
}

} // namespace mdlBitmap
