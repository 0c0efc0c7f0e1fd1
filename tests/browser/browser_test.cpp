#include "app/mdl_common.h"
#include "app/result_page.h"
#include "browser/cls_html_document.h"
#include "browser/mdl_html_document.h"
#include "browser/mdl_registry.h"
#include "chromium/browser_process.h"
#include "chromium/devtools_connection.h"
#include "os/program_start.h"
#include "report/raised_error.h"
#include "tests/app/recording_message_boxes.h"
#include "tests/browser/browser_test_support.h"
#include "win32/advapi32/registry_store.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

namespace {

using lumivert::testing::EndAllBrowsers;
using lumivert::testing::UseBrowserCommand;
using namespace std::chrono_literals;
using namespace std::string_literals;

TEST(ReadRegistryString, TextsAndNumbersAsTheCallerGetsThem) {
    using advapi32::HKEY_LOCAL_MACHINE;
    constexpr const char* kKey = "SOFTWARE\\Lumivert\\Values";
    const auto read = [](const char* key, const char* name, bool textMode) {
        std::string value = "unchanged";
        const bool found = mdlRegistry::ReadRegistryString(HKEY_LOCAL_MACHINE, key, name, textMode, value);
        return (found ? "read " : "failed, ") + value;
    };
    advapi32::ClearStore();
    advapi32::SetStringValue(HKEY_LOCAL_MACHINE, kKey, "", "/usr/bin/chromium");
    advapi32::SetStringValue(HKEY_LOCAL_MACHINE, kKey, "a255", std::string(255, 'x'));
    advapi32::SetStringValue(HKEY_LOCAL_MACHINE, kKey, "a256", std::string(256, 'y'));
    advapi32::SetDwordValue(HKEY_LOCAL_MACHINE, kKey, "all", 4294967295u);
    EXPECT_EQ(read(kKey, "", true), "read /usr/bin/chromium"); // no name: the default value
    EXPECT_EQ(read("software\\LUMIVERT\\values", "", true), "read /usr/bin/chromium"); // key names without case
    advapi32::HKEY key = 0; // a prefix of a key's name is no key
    EXPECT_EQ(advapi32::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Lumi", 0, advapi32::KEY_READ, &key),
              advapi32::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(read(kKey, "a255", true), "read " + std::string(255, 'x'));
    EXPECT_EQ(read(kKey, "a256", true), "failed, unchanged"); // too long for 256 bytes with its NUL
    EXPECT_EQ(read(kKey, "all", false), "read -1");           // numbers are signed
    EXPECT_EQ(read(kKey, "missing", true), "failed, unchanged");
    EXPECT_EQ(read("SOFTWARE\\Nothing", "", true), "failed, unchanged");
    EXPECT_EQ(mdlRegistry::TrimAtNull("\0abc"s), "");
    advapi32::ResetStoreToSystem();
}

#define SKIP_WITHOUT_CHROMIUM()                                                                                   \
    if (!std::filesystem::exists("/usr/bin/chromium"))                                                             \
    GTEST_SKIP() << "needs Chromium at /usr/bin/chromium"

// Chromium's stand-in on its DevTools pipe: a ready browser with one loaded page that notes
// every property set. "die": killed at the first property; "late": the page still loads at
// the program's first look for its document; "stubborn": ignores the close request, the end of
// its pipe and SIGTERM.
constexpr const char* kStandIn = R"(
import json, os, signal, sys
mode, mark, received, looks = sys.argv[1], sys.argv[2], b"", 0
if mode == "stubborn":
    signal.signal(signal.SIGTERM, signal.SIG_IGN)
while chunk := os.read(3, 65536):
    received += chunk
    while b"\0" in received:
        raw, received = received.split(b"\0", 1)
        command = json.loads(raw)
        expression = command.get("params", {}).get("expression", "")
        result = {"result": {"type": "boolean", "value": True}}
        if command.get("method") == "Target.getTargets":
            result = {"targetInfos": [{"type": "page", "targetId": "PAGE-1", "url": "file:///blank.html"}]}
        elif command.get("method") == "Target.attachToTarget":
            result = {"sessionId": "SESSION-1"}
        elif expression.startswith("document.readyState"):
            looks += 1
            result["result"]["value"] = mode != "late" or looks != 2
        elif expression.startswith("("):
            with open(mark, "a") as file:
                file.write(expression + "\n")
            if mode == "die":
                os.kill(os.getpid(), signal.SIGKILL)
        os.write(4, json.dumps({"id": command["id"], "result": result}).encode() + b"\0")
while mode == "stubborn":
    signal.pause()
)";

class LaunchBrowserTest : public ::testing::Test {
protected:
    void TearDown() override {
        mdlHTMLDocument::SetReadyWaitLimit(15s);
        UseBrowserCommand("");
    }
    void UseStandIn(const std::string& mode) {
        test_support::WriteBytes(folder_.path() / "stand-in.py", kStandIn);
        const std::string script = (folder_.path() / "stand-in.py").string();
        UseBrowserCommand(
            folder_.WriteScript("chromium-stand-in", "exec python3 '" + script + "' " + mode + " '" + mark_ + "'"));
    }
    void ShowResult() {
        lumivert::ShowResult(mdlCommon::GetAppFolder() + "BrowserFaultsPicture.bmp", "ファイル種類：BMP　保存色数：256色",
                             {0, 0}, "White", false, messages_);
    }

