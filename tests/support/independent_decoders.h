#pragma once

// Second opinions on written files: libpng, giflib and libjpeg, which share nothing with the
// encoders' code paths.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace decoders {

struct Png {
    int width = 0, height = 0;
    bool hasAlpha = false, hasColor = false, isIndexed = false;
    std::vector<std::uint32_t> argb; // 0xAARRGGBB, rows top first
};
std::optional<Png> ReadPng(const std::string& path);

struct Gif {
    std::string version; // "GIF87a" or "GIF89a"
    int width = 0, height = 0;
    std::vector<std::uint32_t> palette; // 0x00RRGGBB, the global colour map
    int transparentIndex = -1;
    std::vector<std::uint8_t> indexes;
};
std::optional<Gif> ReadGif(const std::string& path);

struct Jpeg {
    int width = 0, height = 0;
    std::vector<std::uint16_t> lumaTable; // natural order
    std::vector<std::uint32_t> rgb;       // 0x00RRGGBB
};
std::optional<Jpeg> ReadJpeg(const std::string& path);

} // namespace decoders
