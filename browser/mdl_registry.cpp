#include "browser/mdl_registry.h"

#include <array>

namespace mdlRegistry {

using namespace advapi32;

namespace {

constexpr DWORD kTextBufferSize = 256;

} // namespace

bool ReadRegistryString(HKEY hive, const std::string& keyPath, const std::string& valueName, bool textMode,
                        std::string& value) {
    HKEY key = 0;
    if (RegOpenKeyExA(hive, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;

    // The default value is asked for by no name at all.
    const char* name = valueName.empty() ? nullptr : valueName.c_str();
    DWORD type = 0;
    LONG result;
    if (textMode) {
        std::array<BYTE, kTextBufferSize> buffer{}; // bytes the query does not write stay NUL
        DWORD size = kTextBufferSize;
        result = RegQueryValueExA(key, name, nullptr, &type, buffer.data(), &size);
        if (result == ERROR_SUCCESS)
            value = TrimAtNull(std::string(reinterpret_cast<const char*>(buffer.data()), buffer.size()));
    } else {
        std::int32_t number = 0;
        DWORD size = sizeof number;
        result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size);
        if (result == ERROR_SUCCESS)
            value = std::to_string(number);
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

std::string TrimAtNull(const std::string& text) {
    const auto nul = text.find('\0');
    return nul == std::string::npos ? text : text.substr(0, nul);
}

} // namespace mdlRegistry
