#pragma once

// Work over the rows of a large picture, shared among the processors.

#include <algorithm>
#include <cstddef>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace os {

// Rows [first, end) of a picture.
struct RowRange {
    std::size_t first;
    std::size_t end;
};

// Consecutive parts that together cover the rows [0, rows): one part a processor, at most
// four. A picture under a million pixels a part stays in one part: starting a thread costs
// more than the work saves. Passes over a large picture are bound by the memory's speed,
// which one core alone cannot draw in full.
inline std::vector<RowRange> SplitRows(std::size_t rows, std::size_t pixelsPerRow) {
    constexpr std::size_t kPixelsWorthAThread = std::size_t{1} << 20;
    constexpr std::size_t kMostParts = 4;
    const std::size_t parts = std::clamp<std::size_t>(
        std::min<std::size_t>(std::thread::hardware_concurrency(), rows * pixelsPerRow / kPixelsWorthAThread), 1,
        kMostParts);
    const std::size_t rowsPerPart = (rows + parts - 1) / parts;
    std::vector<RowRange> ranges;
    for (std::size_t first = 0; first < rows || ranges.empty(); first += rowsPerPart)
        ranges.push_back({first, std::min(first + rowsPerPart, rows)});
    return ranges;
}

// Calls work(part, range) for every range, each on a thread of its own but the first,
// which runs on the caller's. A part whose thread cannot be started runs on the caller's
// thread; the first exception of any part is passed on once every part has ended.
template <class Work>
void RunParts(const std::vector<RowRange>& ranges, Work&& work) {
    std::vector<std::exception_ptr> failures(ranges.size());
    const auto run = [&](std::size_t part) noexcept {
        try {
            work(part, ranges[part]);
        } catch (...) {
            failures[part] = std::current_exception();
        }
    };
    {
        std::vector<std::jthread> helpers;
        for (std::size_t part = 1; part < ranges.size(); ++part) {
            try {
                helpers.emplace_back(run, part);
            } catch (const std::system_error&) {
                run(part);
            }
        }
        if (!ranges.empty())
            run(0);
    } // every helper joined
    for (const std::exception_ptr& failure : failures)
        if (failure)
            std::rethrow_exception(failure);
}

// Calls work(first, end) on the parts SplitRows makes, as RunParts does.
template <class Work>
void ForRowsInParts(std::size_t rows, std::size_t pixelsPerRow, Work&& work) {
    RunParts(SplitRows(rows, pixelsPerRow), [&](std::size_t, RowRange range) { work(range.first, range.end); });
}

} // namespace os
