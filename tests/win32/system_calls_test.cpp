// The class-identifier parser, the registry, the browser command and the desktop opener.

#include "os/browser_command.h"
#include "os/wide_text.h"
#include "tests/browser/scoped_environment.h"
#include "tests/support/scratch_folder.h"
#include "win32/advapi32/registry_store.h"
#include "win32/ole32/ole32.h"
#include "win32/shell32/shell32.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace advapi32;

TEST(Ole32, ParsesBracedTextWithTheFirstFieldsLittleEndian) {
    ole32::GUID guid, lower;
    ASSERT_EQ(ole32::CLSIDFromString(u"{1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB}", &guid), ole32::S_OK);
    const unsigned char expected[16] = {0xB5, 0xE4, 0x5B, 0x1D, 0x4A, 0xFA, 0x2D, 0x45,
                                        0x9C, 0xDD, 0x5D, 0xB3, 0x51, 0x05, 0xE7, 0xEB};
    EXPECT_EQ(0, std::memcmp(&guid, expected, 16));
    ASSERT_EQ(ole32::CLSIDFromString(u"{1d5be4b5-fa4a-452d-9cdd-5db35105e7eb}", &lower), ole32::S_OK);
    EXPECT_EQ(lower, guid);
    // Anything but the exact braced form is refused and leaves the GUID alone.
    for (const char16_t* text : {u"1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB", u"{1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB",
                                 u"{1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB} ", u"{557CF4012-1A04-11D3-9A73-0000F81EF32E}",
                                 u"{1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EG}", u"{1D5BE4B5+FA4A-452D-9CDD-5DB35105E7EB}",
                                 u"{ D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB}", u"{1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB)", u""}) {
        guid.Data1 = 0x12345678;
        EXPECT_EQ(ole32::CLSIDFromString(text, &guid), ole32::CO_E_CLASSSTRING);
        EXPECT_EQ(guid.Data1, 0x12345678u);
    }
}

TEST(WideText, EveryPathSurvivesTheRoundTrip) {
    // Outside the basic plane (a surrogate pair), bytes that are not UTF-8, encoded surrogates.
    for (const std::string path : {"/tmp/画像フォルダ/Sample.gif", "/tmp/\xF0\x9F\x98\x80.jpg", "/tmp/\xFF\xFE-\xE9.png",
                                   "/tmp/\xED\xA0\x80.png", "/tmp/\xED\xB0\x80.png"})
        EXPECT_EQ(os::FromUtf16(os::ToUtf16(path)), path);
    EXPECT_EQ(os::ToUtf16("画"), std::u16string(u"画"));
    EXPECT_EQ(os::ToUtf16("\xF0\x9F\x98\x80"), std::u16string(u"\U0001F600"));
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override { ClearStore(); }
    void TearDown() override { ResetStoreToSystem(); }
};

TEST_F(Registry, OpensKeysAndTheirParentsWithoutRegardToCase) {
    SetStringValue(HKEY_LOCAL_MACHINE, "Software\\Lumivert\\Test", "", "x");
    HKEY key = 0, parent = 0, child = 0;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\lumivert\\TEST", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Lumivert", 0, KEY_READ, &parent), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(parent, "Test", 0, KEY_READ, &child), ERROR_SUCCESS);
    RegCloseKey(child);
    RegCloseKey(parent);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Missing", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Lumivert\\Test", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

// A buffer too small gets nothing and the size it needs; no buffer, the size alone.
TEST_F(Registry, QueryAnswersMoreDataAndTheSizeWhenTheBufferIsTooSmall) {
    SetStringValue(HKEY_LOCAL_MACHINE, "Software\\Lumivert\\Test", "Name", std::string(255, 'a'));
    HKEY key = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Lumivert\\Test", 0, KEY_READ, &key), ERROR_SUCCESS);
    BYTE buffer[256] = {};
    DWORD size = 255, type = 0, sizeOnly = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 256u);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, nullptr, nullptr, &sizeOnly), ERROR_SUCCESS);
    EXPECT_EQ(sizeOnly, 256u);
    RegCloseKey(key);
}

// FindBrowserCommand with the environment changed for the call.
std::string BrowserCommandWith(const char* browser, const char* path) {
    lumivert::testing::ScopedEnvironment environment;
    environment.Set("BROWSER", browser);
    environment.Set("PATH", path);
    return os::FindBrowserCommand();
}

TEST(BrowserCommand, PrefersBrowserVariableThenChromiumOnPath) {
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

// Without a desktop the opener falls back to $BROWSER. A file that opens: the result page tests.
TEST(ShellExecute, FailuresAnswerBelow32) {
    lumivert::testing::ScopedEnvironment environment;
    environment.Set("DISPLAY", nullptr);
    environment.Set("WAYLAND_DISPLAY", nullptr);
    const test_support::ScratchFolder folder;
    EXPECT_EQ(shell32::ShellExecuteA(0, "OPEN", (folder / "missing.html").c_str(), nullptr, nullptr, 1),
              shell32::ERROR_FILE_NOT_FOUND);
    folder.Put("data.lumivert-unknown", "x");
    environment.Set("BROWSER", "/bin/false");
    EXPECT_EQ(shell32::ShellExecuteA(0, "OPEN", (folder / "data.lumivert-unknown").c_str(), nullptr, nullptr, 1),
              shell32::SE_ERR_NOASSOC) << "nothing can open it";
    environment.Set("PATH", folder.path().c_str());
    EXPECT_EQ(shell32::ShellExecuteA(0, "OPEN", (folder / "data.lumivert-unknown").c_str(), nullptr, nullptr, 1),
              shell32::SE_ERR_NOASSOC) << "no opener installed";
}
