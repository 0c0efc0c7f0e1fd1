// A browser that dies while the result page fills its document. The browser is a stand-in
// process that answers on its DevTools pipe as a ready Chromium with one loaded page, and
// kills itself at the first property the page is given. The fill must end with the
// document's error within its bounded waits, and the next display must still work.

#include "app/mdl_common.h"
#include "app/result_page.h"
#include "browser/mdl_html_document.h"
#include "ui/raised_error.h"
#include "tests/app/recording_message_boxes.h"
#include "tests/browser/browser_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A stand-in Chromium that answers on its DevTools pipe (commands on descriptor 3, answers
// on 4, each a JSON object ended by NUL) as a ready browser with one loaded page, until the
// page's first property is set: then it leaves a mark and kills itself, which also cuts
// the pipe.
constexpr const char* kDyingBrowser = R"(
import json, os, signal, sys
mark, received = sys.argv[1], b""
while True:
    chunk = os.read(3, 65536)
    if not chunk:
        break
    received += chunk
    while b"\0" in received:
        raw, received = received.split(b"\0", 1)
        command = json.loads(raw)
        method = command.get("method")
        expression = command.get("params", {}).get("expression", "")
        if method == "Target.getTargets":
            result = {"targetInfos": [{"type": "page", "targetId": "PAGE-1", "url": "file:///blank.html"}]}
        elif method == "Target.attachToTarget":
            result = {"sessionId": "SESSION-1"}
        elif method == "Runtime.evaluate" and expression.startswith("("):
            open(mark, "w").close()
            os.kill(os.getpid(), signal.SIGKILL)
        else:
            result = {"result": {"type": "boolean", "value": True}}
        os.write(4, json.dumps({"id": command["id"], "result": result}).encode() + b"\0")
)";

TEST(BrowserFaults, ABrowserThatDiesWhileThePageIsFilledEndsTheFillWithAnError) {
    lumivert::testing::BrowserTestFolder folder;
    const fs::path script = folder.path() / "dying-browser.py";
    const fs::path mark = folder.path() / "died";
    std::ofstream(script) << kDyingBrowser;
    lumivert::testing::UseBrowserCommand(
        folder.WriteScript("chromium-dying", "exec python3 '" + script.string() + "' '" + mark.string() + "'"));
    mdlHTMLDocument::SetReadyWaitLimit(5s);
    const std::string picture = mdlCommon::GetAppFolder() + "BrowserFaultsPicture.bmp";
    lumivert::testing::RecordingMessageBoxes messages;

    const auto before = std::chrono::steady_clock::now();
    try {
        lumivert::ShowResult(picture, "ファイル種類：BMP　保存色数：256色", {0, 0}, "White", false, messages);
        ADD_FAILURE() << "the fill of a dead browser's page went through";
    } catch (const ui::RaisedError& error) {
        EXPECT_NE(error.description().find("オートメーション エラーです。"), std::string::npos) << error.description();
    }
    EXPECT_TRUE(fs::exists(mark)) << "the fill never reached the page";
    EXPECT_LT(std::chrono::steady_clock::now() - before, 20s) << "no wait beyond the bounded ones";
    EXPECT_TRUE(messages.shown.empty());

    // The next display finds no browser to close and reports the missing browser as usual.
    lumivert::testing::UseBrowserCommand("");
    messages.shown.clear();
    lumivert::ShowResult(picture, "ファイル種類：BMP　保存色数：256色", {0, 0}, "White", false, messages);
    EXPECT_EQ(messages.shown.size(), 2u) << "no browser, then no document";
    lumivert::testing::EndAllBrowsers();
    mdlHTMLDocument::SetReadyWaitLimit(15s);
}

} // namespace
