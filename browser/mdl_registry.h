#pragma once

// Reading one registry value as text: a string value cut at its first NUL, or a 32-bit
// number value in signed decimal.

#include "win32/advapi32/advapi32.h"

#include <string>

namespace mdlRegistry {

// Reads valueName ("" for the key's default value) of keyPath below hive into value and
// returns true; returns false and leaves value untouched when the key cannot be opened,
// the value is missing, or its data does not fit (more than 255 text bytes, more than 4
// number bytes).
bool ReadRegistryString(advapi32::HKEY hive, const std::string& keyPath, const std::string& valueName,
                        bool textMode, std::string& value);

// The part of text before its first NUL character, or the whole text when it holds none.
std::string TrimAtNull(const std::string& text);

} // namespace mdlRegistry
