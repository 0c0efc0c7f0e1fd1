#pragma once

// Drives a map with the operations a byte sequence encodes and compares every answer with a
// plain model of the same map. Random tests and fuzzers feed the same functions.

#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace maps_testing {

// Reads an operation sequence byte by byte; past the end it reads zeros, so every sequence,
// however short, is a valid one.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool AtEnd() const { return position_ >= bytes_.size(); }
    std::uint8_t Next() { return AtEnd() ? 0 : bytes_[position_++]; }
    std::int32_t NextInt32() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value = value << 8 | Next();
        return static_cast<std::int32_t>(value);
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

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
inline DriveReport DriveRandomly(DriveReport (*drive)(std::span<const std::uint8_t>), std::uint32_t seed,
                                 int rounds, std::size_t maxLength) {
    std::mt19937 random(seed);
    DriveReport total;
    for (int round = 0; round < rounds && total.Agreed(); ++round) {
        std::vector<std::uint8_t> bytes(random() % (maxLength + 1));
        for (std::uint8_t& byte : bytes)
            byte = static_cast<std::uint8_t>(random());
        const DriveReport report = drive(bytes);
        if (!report.Agreed())
            total.mismatch = "round " + std::to_string(round) + ": " + report.mismatch;
        total.newKeys += report.newKeys;
        total.replaced += report.replaced;
        total.rejected += report.rejected;
    }
    return total;
}

} // namespace maps_testing
