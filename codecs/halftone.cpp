#include "codecs/halftone.h"

#include "codecs/colour_packing.h"

namespace codecs {

namespace {

constexpr int kCubeLevels = 6;
constexpr int kGreyLevels = 46;  // the cube's 6 greys and 8 more in each of the 5 gaps
constexpr int kGreysPerCubeStep = (kGreyLevels - 1) / (kCubeLevels - 1); // 9
constexpr int kCubeEntries = kCubeLevels * kCubeLevels * kCubeLevels;    // 216

constexpr std::uint8_t kBayer8[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

ARGB Opaque(int red, int green, int blue) {
    return WithAlpha(PackChannels(static_cast<ARGB>(blue), static_cast<ARGB>(green), static_cast<ARGB>(red)), 0xFF);
}

int GreyValue(int step) { return (step * 255 + (kGreyLevels - 1) / 2) / (kGreyLevels - 1); }

// The palette index of grey step 0..45: a cube entry every 9 steps, the ramp in between.
std::uint8_t GreyIndex(int step) {
    const int cubeLevel = step / kGreysPerCubeStep;
    const int between = step % kGreysPerCubeStep;
    if (between == 0)
        return static_cast<std::uint8_t>(cubeLevel * (36 + 6 + 1));
    return static_cast<std::uint8_t>(kCubeEntries + cubeLevel * (kGreysPerCubeStep - 1) + between - 1);
}

// For each of the 64 matrix cells and each channel value: the dithered level.
struct DitherTables {
    std::uint8_t cube[64][256];
    std::uint8_t grey[64][256]; // palette indexes
    DitherTables() {
        for (int cell = 0; cell < 64; ++cell) {
            const double threshold = (kBayer8[cell / 8][cell % 8] + 0.5) / 64.0;
            for (int v = 0; v < 256; ++v) {
                const int level = static_cast<int>(v * (kCubeLevels - 1) / 255.0 + threshold);
                cube[cell][v] = static_cast<std::uint8_t>(level < kCubeLevels ? level : kCubeLevels - 1);
                const int step = static_cast<int>(v * (kGreyLevels - 1) / 255.0 + threshold);
                grey[cell][v] = GreyIndex(step < kGreyLevels ? step : kGreyLevels - 1);
            }
        }
    }
};

const DitherTables& Tables() {
    static const DitherTables tables;
    return tables;
}

} // namespace

const std::array<ARGB, 256>& HalftonePalette() {
    static const std::array<ARGB, 256> palette = [] {
        std::array<ARGB, 256> entries{};
        for (int r = 0; r < kCubeLevels; ++r)
            for (int g = 0; g < kCubeLevels; ++g)
                for (int b = 0; b < kCubeLevels; ++b)
                    entries[36 * r + 6 * g + b] = Opaque(r * 51, g * 51, b * 51);
        for (int step = 0; step < kGreyLevels; ++step) {
            const int v = GreyValue(step);
            entries[GreyIndex(step)] = Opaque(v, v, v);
        }
        return entries;
    }();
    return palette;
}

std::vector<std::uint8_t> ReduceToHalftone(const PixelImage& image) {
    const DitherTables& tables = Tables();
    std::vector<std::uint8_t> out(static_cast<std::size_t>(image.width) * image.height);
    for (INT y = 0; y < image.height; ++y) {
        std::uint8_t* target = out.data() + static_cast<std::size_t>(image.width) * y;
        const int rowCell = (y & 7) * 8;
        for (INT x = 0; x < image.width; ++x) {
            const ARGB pixel = image.PixelAt(x, y);
            const unsigned red = (pixel >> 16) & 0xFF;
            const unsigned green = (pixel >> 8) & 0xFF;
            const unsigned blue = pixel & 0xFF;
            const int cell = rowCell + (x & 7);
            if (red == green && green == blue)
                target[x] = tables.grey[cell][red];
            else
                target[x] = static_cast<std::uint8_t>(36 * tables.cube[cell][red] + 6 * tables.cube[cell][green] +
                                                      tables.cube[cell][blue]);
        }
    }
    return out;
}

} // namespace codecs
