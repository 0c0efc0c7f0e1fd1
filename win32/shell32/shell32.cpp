#include "win32/shell32/shell32.h"

#include "os/program_start.h"

#include <strings.h>

namespace shell32 {

namespace {

// Long enough for a desktop opener to hand the file over; an opener that runs the viewer
// in the foreground would otherwise hold the user interface until the viewer closes.
constexpr std::chrono::milliseconds kOpenerWait{3000};

// xdg-open's exit codes: 2 the file does not exist, 3 no tool to open it, 4 it failed.
constexpr int kXdgFileMissing = 2;

} // namespace

HINSTANCE ShellExecuteA(HWND /*hwnd*/, const char* lpOperation, const char* lpFile, const char* /*lpParameters*/,
                        const char* /*lpDirectory*/, int /*nShowCmd*/) {
    if (lpOperation != nullptr && *lpOperation != '\0' && ::strcasecmp(lpOperation, "open") != 0)
        return SE_ERR_NOASSOC;
    if (lpFile == nullptr || *lpFile == '\0')
        return ERROR_FILE_NOT_FOUND;
    std::string file = lpFile;
    if (file.front() == '-')
        file = "./" + file; // never read as an option
    const os::ProgramRun run = os::RunWithLimit({"xdg-open", file}, kOpenerWait);
    switch (run.state) {
    case os::RunState::NotStarted:
        return SE_ERR_NOASSOC;
    case os::RunState::StillRunning:
        return kShellExecuteAccepted;
    case os::RunState::Finished:
        break;
    }
    if (run.exitCode == 0)
        return kShellExecuteAccepted;
    return run.exitCode == kXdgFileMissing ? ERROR_FILE_NOT_FOUND : SE_ERR_NOASSOC;
}

} // namespace shell32
