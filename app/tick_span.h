#pragma once

#include <cstdint>

namespace lumivert {

// Two readings of the millisecond tick counter, right before and right after a saver call.
struct TickSpan {
    std::int32_t StartTick = 0;
    std::int32_t EndTick = 0;
};

} // namespace lumivert
