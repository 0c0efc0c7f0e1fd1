#include "browser/cls_html_document.h"
#include "browser/mdl_html_document.h"
#include "chromium/browser_process.h"
#include "chromium/devtools_connection.h"
#include "os/program_start.h"
#include "ui/raised_error.h"
#include "tests/app/recording_message_boxes.h"
#include "tests/browser/browser_test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <tuple>

namespace {

using lumivert::testing::BrowserTestFolder;
using lumivert::testing::RecordingMessageBoxes;
using lumivert::testing::UseBrowserCommand;
using namespace std::chrono_literals;

#define SKIP_WITHOUT_CHROMIUM()                                                                                   \
    if (!std::filesystem::exists("/usr/bin/chromium"))                                                             \
    GTEST_SKIP() << "needs Chromium at /usr/bin/chromium"

constexpr const char* kNoBrowser = "インターネットエクスプローラが無いよ!!";
constexpr const char* kWaitFailed = "WaitForInputIdle API関数でエラーが発生しました!!";

class LaunchBrowserTest : public ::testing::Test {
protected:
    void SetUp() override { mdlHTMLDocument::SetReadyWaitLimit(15s); }
    void TearDown() override {
        mdlHTMLDocument::SetReadyWaitLimit(15s);
        UseBrowserCommand("");
    }

