#pragma once

// The bracket around every save through the imaging layer: hourglass, start-up, one
// encoding request, shut-down, pointer put back. Failures are told to the user here.

#include "report/message_boxes.h"
#include "win32/gdi32/gdi32.h"

#include <cstdint>
#include <string>

namespace lumivert {

void SaveByGdiplusSession(report::MessageBoxes& messages, gdi32::HBITMAP bitmap, const std::string& path,
                          std::int32_t FormatDigit, std::int32_t OptionValue);

} // namespace lumivert
