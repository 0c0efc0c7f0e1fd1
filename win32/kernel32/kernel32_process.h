#pragma once

// Process handles and the wait until a started browser is ready for input.

#include <cstdint>

namespace kernel32 {

using HANDLE = std::uintptr_t; // 0 means none
using DWORD = std::uint32_t;
using BOOL = std::int32_t;

inline constexpr DWORD PROCESS_ALL_ACCESS = 0x1F0FFF;
inline constexpr DWORD INFINITE = 0xFFFFFFFF;
inline constexpr DWORD WAIT_TIMEOUT = 0x102;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// A handle to a running process; 0 when there is no such process.
HANDLE OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId);

// Waits at most dwMilliseconds until the browser of hProcess is ready for input: 0 when
// ready, WAIT_TIMEOUT when the time ran out, WAIT_FAILED for a bad handle, a process that
// is no browser of this program, or one that ended first.
DWORD WaitForInputIdle(HANDLE hProcess, DWORD dwMilliseconds);

BOOL CloseHandle(HANDLE hObject);

} // namespace kernel32
