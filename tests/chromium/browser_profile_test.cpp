#include "chromium/browser_profile.h"
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
    EXPECT_FALSE(fs::exists(*ended));
    EXPECT_TRUE(fs::exists(*running));
    EXPECT_TRUE(fs::exists(*young)) << "a browser may still be starting there";
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

TEST_F(BrowserProfile, AnnouncedEndpointIsCheckedStrictly) {
    const auto folder = chromium::MakeProfileFolder();
    ASSERT_TRUE(folder);
    EXPECT_FALSE(chromium::AnnouncedEndpoint(*folder)) << "nothing announced yet";
    const auto announce = [&](const char* text) { test_support::WriteBytes(*folder + "/DevToolsActivePort", text); };
    announce("41234\n/devtools/browser/0a1b-2c3d\n");
    EXPECT_EQ(chromium::AnnouncedEndpoint(*folder), "ws://127.0.0.1:41234/devtools/browser/0a1b-2c3d");
    for (const char* garbage : {"41234\n", "0\n/devtools/browser/ab\n", "65536\n/devtools/browser/ab\n",
                                "-1\n/devtools/browser/ab\n", "4x\n/devtools/browser/ab\n", "41234\n/devtools/page/ab\n",
                                "41234\n/devtools/browser/\n", "41234\n/devtools/browser/ab/../../x\n",
                                "41234\n/devtools/browser/a b\n", ""}) {
        announce(garbage);
        EXPECT_FALSE(chromium::AnnouncedEndpoint(*folder)) << garbage;
    }
}

} // namespace
