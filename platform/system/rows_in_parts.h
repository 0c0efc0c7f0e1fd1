#pragma once

// Work over the rows of a large picture, shared among the processors.

#include <algorithm>
#include <cstddef>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace lumivert {

// Calls work(first, end) on consecutive parts of the rows [0, rows) that together cover
// them all: one part a processor, at most four, each on a thread of its own but the first,
// which runs on the caller's. A picture under a million pixels a part stays in one part:
// starting a thread costs more than the work saves. Passes over a large picture are bound
// by the memory's speed, which one core alone cannot draw in full. A part whose thread
// cannot be started runs on the caller's thread; the first exception of any part is
// passed on once every part has ended.
template <class Work>
void ForRowsInParts(std::size_t rows, std::size_t pixelsPerRow, Work&& work) {
    constexpr std::size_t kPixelsWorthAThread = std::size_t{1} << 20;
    constexpr std::size_t kMostParts = 4;
    const std::size_t parts = std::clamp<std::size_t>(
        std::min<std::size_t>(std::thread::hardware_concurrency(), rows * pixelsPerRow / kPixelsWorthAThread), 1,
        kMostParts);
    const std::size_t rowsPerPart = (rows + parts - 1) / parts;

    std::vector<std::exception_ptr> failures(parts);
    const auto run = [&](std::size_t part, std::size_t first) noexcept {
        try {
            work(first, std::min(first + rowsPerPart, rows));
        } catch (...) {
            failures[part] = std::current_exception();
        }
    };
    {
        std::vector<std::jthread> helpers;
        for (std::size_t part = 1; part < parts && part * rowsPerPart < rows; ++part) {
            try {
                helpers.emplace_back(run, part, part * rowsPerPart);
            } catch (const std::system_error&) {
                run(part, part * rowsPerPart);
            }
        }
        run(0, 0);
    } // every helper joined
    for (const std::exception_ptr& failure : failures)
        if (failure)
            std::rethrow_exception(failure);
}

} // namespace lumivert
