#include "tests/maps/map_operation_driver.h"

#include <random>
#include <vector>

namespace maps_testing {

DriveReport DriveRandomly(DriveReport (*drive)(std::span<const std::uint8_t>), std::uint32_t seed,
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
