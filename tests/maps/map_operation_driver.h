#pragma once

// Drives a map with the operations a byte sequence encodes and compares every answer with a
// plain model of the same map. Random tests and fuzzers feed the same functions.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace maps_testing {

struct DriveReport {
    std::string mismatch;       // empty when the map agreed with the model throughout
    std::size_t newKeys = 0;    // puts that added an entry
    std::size_t replaced = 0;   // puts that replaced the value of an existing key
    std::size_t rejected = 0;   // puts refused with the duplicate-key error

    bool Agreed() const { return mismatch.empty(); }
};

DriveReport DriveHandmadeMap(std::span<const std::uint8_t> bytes);
DriveReport DriveCollectionMap(std::span<const std::uint8_t> bytes);

// Feeds drive rounds random sequences of up to maxLength bytes, made from seed. Stops at the
// first mismatch, which then names its round; the counts add up over the rounds.
DriveReport DriveRandomly(DriveReport (*drive)(std::span<const std::uint8_t>), std::uint32_t seed,
                          int rounds, std::size_t maxLength);

} // namespace maps_testing
