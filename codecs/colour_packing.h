#pragma once

// The one packing of three 8-bit channels into a 32-bit value: bits 0–7, 8–15 and 16–23,
// with the top byte free for alpha. A colour value (0x00BBGGRR) has red first; a DIB pixel
// and an ARGB value (0x..RRGGBB) have blue first. Which channel is first is the caller's.

#include <cstdint>

namespace codecs {

constexpr std::uint32_t PackChannels(std::uint32_t first, std::uint32_t second, std::uint32_t third) {
    return first | second << 8 | third << 16;
}

// Channel 0, 1 or 2 of a packed value.
constexpr std::uint32_t ChannelOf(std::uint32_t value, int channel) { return (value >> (8 * channel)) & 0xFF; }

// Channels 0 and 2 exchanged, the top byte cleared: a colour value becomes a DIB pixel, and
// a DIB pixel a colour value.
constexpr std::uint32_t SwapFirstAndThird(std::uint32_t value) {
    return PackChannels(ChannelOf(value, 2), ChannelOf(value, 1), ChannelOf(value, 0));
}

constexpr std::uint32_t WithAlpha(std::uint32_t rgb, std::uint32_t alpha) { return (rgb & 0xFFFFFF) | alpha << 24; }

} // namespace codecs
