#pragma once

// The system's browser command, the default value of the browser's App Paths key.

#include <string>

namespace os {

// $BROWSER (its first entry) if set, else a Chromium-family browser found on PATH (the
// kind whose page the program can fill in), else the program of the desktop's default
// browser. An absolute path, or empty when there is none.
std::string FindBrowserCommand();

// The absolute path of program: as given when it holds a "/", else found on PATH; empty
// when no executable file of that name exists.
std::string FindOnPath(const std::string& program);

} // namespace os
