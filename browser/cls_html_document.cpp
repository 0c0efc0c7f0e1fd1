#include "browser/cls_html_document.h"

#include "browser/mdl_html_document.h"

namespace {

constexpr user32::UINT kSendTimeoutMs = 1000;

} // namespace

std::shared_ptr<oleacc::DispatchObject> ClsHTMLDocument::GetHTMLDocument(user32::HWND hWnd,
                                                                          user32::HWND& hCliendWnd) {
    std::shared_ptr<oleacc::DispatchObject> document;
    hCliendWnd = mdlHTMLDocument::FindServerWindow(hWnd);
    if (hCliendWnd != 0)
        document = DocumentFromServerWindow(hCliendWnd);
    return document;
}

std::shared_ptr<oleacc::DispatchObject> ClsHTMLDocument::DocumentFromServerWindow(user32::HWND hWnd) {
    const user32::UINT message = user32::RegisterWindowMessageA("WM_HTML_GETOBJECT");
    if (message == 0)
        return nullptr;
    user32::LRESULT answer = 0;
    user32::SendMessageTimeoutA(hWnd, message, 0, 0, user32::SMTO_ABORTIFHUNG, kSendTimeoutMs, &answer);
    if (answer == 0)
        return nullptr;
    std::shared_ptr<oleacc::DispatchObject> document;
    oleacc::ObjectFromLresult(answer, 0, &document);
    return document;
}
