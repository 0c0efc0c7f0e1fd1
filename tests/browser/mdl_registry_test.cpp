#include "browser/mdl_registry.h"
#include "win32/advapi32/registry_store.h"

#include <gtest/gtest.h>

using advapi32::HKEY_LOCAL_MACHINE;
using namespace std::string_literals;

namespace {

constexpr const char* kKey = "SOFTWARE\\Lumivert\\Values";
constexpr const char* kUnchanged = "<unchanged>"; // the read failed and left the argument alone

TEST(ReadRegistryString, TextsAndNumbersAsTheCallerGetsThem) {
    advapi32::ClearStore();
    advapi32::SetStringValue(HKEY_LOCAL_MACHINE, kKey, "", "/usr/bin/chromium");
    advapi32::SetStringValue(HKEY_LOCAL_MACHINE, kKey, "Other", "other");
    advapi32::SetStringValue(HKEY_LOCAL_MACHINE, kKey, "a255", std::string(255, 'x'));
    advapi32::SetStringValue(HKEY_LOCAL_MACHINE, kKey, "a256", std::string(256, 'y'));
    advapi32::SetValue(HKEY_LOCAL_MACHINE, kKey, "inner", advapi32::REG_SZ, {'a', 'b', 0, 'c', 'd', 0});
    advapi32::SetValue(HKEY_LOCAL_MACHINE, kKey, "unterminated", advapi32::REG_BINARY, {'q', 'r'});
    advapi32::SetDwordValue(HKEY_LOCAL_MACHINE, kKey, "all", 4294967295u);
    advapi32::SetDwordValue(HKEY_LOCAL_MACHINE, kKey, "n", 1234);
    advapi32::SetValue(HKEY_LOCAL_MACHINE, kKey, "short", advapi32::REG_BINARY, {0x05, 0x01});
    advapi32::SetValue(HKEY_LOCAL_MACHINE, kKey, "long", advapi32::REG_BINARY, {1, 2, 3, 4, 5});
    const std::tuple<const char*, const char*, bool, std::string> cases[] = {
        {kKey, "", true, "/usr/bin/chromium"}, // no name: the default value
        {kKey, "other", true, "other"},
        {kKey, "a255", true, std::string(255, 'x')},
        {kKey, "a256", true, kUnchanged}, // does not fit the 256-byte buffer with its NUL
        {kKey, "inner", true, "ab"},
        {kKey, "unterminated", true, "qr"}, // the rest of the buffer stays NUL
        {kKey, "all", false, "-1"},         // numbers are signed decimal
        {kKey, "n", false, "1234"},
        {kKey, "short", false, "261"},
        {kKey, "long", false, kUnchanged}, // more than 4 bytes do not fit
        {kKey, "missing", true, kUnchanged},
        {kKey, "missing", false, kUnchanged},
        {"SOFTWARE\\Nothing", "", true, kUnchanged},
    };
    for (const auto& [key, name, textMode, expected] : cases) {
        std::string value = kUnchanged;
        EXPECT_EQ(mdlRegistry::ReadRegistryString(HKEY_LOCAL_MACHINE, key, name, textMode, value), expected != kUnchanged)
            << name;
        EXPECT_EQ(value, expected) << name;
    }
    EXPECT_EQ(mdlRegistry::TrimAtNull("\0abc"s), "");
    advapi32::ResetStoreToSystem();
}

} // namespace
