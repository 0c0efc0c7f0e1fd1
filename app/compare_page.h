#pragma once

// Compare.html: every way of saving side by side, as a table that sorts by any column, a
// chart of size against time, and a viewer that lays any two of the files over each other.
// The page needs nothing but itself and the comparison folder.

#include "app/compare_cases.h"

#include <string>
#include <vector>

namespace lumivert {

struct CompareRow {
    const CompareCase* saved = nullptr;
    SaveOutcome save;
    Measured measured; // meaningful once the save wrote the file
};

struct ComparePicture {
    int width = 0;
    int height = 0;
    std::string folder;   // the comparison folder's name beside the page, ending in "/"
    std::string original; // the picture itself as a file in that folder, empty when missing
    std::string stamp;    // added to each file's address, so a browser shows this run's files
};

// The page's text, UTF-8. totalMilliseconds is the whole comparison's time, carried in the
// page's "lumivert-compare-total-ms" meta element for the benchmarks.
std::string ComparePageText(const std::vector<CompareRow>& rows, const ComparePicture& picture,
                            double totalMilliseconds);

} // namespace lumivert
