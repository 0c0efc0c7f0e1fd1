#pragma once

// Whether a browser page has finished loading a page of its own, asked through its
// DevTools endpoint.

#include <chrono>
#include <string>

namespace chromium {

enum class PageAnswer { Loaded, NotLoaded, NoAnswer };

// Asks the page at endpoint whether it has finished loading a page of its own (not the
// browser's initial empty page); NoAnswer when it does not answer within limit.
PageAnswer AskDocumentLoaded(const std::string& pageEndpoint, std::chrono::milliseconds limit);

// True when the page answers within limit that it has loaded (see above).
bool IsDocumentLoaded(const std::string& pageEndpoint, std::chrono::milliseconds limit);

} // namespace chromium
