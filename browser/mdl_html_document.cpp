#include "browser/mdl_html_document.h"

#include "browser/mdl_registry.h"
#include "chromium/browser_process.h"
#include "win32/kernel32/kernel32_process.h"
#include "win32/advapi32/registry_store.h"

#include <array>
#include <filesystem>

namespace mdlHTMLDocument {

HWND BrowserFrameWnd = 0;

namespace {

using namespace user32;

constexpr const char* kBoxTitle = "ん？";
constexpr std::size_t kClassNameBufferSize = 256;

std::chrono::milliseconds readyWaitLimit{15000};

std::string GetBrowserPath() {
    std::string path;
    mdlRegistry::ReadRegistryString(advapi32::HKEY_LOCAL_MACHINE, advapi32::kBrowserAppPathsKey, "", true, path);
    return path;
}

LRESULT CloseBrowserWindow(HWND window) {
    return SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

std::string GetWindowClassName(HWND window) {
    std::array<char, kClassNameBufferSize> buffer{};
    if (GetClassNameA(window, buffer.data(), static_cast<int>(buffer.size())) == 0)
        return {};
    return mdlRegistry::TrimAtNull(std::string(buffer.data(), buffer.size()));
}

BOOL EnumBrowserFrameProc(HWND window, LPARAM wantedProcessId) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == *reinterpret_cast<const std::uint32_t*>(wantedProcessId) &&
        GetWindowClassName(window) == kFrameClass) {
        BrowserFrameWnd = window;
        return 0;
    }
    return 1;
}

BOOL EnumServerWindowProc(HWND window, LPARAM resultHandle) {
    if (GetWindowClassName(window) == kDocumentClass) {
        *reinterpret_cast<HWND*>(resultHandle) = window;
        return 0;
    }
    return 1;
}

// A plain file of that name exists (folders do not count).
bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

} // namespace

std::uint32_t LaunchBrowser(const std::string& filePath, report::MessageBoxes& messages) {
    if (!filePath.empty() && !FileExists(filePath))
        return 0;

    const std::string browserPath = GetBrowserPath();
    if (browserPath.empty()) {
        messages.Show("インターネットエクスプローラが無いよ!!", kBoxTitle, report::MessageButtons::Ok,
                      report::MessageIcon::Information);
        return 0;
    }
    const std::string target = filePath.empty() ? chromium::kBlankPage : filePath;

    if (CloseBrowserWindow(BrowserFrameWnd) == 0)
        BrowserFrameWnd = 0;

    const auto processId = static_cast<std::uint32_t>(chromium::StartBrowser(browserPath, target));

    // The wait is bounded: a browser that never becomes ready must not hold the program.
    const kernel32::HANDLE process = kernel32::OpenProcess(kernel32::PROCESS_ALL_ACCESS, 0, processId);
    const auto limit = static_cast<kernel32::DWORD>(readyWaitLimit.count());
    const kernel32::DWORD waited = kernel32::WaitForInputIdle(process, limit);
    if (waited == kernel32::WAIT_FAILED || waited == kernel32::WAIT_TIMEOUT)
        messages.Show("WaitForInputIdle API関数でエラーが発生しました!!", kBoxTitle, report::MessageButtons::Ok,
                      report::MessageIcon::Information);
    kernel32::CloseHandle(process);
    // Only a ready browser with controls is addressed again (its window is closed by the
    // next display); nothing of any other is held from one save to the next.
    chromium::ReleaseUnlessReady(static_cast<pid_t>(processId));
    return processId;
}

HWND FindBrowserWindow(std::uint32_t processId) {
    if (processId == 0)
        return 0;
    EnumWindows(EnumBrowserFrameProc, reinterpret_cast<LPARAM>(&processId));
    return BrowserFrameWnd;
}

HWND FindServerWindow(HWND parent) {
    HWND result = 0;
    if (EnumChildWindows(parent, EnumServerWindowProc, reinterpret_cast<LPARAM>(&result)) == 0)
        return result;
    return 0;
}

void SetReadyWaitLimit(std::chrono::milliseconds limit) {
    readyWaitLimit = limit;
}

} // namespace mdlHTMLDocument
