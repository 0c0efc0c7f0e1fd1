#include "app/mdl_common.h"
#include "tests/app/recording_message_boxes.h"
#include "tests/browser/scoped_environment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

TEST(GetAppFolderTest, IsTheProgramsFolderWithOneTrailingSlash) {
    const std::string folder = mdlCommon::GetAppFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_FALSE(folder.ends_with("//"));
    EXPECT_EQ(fs::path(folder), fs::read_symlink("/proc/self/exe").parent_path() / "");
}

TEST(OpenByShellTest, FailureShowsThePathFollowedByTheMessage) {
    lumivert::testing::ScopedEnvironment environment;
    environment.Set("DISPLAY", nullptr);
    lumivert::testing::RecordingMessageBoxes messages;
    const std::string missing = "/tmp/lumivert-no-such-file-" + std::to_string(::getpid()) + ".html";
    mdlCommon::OpenByShell(messages, missing);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, missing + "を開けませんでした？");
    EXPECT_EQ(messages.shown[0].title, "なんで？");
    EXPECT_EQ(messages.shown[0].buttons, ui::MessageButtons::Ok);
    EXPECT_EQ(messages.shown[0].icon, ui::MessageIcon::Information);

    messages.shown.clear();
    environment.Set("BROWSER", "/bin/true");
    mdlCommon::OpenByShell(messages, "/etc/hostname");
    EXPECT_TRUE(messages.shown.empty()) << "an accepted request shows nothing";
}

} // namespace
