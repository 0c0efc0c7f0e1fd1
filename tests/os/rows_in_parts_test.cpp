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

// A failing part does not end the others early; its exception reaches the caller after.
TEST(RowsInParts, AFailingPartIsPassedOnAfterEveryPartHasEnded) {
    std::atomic<std::size_t> rowsDone = 0, failedRows = 0, parts = 0;
    EXPECT_THROW(os::ForRowsInParts(4096, 4096,
                                    [&](std::size_t first, std::size_t end) {
                                        ++parts;
                                        (end == 4096 ? failedRows : rowsDone) += end - first;
                                        if (end == 4096)
                                            throw std::runtime_error("the last part failed");
                                    }),
                 std::runtime_error);
    if (parts == 1)
        GTEST_SKIP() << "one processor: the rows were not shared";
    EXPECT_EQ(rowsDone + failedRows, 4096u) << "every other part ran to its end";
}

} // namespace
