#pragma once

// Drives a map with the operations a byte sequence encodes and compares every answer with a
// plain model of the same map. The random test and the fuzzers feed the same functions.

#include <cstdint>
#include <span>
#include <string>

namespace maps_testing {

struct DriveReport {
    std::string mismatch; // empty when the map agreed with the model throughout
    bool Agreed() const { return mismatch.empty(); }
};

DriveReport DriveHandmadeMap(std::span<const std::uint8_t> bytes);
DriveReport DriveCollectionMap(std::span<const std::uint8_t> bytes);

} // namespace maps_testing
