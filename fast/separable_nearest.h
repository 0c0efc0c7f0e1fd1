#pragma once

// The nearest colour-table entry (squared distance in RGB, lowest index on a tie) of a table
// whose choice splits channel by channel, in three reads of small tables and no search:
// - a grid, where each channel of an entry is set by index bits of its own (the 3-3-2 colour
//   cube: bits RRRGGGBB). The distance is a sum of one term a channel and every combination
//   of levels is an entry, so the nearest entry takes the nearest level of each channel; the
//   bits being apart, the lowest index of a tie is the lowest level index of each channel;
// - two entries (black and white), where the second is nearer exactly when a sum of one term
//   a channel is positive (the difference of the two squared distances).
// Any other table (the sixteen standard colours) is left to NearestEntry.

#include <array>
#include <cstdint>
#include <optional>

namespace fast {

class SeparableNearest {
public:
    // The table's channels, entry by entry, as NearestEntry takes them.
    struct Channels {
        std::array<std::uint8_t, 256> red{}, green{}, blue{};
    };

    // Null when the table is neither a grid nor of two entries, or its size is not a power
    // of two up to 256.
    static std::optional<SeparableNearest> Of(const Channels& table, int entries);

    template <class TableEntry>
    static std::optional<SeparableNearest> Of(const TableEntry* table, int entries) {
        if (entries <= 0 || entries > 256)
            return std::nullopt;
        Channels channels;
        for (int i = 0; i < entries; ++i) {
            channels.red[i] = table[i].rgbRed;
            channels.green[i] = table[i].rgbGreen;
            channels.blue[i] = table[i].rgbBlue;
        }
        return Of(channels, entries);
    }

    std::uint8_t operator()(std::uint32_t pixel) const {
        const std::int32_t sum = red_[pixel >> 16 & 0xFF] + green_[pixel >> 8 & 0xFF] + blue_[pixel & 0xFF];
        return static_cast<std::uint8_t>(twoEntries_ ? sum > 0 : sum);
    }

private:
    // For a grid, each channel's level bits (disjoint, so their sum is the index); for two
    // entries, each channel's share of the first entry's distance less the second's.
    std::array<std::int32_t, 256> red_{}, green_{}, blue_{};
    bool twoEntries_ = false;
};

} // namespace fast
