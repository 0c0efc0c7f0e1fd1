#include "win32/shell32/shell32.h"
#include "tests/browser/scoped_environment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class ShellExecuteTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("lumivert-shell-" + std::to_string(::getpid()));
        fs::create_directories(folder_);
        // No desktop: xdg-open falls back to the mailcap viewers and $BROWSER.
        environment_.Set("DISPLAY", nullptr);
        environment_.Set("WAYLAND_DISPLAY", nullptr);
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path folder_;
    lumivert::testing::ScopedEnvironment environment_;
};

TEST_F(ShellExecuteTest, OpensAnExistingFileThroughTheDesktopOpener) {
    const fs::path recorder = folder_ / "viewer";
    std::ofstream(recorder) << "#!/bin/sh\nprintf '%s' \"$1\" > \"$0.out\"\n";
    fs::permissions(recorder, fs::perms::owner_all);
    const fs::path page = folder_ / "page.html";
    std::ofstream(page) << "<html></html>";
    environment_.Set("BROWSER", recorder.c_str());

    EXPECT_GE(shell32::ShellExecuteA(0, "OPEN", page.c_str(), nullptr, nullptr, shell32::SW_SHOWNORMAL), 32);
    std::ifstream out(recorder.string() + ".out");
    std::stringstream opened;
    opened << out.rdbuf();
    EXPECT_EQ(opened.str(), page.string()) << "the file reaches the viewer";
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
