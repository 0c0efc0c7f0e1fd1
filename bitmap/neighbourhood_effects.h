#pragma once

// Effects 10 (Emboss) and 11 (EmbossFalse): each pixel from its neighbours, which an engine
// reads through a callback (or, for Emboss away from the border, which InteriorEmboss reads
// straight from the rows of a DIB). y + 1 is the next row in the engine's own row order: the row
// below for the per-pixel engine, the row above for the DIB engine, which turns the emboss
// light upside down. Every output is computed from the picture as it was before the effect.

#include "bitmap/colour_formulas.h"
#include "fast/half_difference.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace mdlBitmap {

// Weights w(dx, dy) for dx, dy in {−1, 0, +1}: −1 at (−1, −1), +1 at (+1, +1), else 0.
class EmbossKernel {
public:
    struct Tap {
        int dx, dy, w;
    };

    EmbossKernel();

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

// The grey step from a pixel to the one it is compared with, lifted by 127, 0 when negative.
constexpr Rgb EmbossFalseStep(Rgb pixel, Rgb compared) {
    const int v = std::max(GreyLevel(compared) - GreyLevel(pixel) + 127, 0);
    return {v, v, v};
}

// Effect 11: the step from the pixel to its neighbour at (x + 1, y + 1); on the last column
// or row the neighbour stays in that column or row.
template <class Read>
Rgb EmbossFalse(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, Read&& read) {
    const Rgb pixel = read(x, y);
    const std::int32_t x2 = x == width - 1 ? x : x + 1;
    const std::int32_t y2 = y == height - 1 ? y : y + 1;
    return EmbossFalseStep(pixel, read(x2, y2));
}

// The integer steps of the interior emboss give the emboss formula's level for every
// difference of two channel values.
static_assert(
    [] {
        for (int difference = -255; difference <= 255; ++difference)
            if (fast::HalfDifferenceLevel(difference) != std::clamp(NearestEven(difference / 2.0 + 127), 0, 255))
                return false;
        return true;
    }(),
    "the integer steps must give the emboss formula's level for every difference");

// Emboss at pixels where both taps lie inside the picture, on 32-bit pixels whose bytes hold
// three channels and a 0 (a DIB's blue, green, red, 0). There n is 2 and, since the kernel's
// two taps weigh −1 and +1, every channel's sum is a difference from −255 to +255, whose
// level fast::HalfDifferenceLevel gives.
class InteriorEmboss {
public:
    explicit InteriorEmboss(const EmbossKernel& kernel);

    // Pixels 1 to width − 2 of row y into out, where rows[k] is row y − 1 + k and rows y − 1
    // and y + 1 both exist. Row y itself is not read; out must not be row y − 1 or y + 1.
    void Row(const std::array<const std::uint32_t*, 3>& rows, std::uint32_t* out, std::int32_t width) const;

private:
    EmbossKernel::Tap minus_{}, plus_{}; // the taps weighing −1 and +1
};

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
