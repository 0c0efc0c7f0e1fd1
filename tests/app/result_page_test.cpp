// The result page: a page file for the browser or the shell, or a real Chromium's page filled.

#include "app/mdl_common.h"
#include "app/result_page.h"
#include "browser/mdl_html_document.h"
#include "chromium/browser_process.h"
#include "tests/app/recording_message_boxes.h"
#include "tests/browser/browser_test_support.h"
#include "tests/browser/scoped_environment.h"
#include "tests/support/scratch_folder.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using lumivert::testing::BrowserTestFolder;
using lumivert::testing::EvaluateInPage;
using lumivert::testing::RecordingMessageBoxes;
using lumivert::testing::UseBrowserCommand;

constexpr const char* kDescription = "ファイル種類：BMP　保存色数：全力(フルカラー(32Bit))";
constexpr const char* kNoBrowser = "インターネットエクスプローラが無いよ!!";
constexpr const char* kNoDocument = "生成した画像をIEで開こうとしたのですが、HTMLドキュメントを取得できませんでした。";

class ResultPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        appFolder_ = mdlCommon::GetAppFolder();
        pagePath_ = appFolder_ + "OpenMe.html";
        picture_ = appFolder_ + "ResultPageTestPicture.bmp";
        fs::copy_file(folder_.WritePicture("picture.bmp", 5), picture_, fs::copy_options::overwrite_existing);
        environment_.Set("DISPLAY", nullptr); // the shell opener falls back to $BROWSER
        environment_.Set("WAYLAND_DISPLAY", nullptr);
    }
    void TearDown() override {
        lumivert::testing::EndAllBrowsers();
        UseBrowserCommand("");
        std::error_code error;
        fs::remove_all(pagePath_, error);
        fs::remove(picture_, error);
    }

    // A browser (not of the Chromium family) that records its arguments and stays.
    fs::path RecordingBrowser() {
        return folder_.WriteScript("recording-browser",
                                   "printf '%s|' \"$@\" > \"$0.out\"\nexec sleep 60");
    }

    BrowserTestFolder folder_;
    lumivert::testing::ScopedEnvironment environment_;
    RecordingMessageBoxes messages_;
    std::string appFolder_;
    std::string pagePath_;
    std::string picture_;
};

// The page's bytes are the text tests' business; here: given to the browser, replaced whole.
TEST_F(ResultPageTest, FileModeOverwritesTheWholePageAndUsesTheLocaleSeparator) {
    const fs::path browser = RecordingBrowser();
    UseBrowserCommand(browser);
    lumivert::ShowResult(picture_, std::string(kDescription) + std::string(300, 'x'), {0, 0}, "White", true, messages_);
    EXPECT_EQ(lumivert::testing::ReadFileOnceWritten(browser.string() + ".out"), pagePath_ + "|");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    lumivert::ShowResult(appFolder_ + "Missing.png", "短い", {0, 1500}, "#FFCCBB", true, messages_);
    QLocale::setDefault(QLocale::c());
    const std::string page = test_support::ReadBytes(pagePath_); // the whole page replaced, in Shift_JIS
    EXPECT_NE(page.find("<body bgcolor=#FFCCBB>"), std::string::npos);
    EXPECT_NE(page.find("\x81\x46" "1,5\x95\x62<br>"), std::string::npos) << "：1,5秒";
    EXPECT_NE(page.find("Missing.png<br>\x92\x5A\x82\xA2<br><img src=\"\"></body></html>\r\n"), std::string::npos);
    EXPECT_EQ(page.find("xxx"), std::string::npos);
    EXPECT_TRUE(messages_.shown.empty());
}

// An unwritable page is a display error; without a browser the shell opens the page.
TEST_F(ResultPageTest, FileModeFailuresAreToldInTheirBoxes) {
    UseBrowserCommand(RecordingBrowser());
    fs::create_directory(pagePath_);
    lumivert::ShowResult(picture_, kDescription, {0, 0}, "White", true, messages_);
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].title, "HTMLブラウザ表示エラー");
    EXPECT_NE(messages_.shown[0].text.find(pagePath_), std::string::npos);
    EXPECT_EQ(messages_.shown[0].buttons, ui::MessageButtons::Ok);
    EXPECT_EQ(messages_.shown[0].icon, ui::MessageIcon::Information);
    EXPECT_TRUE(chromium::RunningBrowsers().empty()) << "nothing was launched";
    fs::remove(pagePath_);

    const fs::path viewer = folder_.WriteScript("recording-viewer", "printf '%s|' \"$@\" > \"$0.out\"");
    environment_.Set("BROWSER", viewer.c_str());
    UseBrowserCommand("");
    lumivert::ShowResult(picture_, kDescription, {0, 0}, "White", true, messages_);
    EXPECT_EQ(lumivert::testing::ReadFileOnceWritten(viewer.string() + ".out"), pagePath_ + "|");
    environment_.Set("BROWSER", "/bin/false");
    lumivert::ShowResult(picture_, kDescription, {0, 0}, "White", true, messages_);
    ASSERT_EQ(messages_.shown.size(), 4u);
    EXPECT_EQ(messages_.shown[1].text, kNoBrowser);
    EXPECT_EQ(messages_.shown[2].text, kNoBrowser);
    EXPECT_EQ(messages_.shown[3].text, pagePath_ + "を開けませんでした？");
    EXPECT_EQ(messages_.shown[3].title, "なんで？");
    EXPECT_EQ(messages_.shown[3].icon, ui::MessageIcon::Information);
}

TEST_F(ResultPageTest, DocumentModeFillsARealPage) {
    UseBrowserCommand(folder_.HeadlessChromium());
    lumivert::ShowResult(picture_, kDescription, {0, 1234}, "#FFCCBB", false, messages_);
    EXPECT_EQ(messages_.Texts(), std::vector<std::string>{});
    const user32::HWND frame = mdlHTMLDocument::BrowserFrameWnd;
    ASSERT_NE(frame, 0u);

    EXPECT_EQ(EvaluateInPage(frame, "document.title")->toString(), "画像確認");
    EXPECT_EQ(EvaluateInPage(frame, "document.querySelector('meta[charset]').getAttribute('charset')")->toString(),
              "Shift_JIS");
    EXPECT_EQ(EvaluateInPage(frame, "getComputedStyle(document.body).backgroundColor")->toString(),
              "rgb(255, 204, 187)");
    EXPECT_EQ(EvaluateInPage(frame, "document.body.innerText")->toString().toStdString(),
              "処理時間\u00A0：1.234秒\nファイル名：" + picture_ + "\n" + kDescription + "\n");
    const auto width = EvaluateInPage(frame, "document.images[0].complete ? document.images[0].naturalWidth : -1",
                                      [](const QJsonValue& v) { return v.toInt() >= 0; });
    EXPECT_EQ(width->toInt(), 5) << "the local picture loads into the blank page";
}

TEST_F(ResultPageTest, DocumentModeWithoutBrowserSaysSorryAfterBothWaits) {
    UseBrowserCommand("");
    lumivert::ShowResult(picture_, kDescription, {0, 0}, "White", false, messages_);
    EXPECT_EQ(messages_.Texts(), (std::vector<std::string>{kNoBrowser, kNoDocument}));
    EXPECT_EQ(messages_.shown[1].title, "残念");
    EXPECT_EQ(messages_.shown[1].buttons, ui::MessageButtons::Ok);
    EXPECT_EQ(messages_.shown[1].icon, ui::MessageIcon::None);
}

} // namespace
