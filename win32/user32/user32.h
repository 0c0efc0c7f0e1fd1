#pragma once

// The window functions of the Windows API over the browsers this program starts.
//
// Each ready Chromium-family browser is one top-level window of class "IEFrame" owned by
// the browser's process; each page of that browser is a child window of class
// "Internet Explorer_Server". The close request to a frame closes its browser, and the
// registered message "WM_HTML_GETOBJECT" sent to a page window answers a token that
// ObjectFromLresult (oleacc.h) turns into the page's document.

#include <cstdint>

namespace user32 {

using HWND = std::uint32_t; // 32-bit window handle; 0 means none
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using BOOL = std::int32_t;
using DWORD = std::uint32_t;

using WNDENUMPROC = BOOL (*)(HWND, LPARAM);

inline constexpr UINT WM_SYSCOMMAND = 0x0112;
inline constexpr WPARAM SC_CLOSE = 0xF060;
inline constexpr UINT SMTO_ABORTIFHUNG = 0x0002;

inline constexpr const char* kFrameClass = "IEFrame";
inline constexpr const char* kDocumentClass = "Internet Explorer_Server";

// Calls lpEnumFunc for each frame window until it returns 0. Returns 0 when stopped.
BOOL EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam);

// Calls lpEnumFunc for each page window of the frame hWndParent until it returns 0.
// Returns 0 when stopped, nonzero when every window was visited (or there was none).
BOOL EnumChildWindows(HWND hWndParent, WNDENUMPROC lpEnumFunc, LPARAM lParam);

// The id of the process owning hWnd in *lpdwProcessId; returns 0 for an unknown window.
DWORD GetWindowThreadProcessId(HWND hWnd, DWORD* lpdwProcessId);

// Copies the class name (cut to nMaxCount - 1 characters, NUL-terminated); returns the
// number of characters copied, 0 for an unknown window.
int GetClassNameA(HWND hWnd, char* lpClassName, int nMaxCount);

// WM_SYSCOMMAND with SC_CLOSE to a frame closes its browser and waits until it ended.
// Returns 0 once handled, and also for a window that does not exist.
LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// The same number for the same name; 0 for an empty name.
UINT RegisterWindowMessageA(const char* lpString);

// Sends Msg to hWnd and waits at most uTimeout ms for the answer, which goes into
// *lpdwResult. A page window answers the registered "WM_HTML_GETOBJECT" once its
// document has loaded; otherwise *lpdwResult is left as it was. Returns nonzero when
// answered. With SMTO_ABORTIFHUNG, a window whose last question went unanswered counts as
// hung and gets only a moment to answer instead of uTimeout.
LRESULT SendMessageTimeoutA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT fuFlags, UINT uTimeout,
                            LRESULT* lpdwResult);

// The DevTools endpoint behind a frame or page window, for diagnostics and tests; empty
// for an unknown window.
const char* DevToolsEndpointOf(HWND hWnd);

} // namespace user32
