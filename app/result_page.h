#pragma once

// The result page shown after every save: the time taken, the file, the options, the picture.

#include "report/message_boxes.h"
#include "app/tick_span.h"

#include <string>

namespace lumivert {

// openHtmlFile is the state of the window's check box: true writes OpenMe.html beside the
// program and opens it, false fills a browser's empty page through its document. messages
// shows every message, owned by the window.
void ShowResult(const std::string& path, const std::string& description, const TickSpan& span,
                const std::string& pageColour, bool openHtmlFile, report::MessageBoxes& messages);

} // namespace lumivert
