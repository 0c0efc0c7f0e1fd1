#include "bitmap/neighbourhood_effects.h"

#include "fast/half_difference.h"

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
}

void InteriorEmboss::Row(const std::array<const std::uint32_t*, 3>& rows, std::uint32_t* out,
                         std::int32_t width) const {
    const std::uint32_t* minus = rows[minus_.dy + 1] + minus_.dx;
    const std::uint32_t* plus = rows[plus_.dy + 1] + plus_.dx;
    if (width > 2)
        fast::HalfDifferenceRow(minus + 1, plus + 1, out + 1, width - 2);
}

} // namespace mdlBitmap
