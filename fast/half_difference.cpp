#include "fast/half_difference.h"

namespace fast {

void HalfDifferenceRow(const std::uint32_t* minus, const std::uint32_t* plus, std::uint32_t* out, std::int32_t count) {
    const auto level = [](std::uint32_t a, std::uint32_t b, int shift) {
        return static_cast<std::uint32_t>(HalfDifferenceLevel(static_cast<int>((b >> shift) & 0xFF) -
                                                              static_cast<int>((a >> shift) & 0xFF)))
               << shift;
    };
    for (std::int32_t x = 0; x < count; ++x)
        out[x] = level(minus[x], plus[x], 16) | level(minus[x], plus[x], 8) | level(minus[x], plus[x], 0);
}

} // namespace fast
