#include "os/rows_in_parts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

namespace {

// Whatever the size, the parts cover every row exactly once.
TEST(RowsInParts, EveryRowIsWorkedOnExactlyOnce) {
    for (const auto& [rows, pixelsPerRow] : {std::pair<std::size_t, std::size_t>{0, 100}, {1, 1}, {7, 3},
                                             {1000, 1000}, {1025, 1024}, {4099, 4096}, {3, 1u << 22}}) {
        std::vector<std::atomic<int>> visits(rows);
        os::ForRowsInParts(rows, pixelsPerRow, [&](std::size_t first, std::size_t end) {
            for (std::size_t row = first; row < end; ++row)
                ++visits[row];
        });
        for (std::size_t row = 0; row < rows; ++row)
            ASSERT_EQ(visits[row].load(), 1) << rows << " × " << pixelsPerRow << ", row " << row;
    }
}

// A part that fails does not end the others early; its exception reaches the caller once
// all have ended.
TEST(RowsInParts, AFailingPartIsPassedOnAfterEveryPartHasEnded) {
    constexpr std::size_t kRows = 4096;
    std::atomic<std::size_t> rowsDone = 0, lastPartRows = 0, parts = 0;
    const auto work = [&](std::size_t first, std::size_t end) {
        ++parts;
        if (end == kRows) {
            lastPartRows = end - first;
            throw std::runtime_error("the last part failed");
        }
        rowsDone += end - first;
    };
    EXPECT_THROW(os::ForRowsInParts(kRows, 4096, work), std::runtime_error);
    if (parts == 1)
        GTEST_SKIP() << "one processor: the rows were not shared";
    EXPECT_EQ(rowsDone.load(), kRows - lastPartRows) << "every other part ran to its end";
}

} // namespace
