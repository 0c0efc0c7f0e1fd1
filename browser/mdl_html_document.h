#pragma once

// Starting the system's web browser on a page and finding its windows afterwards: the
// frame window of the started process and, inside a frame, the document window. The
// frame found last is remembered and asked to close before the next browser starts, so a
// new display replaces the previous one.

#include "report/message_boxes.h"
#include "win32/user32/user32.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace mdlHTMLDocument {

using user32::HWND;

// The browser frame window found last by FindBrowserWindow; 0 at start and whenever a
// close request sent to it was handled.
extern HWND BrowserFrameWnd;

// Starts the browser on filePath, or on an empty page when filePath is empty, and waits
// until it is ready for input. Returns the new process id; 0 without a message when
// filePath names no file, 0 after a message when there is no browser. A browser that is
// not ready within the ready-wait limit is reported, and its process id still returned.
// A browser program that cannot be started raises report::RaisedError.
std::uint32_t LaunchBrowser(const std::string& filePath, report::MessageBoxes& messages);

// The frame window of the process; 0 for process id 0. When the process has no frame the
// previously remembered frame is returned.
HWND FindBrowserWindow(std::uint32_t processId);

// The first descendant of parent that is a document window, or 0.
HWND FindServerWindow(HWND parent);

// How long LaunchBrowser waits for a browser to become ready (15 s unless changed).
void SetReadyWaitLimit(std::chrono::milliseconds limit);

} // namespace mdlHTMLDocument