    BrowserTestFolder folder_;
    RecordingMessageBoxes messages_;
};

TEST_F(LaunchBrowserTest, PathThatNamesNoFileStartsNothingAndNoBrowserIsReported) {
    UseBrowserCommand(folder_.HeadlessChromium());
    mdlHTMLDocument::BrowserFrameWnd = 0x1234;
    EXPECT_EQ(mdlHTMLDocument::LaunchBrowser((folder_.path() / "missing.html").string(), messages_), 0u);
    EXPECT_EQ(mdlHTMLDocument::LaunchBrowser(folder_.path().string(), messages_), 0u) << "a folder is no file";
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_TRUE(chromium::RunningBrowsers().empty());
    EXPECT_EQ(mdlHTMLDocument::BrowserFrameWnd, 0x1234u);

    UseBrowserCommand("");
    EXPECT_EQ(mdlHTMLDocument::LaunchBrowser("", messages_), 0u);
    ASSERT_EQ(messages_.shown.size(), 1u);
    const auto& shown = messages_.shown[0];
    EXPECT_EQ(std::tie(shown.text, shown.title, shown.buttons, shown.icon),
              std::make_tuple(std::string(kNoBrowser), std::string("ん？"), ui::MessageButtons::Ok,
                              ui::MessageIcon::Information));
}

TEST_F(LaunchBrowserTest, TargetReachesTheBrowserAsOneArgument) {
    const auto browser = folder_.WriteScript("recording-browser", "printf '%s|' \"$@\" > \"$0.out\"\nexec sleep 60");
    UseBrowserCommand(browser);
    const auto folder = folder_.path() / "a folder; with $blanks";
    std::filesystem::create_directory(folder);
    const auto page = folder / "page \"quoted\" & more.html";
    std::ofstream(page) << "<html></html>";

    EXPECT_NE(mdlHTMLDocument::LaunchBrowser(page.string(), messages_), 0u);
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_EQ(lumivert::testing::ReadFileOnceWritten(browser.string() + ".out"), page.string() + "|");
}

TEST_F(LaunchBrowserTest, BrowserThatCannotStartRaisesAnError) {
    const auto plain = folder_.path() / "chromium-not-executable";
    std::ofstream(plain) << "#!/bin/sh\n";
    UseBrowserCommand(plain);
    try {
        mdlHTMLDocument::LaunchBrowser("", messages_);
        FAIL() << "expected an error";
    } catch (const ui::RaisedError& error) {
        EXPECT_NE(error.description().find(plain.string()), std::string::npos);
    }
    UseBrowserCommand((folder_.path() / "no-such-browser").string());
    EXPECT_THROW(mdlHTMLDocument::LaunchBrowser("", messages_), ui::RaisedError);
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(LaunchBrowserTest, BrowserThatNeverAnswersIsReportedAfterTheBoundedWait) {
    mdlHTMLDocument::SetReadyWaitLimit(1500ms);
    // On its DevTools pipe (commands on 3, answers on 4): a browser that stays silent, one
    // that answers garbage, and one that closes the pipe.
    for (const auto& [name, body] : {std::pair{"chromium-silent", "exec sleep 60"},
                                     {"chromium-garbage", "printf '{\"id\":1,\"result\":{\"targetInfos\":\\0' >&4\n"
                                                          "exec sleep 60"},
                                     {"chromium-closed", "exec 3<&- 4>&- 5<&-\nexec sleep 60"}}) {
        UseBrowserCommand(folder_.WriteScript(name, body));
        messages_.shown.clear();
        const auto before = std::chrono::steady_clock::now();
        const std::uint32_t pid = mdlHTMLDocument::LaunchBrowser("", messages_);
        EXPECT_LT(std::chrono::steady_clock::now() - before, 10s) << name << ": the wait is bounded";
        EXPECT_NE(pid, 0u) << "the process id is still returned";
        EXPECT_EQ(messages_.Texts(), std::vector<std::string>{kWaitFailed}) << name;
        EXPECT_EQ(mdlHTMLDocument::FindBrowserWindow(pid), 0u) << "a browser that is not ready has no window";
        lumivert::testing::EndAllBrowsers();
    }
}

// Nobody but this program can drive a browser it started: a browser opened on a page file
// has no DevTools controls at all, one opened on the blank page has them on a pipe only.
// Neither is asked to listen on a port (a port on 127.0.0.1 is open to every local user).
TEST_F(LaunchBrowserTest, NoBrowserIsAskedToListenOnAPort) {
    SKIP_WITHOUT_CHROMIUM();
    const auto page = folder_.path() / "page.html";
    std::ofstream(page) << "<html><body>page</body></html>";
    UseBrowserCommand(folder_.HeadlessChromium());
    for (const std::string& target : {page.string(), std::string()}) {
        const auto pid = mdlHTMLDocument::LaunchBrowser(target, messages_);
        ASSERT_NE(pid, 0u);
        // The browser's own command line, once its wrapper script ran exec.
        const std::string commandLine = test_support::WaitForWholeFile(
            "/proc/" + std::to_string(pid) + "/cmdline", 10s,
            [](const std::string& bytes) { return bytes.find("--headless") != std::string::npos; }).value_or("");
        EXPECT_NE(commandLine, "");
        EXPECT_EQ(commandLine.find("--remote-debugging-port"), std::string::npos) << target;
        lumivert::testing::EndAllBrowsers();
    }
    EXPECT_TRUE(messages_.shown.empty()) << "the blank-page browser was ready through its pipe";
}

TEST_F(LaunchBrowserTest, FindsNothingForProcessZeroOrAProcessWithoutFrame) {
    mdlHTMLDocument::BrowserFrameWnd = 0x4321;
    EXPECT_EQ(mdlHTMLDocument::FindBrowserWindow(0), 0u);
    EXPECT_EQ(mdlHTMLDocument::BrowserFrameWnd, 0x4321u);
    EXPECT_EQ(mdlHTMLDocument::FindBrowserWindow(static_cast<std::uint32_t>(::getpid())), 0x4321u)
        << "the frame remembered before";
    EXPECT_EQ(mdlHTMLDocument::FindServerWindow(0), 0u);

    user32::HWND client = 77;
    EXPECT_EQ(ClsHTMLDocument().GetHTMLDocument(0, client), nullptr);
    EXPECT_EQ(client, 0u);
}

// One real headless Chromium after another: windows, document, and the close request.
TEST_F(LaunchBrowserTest, RealBrowserGivesFrameDocumentAndClosesForTheNext) {
    SKIP_WITHOUT_CHROMIUM();
    UseBrowserCommand(folder_.HeadlessChromium());
    const std::uint32_t first = mdlHTMLDocument::LaunchBrowser("", messages_);
    ASSERT_NE(first, 0u);
    EXPECT_TRUE(messages_.shown.empty());

    const user32::HWND frame = mdlHTMLDocument::FindBrowserWindow(first);
    ASSERT_NE(frame, 0u);
    EXPECT_EQ(mdlHTMLDocument::BrowserFrameWnd, frame);
    // Ready for input means the blank page's document is there, not the browser's initial
    // empty page nor a page still loading: asked once, without waiting.
    const auto state = lumivert::testing::EvaluateInPage(frame, "document.readyState + ' ' + location.protocol",
                                                         nullptr, 0ms);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->toString().toStdString(), "complete file:");
    std::array<char, 256> name{};
    EXPECT_EQ(user32::GetClassNameA(frame, name.data(), 256), 7);
    EXPECT_STREQ(name.data(), "IEFrame");
    std::array<char, 4> shortName{};
    EXPECT_EQ(user32::GetClassNameA(frame, shortName.data(), 4), 3);
    EXPECT_STREQ(shortName.data(), "IEF");

    const user32::HWND page = mdlHTMLDocument::FindServerWindow(frame);
    ASSERT_NE(page, 0u);
    EXPECT_EQ(user32::GetClassNameA(page, name.data(), 256), 24);
    EXPECT_STREQ(name.data(), "Internet Explorer_Server");
    user32::DWORD owner = 0;
    user32::GetWindowThreadProcessId(page, &owner);
    EXPECT_EQ(owner, first);

    ClsHTMLDocument documents;
    user32::HWND client = 0;
    const std::shared_ptr<oleacc::DispatchObject> document = documents.GetHTMLDocument(frame, client);
    ASSERT_NE(document, nullptr) << "the first try finds the document";
    EXPECT_EQ(client, page);
    document->SetProperty("Title", "タイトル \"&'</script>");
    EXPECT_THROW(document->SetProperty("NoSuchMember", "x"), ui::RaisedError);
    EXPECT_THROW(document->GetObject("Head"), ui::RaisedError);
    const auto title = lumivert::testing::EvaluateInPage(frame, "document.title");
    ASSERT_TRUE(title);
    EXPECT_EQ(title->toString().toStdString(), "タイトル \"&'</script>");

    const std::uint32_t second = mdlHTMLDocument::LaunchBrowser("", messages_);
    EXPECT_FALSE(os::IsProcessRunning(static_cast<pid_t>(first))) << "closed before the next started";
    EXPECT_EQ(mdlHTMLDocument::BrowserFrameWnd, 0u) << "the handled close request clears the frame";
    ASSERT_NE(second, 0u);
    EXPECT_TRUE(os::IsProcessRunning(static_cast<pid_t>(second)));
    EXPECT_EQ(user32::GetClassNameA(frame, name.data(), 256), 0) << "the closed frame is gone";
    EXPECT_NE(mdlHTMLDocument::FindBrowserWindow(second), 0u);
    EXPECT_TRUE(messages_.shown.empty());
}

// A page whose script never ends: the first look for its document waits the send's full
// time-out; the second, to a window now known to be hung, returns at once.
TEST_F(LaunchBrowserTest, HungPageAnswersAtOnceOnceKnownHung) {
    SKIP_WITHOUT_CHROMIUM();
    UseBrowserCommand(folder_.HeadlessChromium());
    const std::uint32_t pid = mdlHTMLDocument::LaunchBrowser("", messages_);
    const user32::HWND frame = mdlHTMLDocument::FindBrowserWindow(pid);
    ASSERT_NE(frame, 0u);
    // Hung for certain before the first look: a script that never ends is running.
    chromium::DevToolsConnection page(
        QString::fromStdString(user32::DevToolsEndpointOf(mdlHTMLDocument::FindServerWindow(frame))));
    ASSERT_TRUE(page.Evaluate("1", 10s));
    EXPECT_FALSE(page.Evaluate("for (;;) {}", 500ms));

    ClsHTMLDocument documents;
    user32::HWND client = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(documents.GetHTMLDocument(frame, client), nullptr);
    const auto first = std::chrono::steady_clock::now() - start;
    EXPECT_NE(client, 0u) << "the browser itself still answers: its page window is found";
    EXPECT_EQ(documents.GetHTMLDocument(frame, client), nullptr);
    const auto second = std::chrono::steady_clock::now() - start - first;
    // The program counts its 1000 ms in whole ticks, which may end a fraction of a
    // millisecond before this clock does: the bound only tells waiting from answering.
    EXPECT_GE(first, 900ms) << "the first try waits for the page";
    EXPECT_LT(second, first / 2) << "a window known to be hung answers at once";
    EXPECT_TRUE(messages_.shown.empty());
}

} // namespace
