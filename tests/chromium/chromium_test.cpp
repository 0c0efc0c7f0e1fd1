// The browsers' profile folders, the page ids the DevTools addresses take, and script literals.

#include "chromium/browser_process.h"
#include "chromium/browser_profile.h"
#include "chromium/devtools_connection.h"
#include "tests/browser/scoped_environment.h"
#include "tests/support/scratch_folder.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class BrowserProfile : public ::testing::Test {
protected:
    void SetUp() override { environment_.Set("TMPDIR", scratch_.path().c_str()); }

    const test_support::ScratchFolder scratch_;
    const fs::path parent_ = scratch_ / ("lumivert-browser-" + std::to_string(::geteuid()));
    lumivert::testing::ScopedEnvironment environment_;
};

TEST_F(BrowserProfile, ProfilesArePrivateHoldTheBlankPageAndAreRemovedOnceTheirBrowserEnded) {
    const auto ended = chromium::MakeProfileFolder();
    const auto running = chromium::MakeProfileFolder();
    const auto young = chromium::MakeProfileFolder();
    ASSERT_TRUE(ended && running && young);
    EXPECT_EQ(fs::path(*ended).parent_path(), parent_);
    EXPECT_EQ(fs::status(parent_).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_TRUE(fs::is_regular_file(chromium::BlankPagePath(*ended)));
    EXPECT_NE(ended, running) << "one folder per browser";
    chromium::RecordProfileOwner(*ended, 0x7FFFFFF0); // no such process
    chromium::RecordProfileOwner(*running, ::getpid());
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
    fs::last_write_time(*ended, old);
    fs::last_write_time(*running, old);
    ASSERT_TRUE(chromium::MakeProfileFolder());
    EXPECT_EQ(std::tuple(fs::exists(*ended), fs::exists(*running), fs::exists(*young)), std::tuple(false, true, true))
        << "removed: only the profile of an ended browser, not one where a browser may still be starting";
}

TEST_F(BrowserProfile, FolderOthersCouldControlIsRefused) {
    fs::create_directory(parent_);
    for (const auto mode : {fs::perms::owner_all | fs::perms::group_write, fs::perms::owner_all | fs::perms::others_write}) {
        fs::permissions(parent_, mode);
        EXPECT_FALSE(chromium::MakeProfileFolder()) << "writable by others: " << int(mode);
    }
    fs::remove(parent_);
    fs::create_directory_symlink(scratch_.path(), parent_);
    EXPECT_FALSE(chromium::MakeProfileFolder()) << "a symbolic link";
}

// A page's id goes into its DevTools address: letters, digits and '-' only.
TEST(DevToolsConnection, TargetIdsArePlainLettersDigitsAndDashes) {
    EXPECT_TRUE(chromium::IsTargetId("A1b-2"));
    for (const char* id : {"", "../browser", "a.b", "a/b", "a b", "ü"})
        EXPECT_FALSE(chromium::IsTargetId(QString::fromUtf8(id))) << id;
}

} // namespace
