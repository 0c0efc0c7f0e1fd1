#include "win32/kernel32/kernel32_process.h"

#include "chromium/browser_process.h"
#include "os/program_start.h"

namespace kernel32 {

HANDLE OpenProcess(DWORD /*dwDesiredAccess*/, BOOL /*bInheritHandle*/, DWORD dwProcessId) {
    const auto pid = static_cast<pid_t>(dwProcessId);
    return pid > 0 && os::IsProcessRunning(pid) ? static_cast<HANDLE>(pid) : 0;
}

DWORD WaitForInputIdle(HANDLE hProcess, DWORD dwMilliseconds) {
    if (hProcess == 0)
        return WAIT_FAILED;
    switch (chromium::WaitUntilReady(static_cast<pid_t>(hProcess), chromium::milliseconds(dwMilliseconds))) {
    case chromium::ReadyState::Ready:
        return 0;
    case chromium::ReadyState::TimedOut:
        return WAIT_TIMEOUT;
    case chromium::ReadyState::Failed:
        break;
    }
    return WAIT_FAILED;
}

BOOL CloseHandle(HANDLE hObject) {
    return hObject != 0 ? 1 : 0;
}

} // namespace kernel32
