#include "browser/mdl_registry.h"
#include "win32/advapi32/registry_store.h"

#include <gtest/gtest.h>

using advapi32::HKEY_LOCAL_MACHINE;

namespace {

constexpr const char* kKey = "SOFTWARE\\Lumivert\\Values";

class ReadRegistryStringTest : public ::testing::Test {
protected:
    void SetUp() override { advapi32::ClearStore(); }
    void TearDown() override { advapi32::ResetStoreToSystem(); }

    // The value read, or "<unchanged>" when the read failed and left the argument alone.
    static std::string Read(const std::string& name, bool textMode, bool* succeeded = nullptr) {
        std::string value = "<unchanged>";
        const bool ok = mdlRegistry::ReadRegistryString(HKEY_LOCAL_MACHINE, kKey, name, textMode, value);
        if (succeeded)
            *succeeded = ok;
        EXPECT_EQ(ok, value != "<unchanged>");
        return value;
    }
};

TEST_F(ReadRegistryStringTest, EmptyNameReadsTheDefaultValue) {
    advapi32::SetStringValue(HKEY_LOCAL_MACHINE, kKey, "", "/usr/bin/chromium");
    advapi32::SetStringValue(HKEY_LOCAL_MACHINE, kKey, "Other", "other");
    EXPECT_EQ(Read("", true), "/usr/bin/chromium");
    EXPECT_EQ(Read("other", true), "other");
}

TEST_F(ReadRegistryStringTest, TextOf255BytesFitsAndOf256DoesNot) {
    advapi32::SetStringValue(HKEY_LOCAL_MACHINE, kKey, "a255", std::string(255, 'x'));
    advapi32::SetStringValue(HKEY_LOCAL_MACHINE, kKey, "a256", std::string(256, 'y'));
    EXPECT_EQ(Read("a255", true), std::string(255, 'x'));
    EXPECT_EQ(Read("a256", true), "<unchanged>");
}

TEST_F(ReadRegistryStringTest, TextStopsAtAnInnerNul) {
    advapi32::SetValue(HKEY_LOCAL_MACHINE, kKey, "inner", advapi32::REG_SZ, {'a', 'b', 0, 'c', 'd', 0});
    EXPECT_EQ(Read("inner", true), "ab");
    advapi32::SetValue(HKEY_LOCAL_MACHINE, kKey, "unterminated", advapi32::REG_BINARY, {'q', 'r'});
    EXPECT_EQ(Read("unterminated", true), "qr") << "the rest of the buffer stays NUL";
}

TEST_F(ReadRegistryStringTest, NumbersAreSignedDecimal) {
    advapi32::SetDwordValue(HKEY_LOCAL_MACHINE, kKey, "all", 4294967295u);
    advapi32::SetDwordValue(HKEY_LOCAL_MACHINE, kKey, "n", 1234);
    advapi32::SetValue(HKEY_LOCAL_MACHINE, kKey, "short", advapi32::REG_BINARY, {0x05, 0x01});
    advapi32::SetValue(HKEY_LOCAL_MACHINE, kKey, "long", advapi32::REG_BINARY, {1, 2, 3, 4, 5});
    EXPECT_EQ(Read("all", false), "-1");
    EXPECT_EQ(Read("n", false), "1234");
    EXPECT_EQ(Read("short", false), "261");
    EXPECT_EQ(Read("long", false), "<unchanged>") << "more than 4 bytes do not fit";
}

TEST_F(ReadRegistryStringTest, MissingKeyOrValueFailsAndLeavesTheArgument) {
    advapi32::SetStringValue(HKEY_LOCAL_MACHINE, kKey, "there", "x");
    EXPECT_EQ(Read("missing", true), "<unchanged>");
    EXPECT_EQ(Read("missing", false), "<unchanged>");
    std::string value = "kept";
    EXPECT_FALSE(mdlRegistry::ReadRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nothing", "", true, value));
    EXPECT_EQ(value, "kept");
}

TEST(TrimAtNullTest, CutsAtTheFirstNul) {
    using namespace std::string_literals;
    EXPECT_EQ(mdlRegistry::TrimAtNull("plain"), "plain");
    EXPECT_EQ(mdlRegistry::TrimAtNull(""), "");
    EXPECT_EQ(mdlRegistry::TrimAtNull("\0abc"s), "");
    EXPECT_EQ(mdlRegistry::TrimAtNull("ab\0c\0"s), "ab");
    EXPECT_EQ(mdlRegistry::TrimAtNull(std::string(255, 'k') + '\0'), std::string(255, 'k'));
}

} // namespace
