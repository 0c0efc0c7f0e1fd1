#include "win32/kernel32/kernel32_process.h"

#include "system/chromium/browser_process.h"
#include "system/program_start.h"

namespace kernel32 {

HANDLE OpenProcess(DWORD /*dwDesiredAccess*/, BOOL /*bInheritHandle*/, DWORD dwProcessId) {
    const auto pid = static_cast<pid_t>(dwProcessId);
    return pid > 0 && lumivert::IsProcessRunning(pid) ? static_cast<HANDLE>(pid) : 0;
}

DWORD WaitForInputIdle(HANDLE hProcess, DWORD dwMilliseconds) {
    if (hProcess == 0)
        return WAIT_FAILED;
    switch (browserhost::WaitUntilReady(static_cast<pid_t>(hProcess), browserhost::milliseconds(dwMilliseconds))) {
    case browserhost::ReadyState::Ready:
        return 0;
    case browserhost::ReadyState::TimedOut:
        return WAIT_TIMEOUT;
    case browserhost::ReadyState::Failed:
        break;
    }
    return WAIT_FAILED;
}

BOOL CloseHandle(HANDLE hObject) {
    return hObject != 0 ? 1 : 0;
}

} // namespace kernel32
