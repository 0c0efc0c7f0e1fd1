// The result page: its texts, a page file for the browser or the shell, or a real Chromium's page filled.

#include "app/mdl_common.h"
#include "app/result_page.h"
#include "app/result_page_text.h"
#include "browser/mdl_html_document.h"
#include "chromium/browser_process.h"
#include "tests/app/loaded_window.h"
#include "tests/browser/browser_test_support.h"
#include "tests/browser/scoped_environment.h"

#include <QLocale>
#include <QProcess>

#include <gtest/gtest.h>

#include <climits>

namespace {

namespace fs = std::filesystem;
using lumivert::testing::EvaluateInPage;
using lumivert::testing::UseBrowserCommand;

constexpr const char* kDescription = "ファイル種類：BMP　保存色数：全力(フルカラー(32Bit))";

TEST(ResultTimeText, MillisecondsUpTo999ThenShortestSecondsOverTheWrappingCounter) {
    const struct {
        std::int32_t start, end;
        const char *separator, *text;
    } cases[] = {
        {5000, 5000, ".", "0ミリ秒"}, {0, 999, ".", "999ミリ秒"}, {0, 1000, ".", "1秒"}, {0, 1500, ".", "1.5秒"},
        {100, 1334, ".", "1.234秒"}, {0, 61234, ".", "61.234秒"}, {0, 1500, ",", "1,5秒"},
        {0, INT32_MAX, ".", "2147483.647秒"},                    // no exponent
        {INT32_MAX - 499, INT32_MIN + 1000, ".", "1.5秒"},      // the counter passing 2^31
        {-256, 100, ".", "356ミリ秒"},                          // the unsigned counter passing 2^32
    };
    for (const auto& c : cases)
        EXPECT_EQ(lumivert::ResultTimeText({c.start, c.end}, c.separator), c.text) << c.start << " " << c.end;
}

// Shift_JIS bytes of an ordinary page, encoded independently (Python's cp932 codec).
constexpr char kOrdinaryPage[] =
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\r\n"
    "<title>\211\346\221\234\212m\224F</title><base href=\"/opt/lumivert/bin/\"></head>\r\n"
    "<body bgcolor=#FFCCBB>\217\210\227\235\216\236\212\324&nbsp;\201F1.5\225b<br>\203t\203@\203C\203\213\226\274"
    "\201F/opt/lumivert/bin/Sample.png<br>\203t\203@\203C\203\213\216\355\227\336\201FPNG\201@\223\247\211\337\220F"
    "\201F#FFFFFF<br><img src=\"Sample.png\"></body></html>\r\n";

TEST(ResultPageFileText, IsExactlyThePageBytesWithMarkupAndUrlCharactersEscaped) {
    EXPECT_EQ(lumivert::EncodeShiftJis(lumivert::ResultPageFileText(
                  "/opt/lumivert/bin/", "/opt/lumivert/bin/Sample.png", "ファイル種類：PNG　透過色：#FFFFFF", "1.5秒",
                  "#FFCCBB", "Sample.png")),
              std::string(kOrdinaryPage));
    const std::string folder = "/tmp/a&b <c> \"d\" #1 50% ?/";
    const std::string page = lumivert::ResultPageFileText(folder, folder + "x#y.bmp", "<b>説明</b>", "0ミリ秒",
                                                          "White", "x#y.bmp");
    EXPECT_NE(page.find("<base href=\"/tmp/a&amp;b &lt;c&gt; &quot;d&quot; %231 50%25 %3F/\">"), std::string::npos);
    EXPECT_NE(page.find("ファイル名：/tmp/a&amp;b &lt;c&gt; &quot;d&quot; #1 50% ?/x#y.bmp<br>"), std::string::npos);
    EXPECT_NE(page.find("<br>&lt;b&gt;説明&lt;/b&gt;<br>"), std::string::npos);
    EXPECT_NE(page.find("<img src=\"x%23y.bmp\">"), std::string::npos);
}

TEST(EncodeShiftJis, CharactersOutsideShiftJisBecomeCharacterReferences) {
    EXPECT_EQ(lumivert::EncodeShiftJis("A😀B"), "A&#128512;B");
    EXPECT_EQ(lumivert::EncodeShiftJis("é～"), "&#233;\201`") << "～ is in code page 932";
    EXPECT_EQ(lumivert::EncodeShiftJis("a\xff" "b\xe3\x81"), "a&#65533;b&#65533;&#65533;") << "invalid UTF-8";
    const std::string long_text(5000, 'x');
    EXPECT_EQ(lumivert::EncodeShiftJis(long_text + "😀"), long_text + "&#128512;");
}

class ResultPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        lumivert::testing::EnsureApplication(); // the event loop a browser's socket needs
        QImage picture(5, 2, QImage::Format_RGB32);
        picture.fill(Qt::gray);
        picture.save(QString::fromStdString(picture_), "BMP");
        environment_.Set("DISPLAY", nullptr); // the shell opener falls back to $BROWSER
        environment_.Set("WAYLAND_DISPLAY", nullptr);
    }
    void TearDown() override {
        lumivert::testing::EndAllBrowsers();
        UseBrowserCommand("");
        fs::remove_all(pagePath_);
        fs::remove(picture_);
    }
    // A program that records its arguments, then stays (a browser not of the Chromium family) or ends.
    fs::path Recording(const char* name, const char* then) const {
        return folder_.WriteScript(name, std::string("printf '%s|' \"$@\" > \"$0.out\"\n") + then);
    }

    lumivert::testing::BrowserTestFolder folder_;
    lumivert::testing::ScopedEnvironment environment_;
    lumivert::testing::RecordingMessageBoxes messages_;
    const std::string appFolder_ = mdlCommon::GetAppFolder(), pagePath_ = appFolder_ + "OpenMe.html";
    const std::string picture_ = appFolder_ + "ResultPageTestPicture.bmp";
};

