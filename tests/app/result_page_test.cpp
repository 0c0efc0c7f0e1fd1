// The result page as ShowResult shows it: a page file opened in a real headless Chromium or
// through the shell, or a browser's empty page filled in, and each way's failures.

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
using namespace std::chrono_literals;

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

TEST_F(ResultPageTest, FileModeShowsThePageAndPictureInARealBrowser) {
    UseBrowserCommand(folder_.InspectableHeadlessChromium());
    lumivert::ShowResult(picture_, kDescription, {1000, 2500}, "White", true, messages_);
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_EQ(mdlHTMLDocument::BrowserFrameWnd, 0u) << "a file display remembers no frame";

    // The browser starts on an empty page and then navigates: wait for the page file itself.
    const auto evaluate = [](const std::string& expression) {
        return lumivert::testing::EvaluateInInspectablePage(expression).value_or(QJsonValue());
    };
    const auto loaded = [](const QJsonValue& v) { return v.toBool(); };
    EXPECT_TRUE(lumivert::testing::EvaluateInInspectablePage(
                    "location.href.endsWith('/OpenMe.html') && document.readyState === 'complete'", +loaded)
                    .value_or(false)
                    .toBool());
    EXPECT_EQ(evaluate("document.title").toString(), "画像確認");
    EXPECT_EQ(evaluate("document.characterSet").toString(), "Shift_JIS");
    EXPECT_EQ(evaluate("document.bgColor").toString().toLower(), "white");
    EXPECT_EQ(evaluate("document.body.innerText").toString().toStdString(),
              "処理時間\u00A0：1.5秒\nファイル名：" + picture_ + "\n" + kDescription + "\n");
    EXPECT_EQ(evaluate("document.images[0].naturalWidth").toInt(), 5) << "the picture shows";
}

TEST_F(ResultPageTest, FileModeOverwritesTheWholePageAndUsesTheLocaleSeparator) {
    UseBrowserCommand(RecordingBrowser());
    lumivert::ShowResult(picture_, std::string(kDescription) + std::string(300, 'x'), {0, 0}, "White", true, messages_);
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

TEST_F(ResultPageTest, FileModeWithoutBrowserOpensThePageThroughTheShell) {
    const fs::path viewer = folder_.WriteScript("recording-viewer", "printf '%s|' \"$@\" > \"$0.out\"");
    environment_.Set("BROWSER", viewer.c_str());
    UseBrowserCommand("");
    lumivert::ShowResult(picture_, kDescription, {0, 0}, "White", true, messages_);
    EXPECT_EQ(messages_.Texts(), std::vector<std::string>{kNoBrowser});
    EXPECT_EQ(lumivert::testing::ReadFileOnceWritten(viewer.string() + ".out"), pagePath_ + "|");

    messages_.shown.clear();
    environment_.Set("BROWSER", "/bin/false");
    lumivert::ShowResult(picture_, kDescription, {0, 0}, "White", true, messages_);
    ASSERT_EQ(messages_.shown.size(), 2u);
    EXPECT_EQ(messages_.shown[1].text, pagePath_ + "を開けませんでした？");
    EXPECT_EQ(messages_.shown[1].title, "なんで？");
    EXPECT_EQ(messages_.shown[1].icon, ui::MessageIcon::Information);
}

TEST_F(ResultPageTest, FileModeErrorsAreShownAsDisplayErrors) {
    UseBrowserCommand(RecordingBrowser());
    fs::create_directory(pagePath_); // the page cannot be written where a folder stands
    lumivert::ShowResult(picture_, kDescription, {0, 0}, "White", true, messages_);
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].title, "HTMLブラウザ表示エラー");
    EXPECT_NE(messages_.shown[0].text.find(pagePath_), std::string::npos);
    EXPECT_EQ(messages_.shown[0].buttons, ui::MessageButtons::Ok);
    EXPECT_EQ(messages_.shown[0].icon, ui::MessageIcon::Information);
    EXPECT_TRUE(chromium::RunningBrowsers().empty()) << "nothing was launched";
    fs::remove(pagePath_);
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
