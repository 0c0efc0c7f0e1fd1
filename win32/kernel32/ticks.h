#pragma once

// The millisecond tick counter and the sleep of the Windows kernel, on a monotonic clock.

#include <cstdint>

namespace kernel32 {

// Milliseconds since an arbitrary start, wrapping around every 2^32 ms like the
// original counter; differences are taken with unsigned wrap-around arithmetic.
std::uint32_t GetTickCount();

void Sleep(std::uint32_t milliseconds);

} // namespace kernel32