// The browser is given the page file, replaced whole in Shift_JIS. The seconds are written as
// the user's locale writes numbers, though the interface is Japanese: the system locale is
// read once per process, so the test runs itself again under a German one.
TEST_F(ResultPageTest, FileModeOverwritesTheWholePageWithTheUsersDecimalSeparator) {
    if (qgetenv("LUMIVERT_TEST_IN_GERMAN") != "1") {
        QProcess german;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LC_ALL", "de_DE.UTF-8");
        environment.insert("LUMIVERT_TEST_IN_GERMAN", "1");
        german.setProcessEnvironment(environment);
        german.setProcessChannelMode(QProcess::MergedChannels);
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        german.start(QString::fromStdString(fs::read_symlink("/proc/self/exe")),
                     {QString("--gtest_filter=%1.%2").arg(test->test_suite_name(), test->name())});
        const bool finished = german.waitForFinished(60000);
        const QByteArray output = german.readAll();
        EXPECT_TRUE(finished && german.exitCode() == 0 && output.contains("[  PASSED  ] 1 test"))
            << output.toStdString();
        return;
    }
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan)); // as the program sets it
    const fs::path browser = Recording("recording-browser", "exec sleep 60");
    UseBrowserCommand(browser);
    lumivert::ShowResult(picture_, std::string(kDescription) + std::string(300, 'x'), {0, 0}, "White", true, messages_);
    EXPECT_EQ(lumivert::testing::ReadFileOnceWritten(browser.string() + ".out"), pagePath_ + "|");
    lumivert::ShowResult(appFolder_ + "Missing.png", "短い", {0, 1500}, "#FFCCBB", true, messages_);
    const std::string page = test_support::ReadBytes(pagePath_);
    EXPECT_NE(page.find("\x81\x46" "1,5\x95\x62<br>"), std::string::npos) << "：1,5秒";
    EXPECT_NE(page.find("Missing.png<br>\x92\x5A\x82\xA2<br><img src=\"\"></body></html>\r\n"), std::string::npos);
    EXPECT_EQ(page.find("xxx"), std::string::npos);
    EXPECT_TRUE(messages_.shown.empty());
}

