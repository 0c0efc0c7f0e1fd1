#pragma once

// The HTML document of a running browser, reached from its frame window.

#include "win32/user32/oleacc.h"
#include "win32/user32/user32.h"

#include <memory>

class ClsHTMLDocument {
public:
    // The document of the browser whose frame window is hWnd, or no object (empty). The
    // document window found inside the frame, or 0, goes into hCliendWnd on every call.
    std::shared_ptr<oleacc::DispatchObject> GetHTMLDocument(user32::HWND hWnd, user32::HWND& hCliendWnd);

private:
    std::shared_ptr<oleacc::DispatchObject> DocumentFromServerWindow(user32::HWND hWnd);
};
