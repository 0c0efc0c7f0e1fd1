#pragma once

// The registry functions of the Windows API over an in-process store (registry_store.h).
// Codes and buffer rules follow the published functions: a value whose data does not fit
// the caller's buffer answers ERROR_MORE_DATA and the size it needs.

#include <cstdint>

namespace advapi32 {

using HKEY = std::uint32_t; // 32-bit registry handle; 0 means none
using LONG = std::int32_t;
using DWORD = std::uint32_t;
using REGSAM = std::uint32_t;
using BYTE = std::uint8_t;

inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;
inline constexpr HKEY HKEY_USERS = 0x80000003;

inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_MORE_DATA = 234;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_READ = 0x20019;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;

// Opens subKey below hKey (a predefined root or an open key); *phkResult receives the
// new handle. ERROR_FILE_NOT_FOUND when the key does not exist.
LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, REGSAM samDesired, HKEY* phkResult);

// Reads the value lpValueName (null or "" for the key's default value). With lpData null
// only the size is reported. When *lpcbData is smaller than the data, nothing is copied,
// ERROR_MORE_DATA is returned and *lpcbData receives the size needed.
LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                      DWORD* lpcbData);

LONG RegCloseKey(HKEY hKey);

} // namespace advapi32
