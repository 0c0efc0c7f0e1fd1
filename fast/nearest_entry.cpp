#include "fast/nearest_entry.h"

#include <algorithm>

namespace fast {

std::uint8_t NearestEntry::FromCube(std::uint32_t pixel) {
    std::uint16_t& state = cubes_[CubeOf(pixel)];
    if (state >= kMixed) { // a mixed cube's colour not met before
        const std::uint8_t index = Search(pixel);
        mixed_[static_cast<std::size_t>(state - kMixed) * 512 + PlaceInCube(pixel)] = index + 1;
        return index;
    }
    if (state >= kSettled && state != kUnsettled)
        return static_cast<std::uint8_t>(state);
    if (state == kUnsettled || ++state < kSearchesBeforeSettling)
        return Search(pixel);
    const std::uint32_t low = pixel & 0xF8F8F8;
    const std::uint8_t first = Search(low);
    state = static_cast<std::uint16_t>(kSettled + first);
    for (std::uint32_t corner = 1; corner < 8; ++corner) {
        const std::uint32_t far = (corner & 4 ? 0x070000u : 0) | (corner & 2 ? 0x0700u : 0) | (corner & 1 ? 0x07u : 0);
        if (Search(low | far) != first) {
            const std::size_t block = mixed_.size() / 512;
            if (block >= kMostMixedCubes) {
                state = kUnsettled;
                return Search(pixel);
            }
            mixed_.resize(mixed_.size() + 512, 0);
            state = static_cast<std::uint16_t>(kMixed + block);
            return FromCube(pixel);
        }
    }
    return first;
}

// Every distance first, then the first of the smallest: two loops the compiler turns into
// vector code, where one loop with a running best would not be.
std::uint8_t NearestEntry::Search(std::uint32_t pixel) const {
    const int red = (pixel >> 16) & 0xFF, green = (pixel >> 8) & 0xFF, blue = pixel & 0xFF;
    std::array<int, 256> distances;
    int nearest = 0x7FFFFFFF;
    for (int i = 0; i < entries_; ++i) {
        const int dr = red - red_[i], dg = green - green_[i], db = blue - blue_[i];
        distances[i] = dr * dr + dg * dg + db * db;
        nearest = std::min(nearest, distances[i]);
    }
    int best = 0;
    while (best < entries_ && distances[best] != nearest)
        ++best;
    return static_cast<std::uint8_t>(best < entries_ ? best : 0);
}

} // namespace fast
