#pragma once

// The own GIF conversion done the slow, literal way (a scan of all 255 slots and of the map per
// pixel), which the fast stages must match exactly. Used by the tests and the benchmarks.

#include <cstdint>
#include <span>
#include <vector>

namespace literal_own_gif {

struct Result {
    std::vector<std::uint32_t> collected; // the 255 slots
    std::int32_t colorCount = 0;
    std::vector<std::uint32_t> palette;   // paletteCount entries
    std::vector<std::uint8_t> indexes;    // one per pixel
    friend bool operator==(const Result&, const Result&) = default;
};

Result Convert(std::span<const std::uint32_t> pixels, std::int32_t optionValue, std::size_t paletteCount = 256);

} // namespace literal_own_gif
