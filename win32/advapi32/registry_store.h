#pragma once

// The store behind the registry functions: keys below the predefined roots, each holding
// named values of raw bytes with a type word. Key paths and value names compare without
// regard to ASCII case, as the system registry does.
//
// On first use the store holds the system's keys: the App Paths entry of the browser,
// whose default value is the browser command (see browser_command.h). Tests replace the
// whole content with their own keys.

#include "win32/advapi32/advapi32.h"

#include <string>
#include <vector>

namespace advapi32 {

inline constexpr const char* kBrowserAppPathsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE";

// Removes every key, the system's keys included.
void ClearStore();

// Puts back the system's keys and nothing else.
void ResetStoreToSystem();

// Creates the key (and its value) when missing; replaces an existing value.
void SetValue(advapi32::HKEY root, const std::string& keyPath, const std::string& valueName, advapi32::DWORD type,
              std::vector<advapi32::BYTE> data);

// A string value stored as the system stores it: the text and one terminating NUL.
void SetStringValue(advapi32::HKEY root, const std::string& keyPath, const std::string& valueName,
                    const std::string& text);

void SetDwordValue(advapi32::HKEY root, const std::string& keyPath, const std::string& valueName,
                   advapi32::DWORD number);

// Creates an empty key.
void CreateKey(advapi32::HKEY root, const std::string& keyPath);

} // namespace advapi32
