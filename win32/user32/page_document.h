#pragma once

// The document of a browser page, reached through the page's DevTools endpoint.

#include "win32/user32/user32.h"

#include <chrono>
#include <string>

namespace user32 {

// A token standing for the page's document, for ObjectFromLresult; never 0.
user32::LRESULT IssueDocumentToken(const std::string& pageEndpoint);

} // namespace user32
