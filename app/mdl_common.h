#pragma once

// Helpers shared by the save commands and the result page.

#include "report/message_boxes.h"

#include <string>

namespace mdlCommon {

// The folder of the running program, always ending in "/".
std::string GetAppFolder();

// Opens path with the desktop's associated program; tells the user through messages when
// that fails.
void OpenByShell(report::MessageBoxes& messages, const std::string& path);

} // namespace mdlCommon
