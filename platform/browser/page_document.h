#pragma once

// The document of a browser page, reached through the page's DevTools endpoint.

#include "platform/browser/user32.h"

#include <chrono>
#include <string>

namespace browserhost {

enum class PageAnswer { Loaded, NotLoaded, NoAnswer };

// Asks the page at endpoint whether it has finished loading a page of its own (not the
// browser's initial empty page); NoAnswer when it does not answer within limit.
PageAnswer AskDocumentLoaded(const std::string& pageEndpoint, std::chrono::milliseconds limit);

// True when the page answers within limit that it has loaded (see above).
bool IsDocumentLoaded(const std::string& pageEndpoint, std::chrono::milliseconds limit);

// A token standing for the page's document, for ObjectFromLresult; never 0.
user32::LRESULT IssueDocumentToken(const std::string& pageEndpoint);

} // namespace browserhost
