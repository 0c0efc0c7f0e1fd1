// A map driven by an operation sequence and compared with its plain model after every
// operation (tests/maps/map_operation_driver.h); a mismatch is a finding. The build picks the
// map: LUMIVERT_MAP_DRIVER names its driver.

#include "tests/maps/map_operation_driver.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const maps_testing::DriveReport report = maps_testing::LUMIVERT_MAP_DRIVER({data, size});
    if (!report.Agreed()) {
        std::fprintf(stderr, "map mismatch: %s\n", report.mismatch.c_str());
        std::abort();
    }
    return 0;
}
