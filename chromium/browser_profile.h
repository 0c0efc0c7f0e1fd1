#pragma once

// Profile folders of the browsers this program starts, one per browser, kept together in
// a private folder of the user under the temporary folder. A profile whose browser has
// ended is removed the next time a profile is made.

#include <optional>
#include <string>
#include <sys/types.h>

namespace chromium {

// Makes a new, empty profile folder holding the blank page; nothing when that fails.
std::optional<std::string> MakeProfileFolder();

// Records which browser uses the folder, so a later clean-up can tell when it ended.
void RecordProfileOwner(const std::string& folder, pid_t pid);

void RemoveProfileFolder(const std::string& folder);

// The blank page of a profile folder.
std::string BlankPagePath(const std::string& folder);

// The DevTools endpoint the browser announced in its profile folder, checked strictly:
// "ws://127.0.0.1:<port><path>" or nothing when the announcement is missing or garbled.
std::optional<std::string> AnnouncedEndpoint(const std::string& folder);

// The same check on the announcement's text: a port line, then a browser path line.
std::optional<std::string> EndpointFromAnnouncement(const std::string& text);

} // namespace chromium
