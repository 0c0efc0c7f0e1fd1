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
#include <tuple>

namespace {

using lumivert::testing::EndAllBrowsers;
using lumivert::testing::UseBrowserCommand;
using namespace std::chrono_literals;

#define SKIP_WITHOUT_CHROMIUM()                                                                                   \
    if (!std::filesystem::exists("/usr/bin/chromium"))                                                             \
    GTEST_SKIP() << "needs Chromium at /usr/bin/chromium"

class LaunchBrowserTest : public ::testing::Test {
protected:
    void SetUp() override { mdlHTMLDocument::SetReadyWaitLimit(15s); }
    void TearDown() override {
        mdlHTMLDocument::SetReadyWaitLimit(15s);
        UseBrowserCommand("");
    }

    lumivert::testing::BrowserTestFolder folder_;
    lumivert::testing::RecordingMessageBoxes messages_;
};

TEST_F(LaunchBrowserTest, StartsTheBrowserOnAPageFileOnlyAndSaysWhatIsMissing) {
    const auto browser = folder_.WriteScript("recording-browser", "printf '%s|' \"$@\" > \"$0.out\"\nexec sleep 60");
    UseBrowserCommand(browser);
    mdlHTMLDocument::BrowserFrameWnd = 0x1234;
    EXPECT_EQ(mdlHTMLDocument::LaunchBrowser((folder_.path() / "missing.html").string(), messages_), 0u);
    EXPECT_EQ(mdlHTMLDocument::LaunchBrowser(folder_.path().string(), messages_), 0u) << "a folder is no file";
    EXPECT_TRUE(chromium::RunningBrowsers().empty());
    EXPECT_EQ(mdlHTMLDocument::BrowserFrameWnd, 0x1234u);

    std::filesystem::create_directory(folder_.path() / "a folder; with $blanks");
    const auto page = folder_.path() / "a folder; with $blanks" / "page \"quoted\" & more.html";
    test_support::WriteBytes(page, "<html></html>");
    EXPECT_NE(mdlHTMLDocument::LaunchBrowser(page.string(), messages_), 0u);
    EXPECT_EQ(lumivert::testing::ReadFileOnceWritten(browser.string() + ".out"), page.string() + "|") << "one argument";
    EXPECT_TRUE(messages_.shown.empty());

    // A browser that cannot start raises an error that names it.
    test_support::WriteBytes(folder_.path() / "chromium-not-executable", "#!/bin/sh\n");
    for (const std::string name : {"chromium-not-executable", "no-such-browser"}) {
        UseBrowserCommand(folder_.path() / name);
        try {
            mdlHTMLDocument::LaunchBrowser("", messages_);
            ADD_FAILURE() << name << " started";
        } catch (const ui::RaisedError& error) {
            EXPECT_NE(error.description().find(folder_.path() / name), std::string::npos) << error.description();
        }
    }

    UseBrowserCommand("");
    EXPECT_EQ(mdlHTMLDocument::LaunchBrowser("", messages_), 0u);
    ASSERT_EQ(messages_.shown.size(), 1u);
    const auto& shown = messages_.shown[0];
    EXPECT_EQ(std::tie(shown.text, shown.title, shown.buttons, shown.icon),
              std::make_tuple(std::string("インターネットエクスプローラが無いよ!!"), std::string("ん？"),
                              ui::MessageButtons::Ok, ui::MessageIcon::Information));
}

TEST_F(LaunchBrowserTest, BrowserThatNeverAnswersIsReportedAfterTheBoundedWait) {
    mdlHTMLDocument::SetReadyWaitLimit(1500ms);
    // On its DevTools pipe (commands on 3, answers on 4): silent, garbage, or closed.
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
        EXPECT_EQ(messages_.Texts(), std::vector<std::string>{"WaitForInputIdle API関数でエラーが発生しました!!"}) << name;
        EXPECT_EQ(mdlHTMLDocument::FindBrowserWindow(pid), 0u) << "a browser that is not ready has no window";
        EndAllBrowsers();
    }
}

TEST_F(LaunchBrowserTest, FindsNothingForProcessZeroOrAProcessWithoutFrame) {
    mdlHTMLDocument::BrowserFrameWnd = 0x4321;
    EXPECT_EQ(mdlHTMLDocument::FindBrowserWindow(0), 0u);
    EXPECT_EQ(mdlHTMLDocument::FindBrowserWindow(static_cast<std::uint32_t>(::getpid())), 0x4321u)
        << "the frame remembered before";
    EXPECT_EQ(mdlHTMLDocument::FindServerWindow(0), 0u);
    user32::HWND client = 77;
    EXPECT_EQ(ClsHTMLDocument().GetHTMLDocument(0, client), nullptr);
    EXPECT_EQ(client, 0u);
}

// The command line of a started browser, once its wrapper script ran exec.
std::string CommandLineOf(std::uint32_t pid) {
    return test_support::WaitForWholeFile("/proc/" + std::to_string(pid) + "/cmdline", 10s, [](const std::string& bytes) {
               return bytes.find("--headless") != std::string::npos;
           }).value_or("");
}