// An unwritable page is a display error; without a browser the shell opens the page.
TEST_F(ResultPageTest, FileModeFailuresAreToldInTheirBoxes) {
    UseBrowserCommand(Recording("recording-browser", "exec sleep 60"));
    fs::create_directory(pagePath_);
    lumivert::ShowResult(picture_, kDescription, {0, 0}, "White", true, messages_);
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].title, "HTMLブラウザ表示エラー");
    EXPECT_NE(messages_.shown[0].text.find(pagePath_), std::string::npos);
    EXPECT_EQ(messages_.shown[0].buttons, report::MessageButtons::Ok);
    EXPECT_EQ(messages_.shown[0].icon, report::MessageIcon::Information);
    EXPECT_TRUE(chromium::RunningBrowsers().empty()) << "nothing was launched";
    fs::remove(pagePath_);

    const fs::path viewer = Recording("recording-viewer", "");
    environment_.Set("BROWSER", viewer.c_str());
    UseBrowserCommand("");
    lumivert::ShowResult(picture_, kDescription, {0, 0}, "White", true, messages_);
    EXPECT_EQ(lumivert::testing::ReadFileOnceWritten(viewer.string() + ".out"), pagePath_ + "|");
    environment_.Set("BROWSER", "/bin/false");
    lumivert::ShowResult(picture_, kDescription, {0, 0}, "White", true, messages_);
    ASSERT_EQ(messages_.shown.size(), 4u); // the launcher's own "no browser" twice (the browser tests' business)
    EXPECT_EQ(messages_.shown[3].text, pagePath_ + "を開けませんでした？");
    EXPECT_EQ(messages_.shown[3].title, "なんで？");
    EXPECT_EQ(messages_.shown[3].icon, report::MessageIcon::Information);
}

TEST_F(ResultPageTest, DocumentModeFillsARealPage) {
    UseBrowserCommand(folder_.HeadlessChromium());
    lumivert::ShowResult(picture_, kDescription, {0, 1234}, "#FFCCBB", false, messages_);
    EXPECT_EQ(messages_.Texts(), std::vector<std::string>{});
    const user32::HWND frame = mdlHTMLDocument::BrowserFrameWnd;
    ASSERT_NE(frame, 0u);
    const auto page = EvaluateInPage(frame, "[document.title, document.querySelector('meta[charset]').getAttribute('charset'),"
                                            "getComputedStyle(document.body).backgroundColor, document.body.innerText].join('|')");
    ASSERT_TRUE(page.has_value()) << "the page never answered";
    EXPECT_EQ(page->toString().toStdString(),
              "画像確認|Shift_JIS|rgb(255, 204, 187)|処理時間\u00A0：1.234秒\nファイル名：" + picture_ + "\n" +
                  kDescription + "\n");
    const auto width = EvaluateInPage(frame, "document.images[0].complete ? document.images[0].naturalWidth : -1",
                                      [](const QJsonValue& v) { return v.toInt() >= 0; });
    ASSERT_TRUE(width.has_value()) << "the page never answered";
    EXPECT_EQ(width->toInt(), 5) << "the local picture loads into the blank page";
}

TEST_F(ResultPageTest, DocumentModeWithoutBrowserSaysSorryAfterBothWaits) {
    UseBrowserCommand("");
    lumivert::ShowResult(picture_, kDescription, {0, 0}, "White", false, messages_);
    ASSERT_EQ(messages_.shown.size(), 2u); // the launcher's "no browser", then this
    const auto& sorry = messages_.shown[1];
    EXPECT_EQ(sorry.text + "|" + sorry.title, "生成した画像をIEで開こうとしたのですが、HTMLドキュメントを取得できませんでした。|残念");
    EXPECT_EQ(sorry.buttons, report::MessageButtons::Ok);
    EXPECT_EQ(sorry.icon, report::MessageIcon::None);
}

} // namespace
