#include "bitmap/neighbourhood_effects.h"

#include <algorithm>
#include <cstdlib>

namespace mdlBitmap {

EmbossKernel::EmbossKernel() {
    weight_[0][0] = -1;
    weight_[2][2] = +1;
    // The weights that count, in the order dy, then dx: a pixel visits only these.
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (w(dx, dy) != 0) {
                taps_[tapCount_++] = {dx, dy, w(dx, dy)};
                maxSum_ += 255 * std::abs(w(dx, dy));
            }
    // The output level of every channel sum for every count of neighbours, so that a pixel
    // looks its levels up instead of dividing and rounding three times.
    levels_.resize(static_cast<std::size_t>(tapCount_) * (2 * maxSum_ + 1));
    for (int n = 1; n <= tapCount_; ++n)
        for (int sum = -maxSum_; sum <= maxSum_; ++sum)
            levels_[Index(sum, n)] = static_cast<std::int16_t>(std::max(NearestEven(double(sum) / n + 127), 0));
}

InteriorEmboss::InteriorEmboss(const EmbossKernel& kernel) {
    for (const EmbossKernel::Tap& tap : kernel)
        (tap.w < 0 ? minus_ : plus_) = tap;
    for (int difference = -255; difference <= 255; ++difference)
        channel_[difference + 255] = static_cast<std::uint8_t>(std::min(kernel.Level(difference, 2), 255));
}

void InteriorEmboss::Row(const std::array<const std::uint32_t*, 3>& rows, std::uint32_t* out,
                         std::int32_t width) const {
    const std::uint32_t* minus = rows[minus_.dy + 1] + minus_.dx;
    const std::uint32_t* plus = rows[plus_.dy + 1] + plus_.dx;
    // A stretch of pixels at a time: first every channel's difference, lifted by 255 so that
    // it indexes the table (a loop the compiler turns into vector code), then the look-ups.
    constexpr std::int32_t kStretch = 256;
    std::array<std::uint16_t, kStretch> red, green, blue;
    for (std::int32_t first = 1; first < width - 1; first += kStretch) {
        const std::int32_t count = std::min(kStretch, width - 1 - first);
        for (std::int32_t i = 0; i < count; ++i) {
            const std::uint32_t a = minus[first + i], b = plus[first + i];
            red[i] = static_cast<std::uint16_t>(((b >> 16) & 0xFF) + 255 - ((a >> 16) & 0xFF));
            green[i] = static_cast<std::uint16_t>(((b >> 8) & 0xFF) + 255 - ((a >> 8) & 0xFF));
            blue[i] = static_cast<std::uint16_t>((b & 0xFF) + 255 - (a & 0xFF));
        }
        for (std::int32_t i = 0; i < count; ++i)
            out[first + i] = std::uint32_t{channel_[red[i]]} << 16 | std::uint32_t{channel_[green[i]]} << 8 |
                             channel_[blue[i]];
    }
}

} // namespace mdlBitmap