    lumivert::testing::BrowserTestFolder folder_;
    const std::string mark_ = (folder_.path() / "properties").string();
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
    EXPECT_EQ(mdlHTMLDocument::FindBrowserWindow(0), 0u) << "no browser started: an earlier frame is not taken";

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
        } catch (const report::RaisedError& error) {
            EXPECT_NE(error.description().find(folder_.path() / name), std::string::npos) << error.description();
        }
    }

    UseBrowserCommand("");
    EXPECT_EQ(mdlHTMLDocument::LaunchBrowser("", messages_), 0u);
    ASSERT_EQ(messages_.shown.size(), 1u);
    const auto& shown = messages_.shown[0];
    EXPECT_EQ(std::tie(shown.text, shown.title, shown.buttons, shown.icon),
              std::make_tuple(std::string("インターネットエクスプローラが無いよ!!"), std::string("ん？"),
                              report::MessageButtons::Ok, report::MessageIcon::Information));
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

// The command line of a started browser, once its wrapper script ran exec.
std::string CommandLineOf(std::uint32_t pid) {
    return test_support::WaitForWholeFile("/proc/" + std::to_string(pid) + "/cmdline", 10s, [](const std::string& bytes) {
               return bytes.find("--headless") != std::string::npos;
           }).value_or("");
}

