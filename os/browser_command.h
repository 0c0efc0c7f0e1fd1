#pragma once

// The system's browser command, the default value of the browser's App Paths key.

#include <string>

namespace os {

// $BROWSER (its first entry) if set, else a Chromium-family browser found on PATH (the
// kind whose page the program can fill in), else the program of the desktop's default
// browser. An absolute path, or empty when there is none.
std::string FindBrowserCommand();

} // namespace os
