#include "win32/advapi32/advapi32.h"
#include "os/browser_command.h"
#include "win32/advapi32/registry_store.h"
#include "tests/browser/scoped_environment.h"
#include "tests/support/scratch_folder.h"

#include <gtest/gtest.h>

#include <array>

using namespace advapi32;

namespace {

constexpr const char* kKey = "Software\\Lumivert\\Test";

class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override { advapi32::ClearStore(); }
    void TearDown() override { advapi32::ResetStoreToSystem(); }

    HKEY Open(const char* path) {
        HKEY key = 0;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key), ERROR_SUCCESS);
        return key;
    }
};

TEST_F(RegistryStoreTest, OpensKeysAndTheirParentsWithoutRegardToCase) {
    advapi32::SetStringValue(HKEY_LOCAL_MACHINE, kKey, "", "x");
    HKEY key = 0;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\lumivert\\TEST", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_NE(key, 0u);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

    HKEY parent = Open("Software\\Lumivert");
    HKEY child = 0;
    EXPECT_EQ(RegOpenKeyExA(parent, "Test", 0, KEY_READ, &child), ERROR_SUCCESS);
    RegCloseKey(child);
    RegCloseKey(parent);

    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Missing", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExA(0x1234, "x", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryStoreTest, QueryAnswersMoreDataAndTheSizeWhenTheBufferIsTooSmall) {
    advapi32::SetStringValue(HKEY_LOCAL_MACHINE, kKey, "Name", std::string(255, 'a'));
    HKEY key = Open(kKey);
    std::array<BYTE, 256> buffer{};
    DWORD size = 255;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "name", nullptr, &type, buffer.data(), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 256u);
    EXPECT_EQ(buffer[0], 0) << "nothing copied when it does not fit";

    size = 256;
    EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, buffer.data(), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 256u);
    EXPECT_EQ(buffer[254], 'a');
    EXPECT_EQ(buffer[255], 0);

    DWORD sizeOnly = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, nullptr, nullptr, &sizeOnly), ERROR_SUCCESS);
    EXPECT_EQ(sizeOnly, 256u);
    EXPECT_EQ(RegQueryValueExA(key, "Other", nullptr, nullptr, buffer.data(), &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

// Runs FindBrowserCommand with the environment changed for the call.
std::string BrowserCommandWith(const char* browser, const char* path) {
    lumivert::testing::ScopedEnvironment environment;
    environment.Set("BROWSER", browser);
    environment.Set("PATH", path);
    return os::FindBrowserCommand();
}

TEST(BrowserCommandTest, PrefersBrowserVariableThenChromiumOnPath) {
    const test_support::ScratchFolder folder;
    folder.Put("chromium", "#!/bin/sh\n", 0700);
    folder.Put("google-chrome", "#!/bin/sh\n", 0644);

    EXPECT_EQ(BrowserCommandWith("/bin/true:/bin/false", folder.path().c_str()), "/bin/true");
    EXPECT_EQ(BrowserCommandWith("sh %s", "/bin"), "/bin/sh") << "a bare name is found on PATH, options dropped";
    EXPECT_EQ(BrowserCommandWith("/no/such/browser", folder.path().c_str()), folder / "chromium");
    EXPECT_EQ(BrowserCommandWith(nullptr, folder.path().c_str()), folder / "chromium");
    folder.Remove("chromium");
    EXPECT_NE(BrowserCommandWith(nullptr, folder.path().c_str()), folder / "google-chrome")
        << "a file that is not executable is no browser";
}

} // namespace