// One real headless Chromium after another: windows, document, the close request; neither
// the one on the blank page (driven by pipe) nor the one on a file listens on a port.
TEST_F(LaunchBrowserTest, RealBrowserGivesFrameDocumentClosesForTheNextAndTellsAHungPage) {
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
    const auto className = [](user32::HWND window) {
        std::array<char, 256> name{};
        return std::to_string(user32::GetClassNameA(window, name.data(), 256)) + " " + name.data();
    };
    EXPECT_EQ(className(frame), "7 IEFrame");
    const user32::HWND page = mdlHTMLDocument::FindServerWindow(frame);
    EXPECT_EQ(className(page), "24 Internet Explorer_Server");

    user32::HWND client = 0;
    const std::shared_ptr<oleacc::DispatchObject> document = ClsHTMLDocument().GetHTMLDocument(frame, client);
    ASSERT_NE(document, nullptr) << "the first try finds the document";
    EXPECT_EQ(client, page);
    document->SetProperty("Title", "タイトル \"&'</script>");
    EXPECT_EQ(lumivert::testing::EvaluateInPage(frame, "document.title").value_or("").toString().toStdString(),
              "タイトル \"&'</script>");

    const std::uint32_t second = mdlHTMLDocument::LaunchBrowser("", messages_);
    EXPECT_FALSE(os::IsProcessRunning(static_cast<pid_t>(first))) << "closed before the next started";
    EXPECT_EQ(mdlHTMLDocument::BrowserFrameWnd, 0u) << "the handled close request clears the frame";
    EXPECT_TRUE(os::IsProcessRunning(static_cast<pid_t>(second)));
    EXPECT_EQ(className(frame), "0 ") << "the closed frame is gone";
    const user32::HWND hung = mdlHTMLDocument::FindBrowserWindow(second);
    ASSERT_NE(hung, 0u);

    // A page whose script never ends: the first look for its document waits the send's full
    // time-out; the second, to a window now known to be hung, returns at once.
    chromium::DevToolsConnection stuck(
        QString::fromStdString(user32::DevToolsEndpointOf(mdlHTMLDocument::FindServerWindow(hung))));
    ASSERT_TRUE(stuck.Evaluate("1", 10s));
    EXPECT_FALSE(stuck.Evaluate("for (;;) {}", 500ms)) << "hung for certain before the first look";
    ClsHTMLDocument documents;
    client = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(documents.GetHTMLDocument(hung, client), nullptr);
    const auto firstLook = std::chrono::steady_clock::now() - start;
    EXPECT_NE(client, 0u) << "the browser itself still answers: its page window is found";
    EXPECT_EQ(documents.GetHTMLDocument(hung, client), nullptr);
    const auto secondLook = std::chrono::steady_clock::now() - start - firstLook;
    // The program counts its 1000 ms in whole ticks, which may end before this clock's.
    EXPECT_GE(firstLook, 900ms) << "the first try waits for the page";
    EXPECT_LT(secondLook, firstLook / 2) << "a window known to be hung answers at once";

    test_support::WriteBytes(folder_.path() / "page.html", "<html><body>page</body></html>");
    const std::string onFile = CommandLineOf(mdlHTMLDocument::LaunchBrowser(folder_.path() / "page.html", messages_));
    EXPECT_NE(onFile.find("page.html"), std::string::npos);
    EXPECT_EQ(onFile.find("--remote-debugging-port"), std::string::npos);
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(LaunchBrowserTest, ABrowserThatDiesWhileThePageIsFilledEndsTheFillWithAnError) {
    UseStandIn("die");
    mdlHTMLDocument::SetReadyWaitLimit(5s);
    const auto before = std::chrono::steady_clock::now();
    try {
        ShowResult();
        ADD_FAILURE() << "the fill of a dead browser's page went through";
    } catch (const report::RaisedError& error) {
        EXPECT_NE(error.description().find("オートメーション エラーです。"), std::string::npos) << error.description();
    }
    EXPECT_TRUE(std::filesystem::exists(mark_)) << "the fill never reached the page";
    EXPECT_LT(std::chrono::steady_clock::now() - before, 20s) << "no wait beyond the bounded ones";
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(LaunchBrowserTest, ABrowserThatIgnoresTheCloseRequestIsEndedBeforeTheNextPageOpens) {
    UseStandIn("stubborn");
    ShowResult();
    const std::vector<pid_t> first = chromium::RunningBrowsers();
    ASSERT_EQ(first.size(), 1u);
    ShowResult();
    EXPECT_FALSE(os::IsProcessRunning(first[0])) << "still running after the next page opened";
    EXPECT_EQ(chromium::RunningBrowsers().size(), 1u);
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(LaunchBrowserTest, ADocumentStillLoadingAtTheFirstLookIsFilledAfterTheSecondWait) {
    UseStandIn("late");
    ShowResult();
    EXPECT_TRUE(messages_.shown.empty()) << messages_.shown.front().text;
    EXPECT_NE(test_support::ReadBytes(mark_).find("document.body.innerHTML"), std::string::npos) << "the body was filled";
}

} // namespace
