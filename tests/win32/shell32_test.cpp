#include "win32/shell32/shell32.h"
#include "tests/browser/scoped_environment.h"
#include "tests/support/scratch_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

class ShellExecuteTest : public ::testing::Test {
protected:
    void SetUp() override {
        // No desktop: xdg-open falls back to the mailcap viewers and $BROWSER.
        environment_.Set("DISPLAY", nullptr);
        environment_.Set("WAYLAND_DISPLAY", nullptr);
    }
    const test_support::ScratchFolder scratch_;
    const fs::path folder_ = scratch_.path();
    lumivert::testing::ScopedEnvironment environment_;
};

TEST_F(ShellExecuteTest, OpensAnExistingFileThroughTheDesktopOpener) {
    // The viewer writes what it was given under another name and renames it into place.
    scratch_.Put("viewer", "#!/bin/sh\nprintf '%s\\n' \"$1\" > \"$0.part\" && mv \"$0.part\" \"$0.out\"\n", 0700);
    scratch_.Put("page.html", "<html></html>");
    environment_.Set("BROWSER", (scratch_ / "viewer").c_str());

    EXPECT_GE(shell32::ShellExecuteA(0, "OPEN", (scratch_ / "page.html").c_str(), nullptr, nullptr,
                                     shell32::SW_SHOWNORMAL), 32);
    EXPECT_EQ(test_support::WaitForWholeFile(scratch_ / "viewer.out", std::chrono::seconds(20)),
              scratch_ / "page.html\n") << "the file reaches the viewer";
}

TEST_F(ShellExecuteTest, FailuresAnswerBelow32) {
    EXPECT_EQ(shell32::ShellExecuteA(0, "OPEN", (folder_ / "missing.html").c_str(), nullptr, nullptr, 1),
              shell32::ERROR_FILE_NOT_FOUND);
    EXPECT_LT(shell32::ShellExecuteA(0, "print", "/etc/hostname", nullptr, nullptr, 1), 32);
    EXPECT_LT(shell32::ShellExecuteA(0, "OPEN", "", nullptr, nullptr, 1), 32);

    const fs::path unknown = folder_ / "data.lumivert-unknown";
    std::ofstream(unknown) << "x";
    environment_.Set("BROWSER", "/bin/false");
    EXPECT_EQ(shell32::ShellExecuteA(0, "OPEN", unknown.c_str(), nullptr, nullptr, 1), shell32::SE_ERR_NOASSOC)
        << "nothing can open it";

    environment_.Set("PATH", folder_.c_str());
    EXPECT_EQ(shell32::ShellExecuteA(0, "OPEN", unknown.c_str(), nullptr, nullptr, 1), shell32::SE_ERR_NOASSOC)
        << "no opener installed";
}

} // namespace
