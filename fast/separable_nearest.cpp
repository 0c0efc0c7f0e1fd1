#include "fast/separable_nearest.h"

#include <bit>

namespace fast {

namespace {

using Channel = std::array<std::uint8_t, 256>;

// The index bits that change the channel somewhere in the table.
unsigned BitsOf(const Channel& channel, int entries) {
    unsigned bits = 0;
    for (int i = 0; i < entries; ++i)
        for (int bit = 1; bit < entries; bit <<= 1)
            if (channel[i] != channel[i ^ bit])
                bits |= static_cast<unsigned>(bit);
    return bits;
}

// For every value of the channel, the nearest of its levels as its index bits, the lowest
// bits on a tie. The other index bits are zero in the entries looked at: a level is the
// channel of the entry that has only its own bits.
std::array<std::int32_t, 256> NearestLevels(const Channel& channel, unsigned bits) {
    std::array<std::int32_t, 256> nearest{};
    for (int value = 0; value < 256; ++value) {
        int bestDistance = 1 << 30;
        // Every subset of bits, in increasing order, so that the first nearest is the lowest.
        for (unsigned level = 0;; level = (level - bits) & bits) {
            const int difference = value - channel[level];
            if (difference * difference < bestDistance) {
                bestDistance = difference * difference;
                nearest[static_cast<std::size_t>(value)] = static_cast<std::int32_t>(level);
            }
            if (level == bits)
                break;
        }
    }
    return nearest;
}

// (value - first)² - (value - second)² for every value of the channel.
std::array<std::int32_t, 256> DistanceDifference(int first, int second) {
    std::array<std::int32_t, 256> difference{};
    for (int value = 0; value < 256; ++value)
        difference[static_cast<std::size_t>(value)] =
            (value - first) * (value - first) - (value - second) * (value - second);
    return difference;
}

} // namespace

std::optional<SeparableNearest> SeparableNearest::Of(const Channels& table, int entries) {
    if (entries <= 0 || entries > 256 || !std::has_single_bit(static_cast<unsigned>(entries)))
        return std::nullopt;
    SeparableNearest nearest;
    if (entries == 2) {
        nearest.red_ = DistanceDifference(table.red[0], table.red[1]);
        nearest.green_ = DistanceDifference(table.green[0], table.green[1]);
        nearest.blue_ = DistanceDifference(table.blue[0], table.blue[1]);
        nearest.twoEntries_ = true;
        return nearest;
    }
    const unsigned red = BitsOf(table.red, entries), green = BitsOf(table.green, entries),
                   blue = BitsOf(table.blue, entries);
    // A grid: no index bit sets two channels. Then a channel does not change with the other
    // channels' bits, and every combination of levels is an entry.
    if ((red & green) != 0 || (red & blue) != 0 || (green & blue) != 0)
        return std::nullopt;
    nearest.red_ = NearestLevels(table.red, red);
    nearest.green_ = NearestLevels(table.green, green);
    nearest.blue_ = NearestLevels(table.blue, blue);
    return nearest;
}

} // namespace fast
