// The result page filled into a browser that misbehaves: a stand-in that answers on its
// DevTools pipe as a ready Chromium with one loaded page.

#include "app/mdl_common.h"
#include "app/result_page.h"
#include "browser/mdl_html_document.h"
#include "ui/raised_error.h"
#include "tests/app/recording_message_boxes.h"
#include "tests/browser/browser_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace std::chrono_literals;

// Commands come on descriptor 3, answers go to 4, each a JSON object ended by NUL. Every
// property set is appended to the mark file. Mode "die": the browser kills itself at the
// first property, which also cuts the pipe. Mode "late": the page is still loading when the
// program first looks for its document (the look after the readiness check).
constexpr const char* kStandIn = R"(
import json, os, signal, sys
mode, mark, received, looks = sys.argv[1], sys.argv[2], b"", 0
while True:
    chunk = os.read(3, 65536)
    if not chunk:
        break
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
            result = {"result": {"type": "boolean", "value": mode != "late" or looks != 2}}
        elif expression.startswith("("):
            with open(mark, "a") as file:
                file.write(expression + "\n")
            if mode == "die":
                os.kill(os.getpid(), signal.SIGKILL)
        os.write(4, json.dumps({"id": command["id"], "result": result}).encode() + b"\0")
)";

class BrowserFaults : public ::testing::Test {
protected:
    void UseStandIn(const std::string& mode) {
        test_support::WriteBytes(folder_.path() / "stand-in.py", kStandIn);
        lumivert::testing::UseBrowserCommand(folder_.WriteScript(
            "chromium-stand-in", "exec python3 '" + (folder_.path() / "stand-in.py").string() + "' " + mode + " '" +
                                     mark_ + "'"));
    }
    void Show() {
        lumivert::ShowResult(mdlCommon::GetAppFolder() + "BrowserFaultsPicture.bmp", "ファイル種類：BMP　保存色数：256色",
                             {0, 0}, "White", false, messages_);
    }
    void TearDown() override { lumivert::testing::UseBrowserCommand(""); }

    lumivert::testing::BrowserTestFolder folder_;
    const std::string mark_ = (folder_.path() / "properties").string();
    lumivert::testing::RecordingMessageBoxes messages_;
};

TEST_F(BrowserFaults, ABrowserThatDiesWhileThePageIsFilledEndsTheFillWithAnError) {
    UseStandIn("die");
    mdlHTMLDocument::SetReadyWaitLimit(5s);
    const auto before = std::chrono::steady_clock::now();
    try {
        Show();
        ADD_FAILURE() << "the fill of a dead browser's page went through";
    } catch (const ui::RaisedError& error) {
        EXPECT_NE(error.description().find("オートメーション エラーです。"), std::string::npos) << error.description();
    }
    mdlHTMLDocument::SetReadyWaitLimit(15s);
    EXPECT_TRUE(std::filesystem::exists(mark_)) << "the fill never reached the page";
    EXPECT_LT(std::chrono::steady_clock::now() - before, 20s) << "no wait beyond the bounded ones";
    EXPECT_TRUE(messages_.shown.empty());

    // The next display finds no browser to close and reports the missing browser as usual.
    lumivert::testing::UseBrowserCommand("");
    Show();
    EXPECT_EQ(messages_.shown.size(), 2u) << "no browser, then no document";
}

TEST_F(BrowserFaults, ADocumentStillLoadingAtTheFirstLookIsFilledAfterTheSecondWait) {
    UseStandIn("late");
    Show();
    EXPECT_TRUE(messages_.shown.empty()) << messages_.shown.front().text;
    EXPECT_NE(test_support::ReadBytes(mark_).find("document.body.innerHTML"), std::string::npos) << "the body was filled";
}

} // namespace
