#pragma once

// ShellExecuteA: opening a file with the program the desktop associates with it, through
// xdg-open.

#include <cstdint>

namespace shell32 {

using HWND = std::uint32_t;
using HINSTANCE = std::intptr_t;

inline constexpr int SW_SHOWNORMAL = 1;

// Results below 32 are failures, as the system numbers them.
inline constexpr HINSTANCE ERROR_FILE_NOT_FOUND = 2;
inline constexpr HINSTANCE SE_ERR_NOASSOC = 31;
inline constexpr HINSTANCE kShellExecuteAccepted = 42;

// Only the operation "open" (any case, or none) is known. The file is handed to xdg-open
// as one argument; its answer is awaited for a few seconds at most (an opener still busy
// then is taken as having accepted the request). Result: 32 or more on success;
// ERROR_FILE_NOT_FOUND when the file does not exist; SE_ERR_NOASSOC when nothing can
// open it (no opener installed, or it failed).
HINSTANCE ShellExecuteA(HWND hwnd, const char* lpOperation, const char* lpFile, const char* lpParameters,
                        const char* lpDirectory, int nShowCmd);

} // namespace shell32