// One real headless Chromium after another: windows, document, and the close request.
// Nobody but this program may drive them: one on the blank page has its DevTools controls on
// a pipe, one on a page file has none; neither listens on a port every local user could reach.
TEST_F(LaunchBrowserTest, RealBrowserGivesFrameDocumentAndClosesForTheNext) {
    SKIP_WITHOUT_CHROMIUM();
    UseBrowserCommand(folder_.HeadlessChromium());
    const std::uint32_t first = mdlHTMLDocument::LaunchBrowser("", messages_);
    EXPECT_EQ(CommandLineOf(first).find("--remote-debugging-port"), std::string::npos);
    const user32::HWND frame = mdlHTMLDocument::FindBrowserWindow(first);
    ASSERT_NE(frame, 0u);
    EXPECT_EQ(mdlHTMLDocument::BrowserFrameWnd, frame);
    // Ready for input means the blank page's document is there (not the initial empty page,
    // nor a page still loading): asked once, without waiting.
    const auto state = lumivert::testing::EvaluateInPage(frame, "document.readyState + ' ' + location.protocol",
                                                         nullptr, 0ms);
    EXPECT_EQ(state.value_or("").toString().toStdString(), "complete file:");
    std::array<char, 256> name{};
    EXPECT_EQ(user32::GetClassNameA(frame, name.data(), 256), 7);
    EXPECT_STREQ(name.data(), "IEFrame");
    EXPECT_EQ(user32::GetClassNameA(frame, name.data(), 4), 3);
    EXPECT_STREQ(name.data(), "IEF");

    const user32::HWND page = mdlHTMLDocument::FindServerWindow(frame);
    EXPECT_EQ(user32::GetClassNameA(page, name.data(), 256), 24);
    EXPECT_STREQ(name.data(), "Internet Explorer_Server");
    user32::DWORD owner = 0;
    user32::GetWindowThreadProcessId(page, &owner);
    EXPECT_EQ(owner, first);

    user32::HWND client = 0;
    const std::shared_ptr<oleacc::DispatchObject> document = ClsHTMLDocument().GetHTMLDocument(frame, client);
    ASSERT_NE(document, nullptr) << "the first try finds the document";
    EXPECT_EQ(client, page);
    document->SetProperty("Title", "タイトル \"&'</script>");
    EXPECT_THROW(document->SetProperty("NoSuchMember", "x"), ui::RaisedError);
    EXPECT_THROW(document->GetObject("Head"), ui::RaisedError);
    EXPECT_EQ(lumivert::testing::EvaluateInPage(frame, "document.title").value_or("").toString().toStdString(),
              "タイトル \"&'</script>");

    const std::uint32_t second = mdlHTMLDocument::LaunchBrowser("", messages_);
    EXPECT_FALSE(os::IsProcessRunning(static_cast<pid_t>(first))) << "closed before the next started";
    EXPECT_EQ(mdlHTMLDocument::BrowserFrameWnd, 0u) << "the handled close request clears the frame";
    EXPECT_TRUE(os::IsProcessRunning(static_cast<pid_t>(second)));
    EXPECT_EQ(user32::GetClassNameA(frame, name.data(), 256), 0) << "the closed frame is gone";
    EXPECT_NE(mdlHTMLDocument::FindBrowserWindow(second), 0u);

    test_support::WriteBytes(folder_.path() / "page.html", "<html><body>page</body></html>");
    const std::string onFile = CommandLineOf(mdlHTMLDocument::LaunchBrowser(folder_.path() / "page.html", messages_));
    EXPECT_NE(onFile.find("page.html"), std::string::npos);
    EXPECT_EQ(onFile.find("--remote-debugging-port"), std::string::npos);
    EXPECT_TRUE(messages_.shown.empty());
}

// A page whose script never ends: the first look for its document waits the send's full
// time-out; the second, to a window now known to be hung, returns at once.
TEST_F(LaunchBrowserTest, HungPageAnswersAtOnceOnceKnownHung) {
    SKIP_WITHOUT_CHROMIUM();
    UseBrowserCommand(folder_.HeadlessChromium());
    const user32::HWND frame = mdlHTMLDocument::FindBrowserWindow(mdlHTMLDocument::LaunchBrowser("", messages_));
    ASSERT_NE(frame, 0u);
    chromium::DevToolsConnection page(
        QString::fromStdString(user32::DevToolsEndpointOf(mdlHTMLDocument::FindServerWindow(frame))));
    ASSERT_TRUE(page.Evaluate("1", 10s));
    EXPECT_FALSE(page.Evaluate("for (;;) {}", 500ms)) << "hung for certain before the first look";

    ClsHTMLDocument documents;
    user32::HWND client = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(documents.GetHTMLDocument(frame, client), nullptr);
    const auto first = std::chrono::steady_clock::now() - start;
    EXPECT_NE(client, 0u) << "the browser itself still answers: its page window is found";
    EXPECT_EQ(documents.GetHTMLDocument(frame, client), nullptr);
    const auto second = std::chrono::steady_clock::now() - start - first;
    // The program counts its 1000 ms in whole ticks, which may end a little before this
    // clock's: the bound only tells waiting from answering.
    EXPECT_GE(first, 900ms) << "the first try waits for the page";
    EXPECT_LT(second, first / 2) << "a window known to be hung answers at once";
    EXPECT_TRUE(messages_.shown.empty());
}

} // namespace
