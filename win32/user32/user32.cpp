#include "win32/user32/user32.h"

#include "chromium/browser_process.h"
#include "chromium/devtools_connection.h"
#include "chromium/page_state.h"
#include "win32/user32/page_document.h"

#include <QJsonArray>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace user32 {

namespace {

using chromium::milliseconds;

struct Window {
    pid_t pid = 0;
    HWND parent = 0;      // 0 for a frame
    std::string endpoint; // the browser's DevTools endpoint, or the page's
    std::string targetId; // the page's target id; empty for a frame
    bool hung = false;    // its last question went unanswered within its limit
};

struct WindowTable {
    std::map<HWND, Window> windows;
    std::map<std::string, UINT> messages;
    HWND nextHandle = 0x00010010;
    UINT nextMessage = 0xC000; // where the system numbers registered messages
};

WindowTable& Table() {
    static WindowTable table;
    return table;
}

// The page list comes from the browser itself, which answers at once unless it is hung.
constexpr milliseconds kTargetsLimit{1000};
// How long a window known to be hung is given to show that it answers again, in place of
// the full limit: a hung window answers "at once", as SMTO_ABORTIFHUNG asks.
constexpr milliseconds kHungProbeLimit{100};

// The limit for a question to window.
milliseconds LimitFor(const Window& window, milliseconds limit) {
    return window.hung ? std::min(limit, kHungProbeLimit) : limit;
}

const Window* Find(HWND hWnd) {
    const auto found = Table().windows.find(hWnd);
    return found == Table().windows.end() ? nullptr : &found->second;
}

// The frame window of a ready browser, made on first sight.
HWND FrameOf(pid_t pid, const std::string& endpoint) {
    for (const auto& [handle, window] : Table().windows)
        if (window.parent == 0 && window.pid == pid)
            return handle;
    const HWND handle = Table().nextHandle++;
    Table().windows[handle] = Window{pid, 0, endpoint, {}};
    return handle;
}

// The page window of a target, made on first sight.
HWND PageOf(HWND frame, const Window& frameWindow, const std::string& targetId) {
    for (const auto& [handle, window] : Table().windows)
        if (window.parent == frame && window.targetId == targetId)
            return handle;
    const HWND handle = Table().nextHandle++;
    Table().windows[handle] =
        Window{frameWindow.pid, frame, chromium::PageEndpoint(frameWindow.endpoint, targetId), targetId};
    return handle;
}

void ForgetBrowser(pid_t pid) {
    std::erase_if(Table().windows, [pid](const auto& entry) { return entry.second.pid == pid; });
}

std::vector<std::string> PageTargets(HWND frame) {
    Window& window = Table().windows.at(frame);
    chromium::DevToolsConnection connection(QString::fromStdString(window.endpoint));
    const auto targets = connection.Call("Target.getTargets", {}, LimitFor(window, kTargetsLimit));
    std::vector<std::string> pages;
    window.hung = !targets;
    if (!targets)
        return pages;
    for (const chromium::PageTarget& target : chromium::PageTargetsOf(*targets))
        pages.push_back(target.id.toStdString());
    return pages;
}

} // namespace

BOOL EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam) {
    // Windows of browsers that ended are gone.
    const std::vector<pid_t> running = chromium::ReadyBrowsers();
    std::erase_if(Table().windows, [&running](const auto& entry) {
        return std::find(running.begin(), running.end(), entry.second.pid) == running.end();
    });
    std::vector<HWND> frames;
    for (const pid_t pid : running)
        frames.push_back(FrameOf(pid, chromium::BrowserEndpoint(pid).value_or("")));
    for (const HWND frame : frames)
        if (lpEnumFunc(frame, lParam) == 0)
            return 0;
    return 1;
}

BOOL EnumChildWindows(HWND hWndParent, WNDENUMPROC lpEnumFunc, LPARAM lParam) {
    const Window* frame = Find(hWndParent);
    if (frame == nullptr || frame->parent != 0)
        return 1;
    const Window frameWindow = *frame;
    std::vector<HWND> pages;
    for (const auto& targetId : PageTargets(hWndParent))
        pages.push_back(PageOf(hWndParent, frameWindow, targetId));
    for (const HWND page : pages)
        if (lpEnumFunc(page, lParam) == 0)
            return 0;
    return 1;
}

DWORD GetWindowThreadProcessId(HWND hWnd, DWORD* lpdwProcessId) {
    const Window* window = Find(hWnd);
    if (window == nullptr)
        return 0;
    if (lpdwProcessId != nullptr)
        *lpdwProcessId = static_cast<DWORD>(window->pid);
    return static_cast<DWORD>(window->pid); // one thread per browser; its id stands for it
}

int GetClassNameA(HWND hWnd, char* lpClassName, int nMaxCount) {
    const Window* window = Find(hWnd);
    if (window == nullptr || lpClassName == nullptr || nMaxCount <= 0)
        return 0;
    const std::string name = window->parent == 0 ? kFrameClass : kDocumentClass;
    const int copied = std::min(static_cast<int>(name.size()), nMaxCount - 1);
    std::memcpy(lpClassName, name.data(), static_cast<std::size_t>(copied));
    lpClassName[copied] = '\0';
    return copied;
}

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM /*lParam*/) {
    const Window* window = Find(hWnd);
    if (window == nullptr || Msg != WM_SYSCOMMAND || wParam != SC_CLOSE || window->parent != 0)
        return 0;
    const pid_t pid = window->pid;
    chromium::CloseBrowser(pid);
    ForgetBrowser(pid);
    return 0;
}

UINT RegisterWindowMessageA(const char* lpString) {
    if (lpString == nullptr || *lpString == '\0')
        return 0;
    auto [entry, added] = Table().messages.try_emplace(lpString, Table().nextMessage);
    if (added)
        ++Table().nextMessage;
    return entry->second;
}

LRESULT SendMessageTimeoutA(HWND hWnd, UINT Msg, WPARAM /*wParam*/, LPARAM /*lParam*/, UINT fuFlags,
                            UINT uTimeout, LRESULT* lpdwResult) {
    const Window* window = Find(hWnd);
    if (window == nullptr || window->parent == 0 || Msg != RegisterWindowMessageA("WM_HTML_GETOBJECT"))
        return 0;
    const std::string endpoint = window->endpoint;
    milliseconds limit(uTimeout);
    if ((fuFlags & SMTO_ABORTIFHUNG) != 0)
        limit = LimitFor(*window, limit);
    const chromium::PageAnswer answer = chromium::AskDocumentLoaded(endpoint, limit);
    if (const auto asked = Table().windows.find(hWnd); asked != Table().windows.end())
        asked->second.hung = answer == chromium::PageAnswer::NoAnswer;
    if (answer != chromium::PageAnswer::Loaded)
        return 0; // still loading, hung or gone: no answer
    if (lpdwResult != nullptr)
        *lpdwResult = user32::IssueDocumentToken(endpoint);
    return 1;
}

const char* DevToolsEndpointOf(HWND hWnd) {
    const Window* window = Find(hWnd);
    return window == nullptr ? "" : window->endpoint.c_str();
}

} // namespace user32
