#include "win32/advapi32/registry_store.h"

#include "os/browser_command.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

namespace advapi32 {

using namespace advapi32;

namespace {

struct Value {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// A key is named by its root and its path below it, lower-cased, with single backslashes.
using KeyName = std::pair<HKEY, std::string>;
using Key = std::map<std::string, Value>; // by lower-cased value name; "" is the default value

struct Store {
    std::mutex mutex;
    bool filled = false;
    std::map<KeyName, Key> keys;
    std::map<HKEY, KeyName> openHandles;
    HKEY nextHandle = 0x00000100;
};

Store& TheStore() {
    static Store store;
    return store;
}

bool IsPredefinedRoot(HKEY key) {
    return key >= HKEY_CLASSES_ROOT && key <= HKEY_USERS;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

// Joins and normalises a key path: no empty components, lower case.
std::string NormalisePath(const std::string& base, const std::string& sub) {
    std::string joined = base + "\\" + sub;
    std::string result;
    std::size_t start = 0;
    while (start <= joined.size()) {
        const std::size_t end = std::min(joined.find('\\', start), joined.size());
        if (end > start) {
            if (!result.empty())
                result += '\\';
            result += joined.substr(start, end - start);
        }
        start = end + 1;
    }
    return Lower(result);
}

void FillWithSystemKeys(Store& store) {
    store.keys.clear();
    const std::string command = os::FindBrowserCommand();
    Value value{REG_SZ, std::vector<BYTE>(command.begin(), command.end())};
    value.data.push_back(0);
    store.keys[{HKEY_LOCAL_MACHINE, NormalisePath("", kBrowserAppPathsKey)}][""] = std::move(value);
    store.filled = true;
}

// The store with its system keys once it is first used; the caller holds the lock.
Store& FilledStore(std::unique_lock<std::mutex>& lock) {
    Store& store = TheStore();
    lock = std::unique_lock(store.mutex);
    if (!store.filled)
        FillWithSystemKeys(store);
    return store;
}

// The key a handle stands for: a predefined root names its own top, an open handle its key.
const KeyName* Resolve(Store& store, HKEY handle, KeyName& rootName) {
    if (IsPredefinedRoot(handle)) {
        rootName = {handle, ""};
        return &rootName;
    }
    const auto open = store.openHandles.find(handle);
    return open == store.openHandles.end() ? nullptr : &open->second;
}

bool KeyExists(const Store& store, const KeyName& name) {
    if (name.second.empty())
        return true; // the roots always exist
    const std::string prefix = name.second + "\\";
    for (const auto& [existing, values] : store.keys) {
        if (existing.first != name.first)
            continue;
        if (existing.second == name.second || existing.second.starts_with(prefix))
            return true; // the key itself, or a parent of a stored key
    }
    return false;
}

} // namespace

void ClearStore() {
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    store.keys.clear();
    store.filled = true;
}

void ResetStoreToSystem() {
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    FillWithSystemKeys(store);
}

void SetValue(HKEY root, const std::string& keyPath, const std::string& valueName, DWORD type, std::vector<BYTE> data) {
    std::unique_lock<std::mutex> lock;
    Store& store = FilledStore(lock);
    store.keys[{root, NormalisePath("", keyPath)}][Lower(valueName)] = Value{type, std::move(data)};
}

void SetStringValue(HKEY root, const std::string& keyPath, const std::string& valueName, const std::string& text) {
    std::vector<BYTE> data(text.begin(), text.end());
    data.push_back(0);
    SetValue(root, keyPath, valueName, REG_SZ, std::move(data));
}

void SetDwordValue(HKEY root, const std::string& keyPath, const std::string& valueName, DWORD number) {
    std::vector<BYTE> data(4);
    for (int i = 0; i < 4; ++i)
        data[i] = static_cast<BYTE>(number >> (8 * i)); // little-endian, as the system stores it
    SetValue(root, keyPath, valueName, REG_DWORD, std::move(data));
}

void CreateKey(HKEY root, const std::string& keyPath) {
    std::unique_lock<std::mutex> lock;
    Store& store = FilledStore(lock);
    store.keys[{root, NormalisePath("", keyPath)}];
}

} // namespace advapi32

namespace advapi32 {

using advapi32::Store;

LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD /*ulOptions*/, REGSAM /*samDesired*/, HKEY* phkResult) {
    if (phkResult == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::unique_lock<std::mutex> lock;
    Store& store = advapi32::FilledStore(lock);
    advapi32::KeyName rootName;
    const advapi32::KeyName* base = advapi32::Resolve(store, hKey, rootName);
    if (base == nullptr)
        return ERROR_INVALID_HANDLE;
    const advapi32::KeyName name{base->first,
                                 advapi32::NormalisePath(base->second, lpSubKey == nullptr ? "" : lpSubKey)};
    if (!advapi32::KeyExists(store, name))
        return ERROR_FILE_NOT_FOUND;
    const HKEY handle = store.nextHandle++;
    store.openHandles[handle] = name;
    *phkResult = handle;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                      DWORD* lpcbData) {
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr))
        return ERROR_INVALID_PARAMETER;
    std::unique_lock<std::mutex> lock;
    Store& store = advapi32::FilledStore(lock);
    advapi32::KeyName rootName;
    const advapi32::KeyName* name = advapi32::Resolve(store, hKey, rootName);
    if (name == nullptr)
        return ERROR_INVALID_HANDLE;
    const auto key = store.keys.find(*name);
    if (key == store.keys.end())
        return ERROR_FILE_NOT_FOUND;
    const auto value = key->second.find(advapi32::Lower(lpValueName == nullptr ? "" : lpValueName));
    if (value == key->second.end())
        return ERROR_FILE_NOT_FOUND;

    const auto size = static_cast<DWORD>(value->second.data.size());
    if (lpType != nullptr)
        *lpType = value->second.type;
    if (lpData != nullptr) {
        if (*lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        if (size > 0)
            std::memcpy(lpData, value->second.data.data(), size);
    }
    if (lpcbData != nullptr)
        *lpcbData = size;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) {
    if (advapi32::IsPredefinedRoot(hKey))
        return ERROR_SUCCESS;
    Store& store = advapi32::TheStore();
    std::lock_guard lock(store.mutex);
    return store.openHandles.erase(hKey) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

} // namespace advapi32
