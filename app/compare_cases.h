#pragma once

// The eleven ways of saving that the comparison runs, each through the saver its button uses,
// and what is measured of each file once it is written.

#include "app/compare_quality.h"
#include "win32/gdi32/gdi32.h"
#include "win32/gdi32/surface.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

namespace lumivert {

struct CompareCase {
    const char* format;  // as the page names it: "BMP", "PNG", "GIF", "JPEG"
    const char* options; // what was chosen, as the window names it
    const char* file;    // the file's name in the comparison folder
    bool ownBmpWriter;   // the BMP writer (value: the depth); else the imaging layer (a format digit)
    std::int32_t value;
    std::int32_t option; // the imaging layer's option value
};

extern const std::array<CompareCase, 11> kCompareCases;

struct SaveOutcome {
    double milliseconds = 0; // the saver call alone, by the monotonic clock
    std::string failure;     // the text the button's message box would show; empty when written
};

// Saves the picture as c says, at path, as the case's button would, but tells a failure in
// the outcome instead of a message box. dc is the picture box's device context, picture its
// bitmap.
SaveOutcome SaveCompareCase(const CompareCase& c, gdi32::HDC dc, gdi32::HBITMAP picture, const std::string& path);

struct Measured {
    std::uintmax_t bytes = 0;
    PictureQuality quality;
    std::string failure; // why the file could not be read back; empty when measured
};

// Reads the file at path back with a decoder of its format and measures it against
// original. Gives up (with a failure) once cancelled turns true.
Measured MeasureSavedFile(const std::string& path, const gdi32::PixelSnapshot& original,
                          const std::atomic<bool>& cancelled);

} // namespace lumivert
