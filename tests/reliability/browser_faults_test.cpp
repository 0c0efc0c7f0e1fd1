// A browser that dies while the result page fills its document. The browser is a stand-in
// process with a DevTools endpoint of this test: it answers as a ready Chromium with one
// loaded page, and at the first property the page is given, the process is killed and every
// connection cut. The fill must end with the document's error within its bounded waits,
// and the next display must still work.

#include "app/mdl_common.h"
#include "app/result_page.h"
#include "browser/mdl_html_document.h"
#include "ui/raised_error.h"
#include "tests/app/recording_message_boxes.h"
#include "tests/browser/browser_test_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QWebSocket>
#include <QWebSocketServer>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A DevTools endpoint on 127.0.0.1 that plays a ready browser until the page's first
// property is set, then ends the browser process (whose id it reads from pidFile).
class DyingBrowserEndpoint {
public:
    explicit DyingBrowserEndpoint(fs::path pidFile)
        : pidFile_(std::move(pidFile)), server_("dying", QWebSocketServer::NonSecureMode) {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QWebSocketServer::newConnection, [this] { Accept(); });
    }

    quint16 port() const { return server_.serverPort(); }
    bool died() const { return died_; }

private:
    void Accept() {
        QWebSocket* socket = server_.nextPendingConnection();
        socket->setParent(&server_);
        sockets_.push_back(socket);
        QObject::connect(socket, &QWebSocket::textMessageReceived, socket,
                         [this, socket](const QString& text) { Answer(socket, text); });
    }

    void Answer(QWebSocket* socket, const QString& text) {
        const QJsonObject command = QJsonDocument::fromJson(text.toUtf8()).object();
        const QString method = command.value("method").toString();
        const QString expression = command.value("params").toObject().value("expression").toString();
        QJsonObject result;
        if (method == "Target.getTargets") {
            result = QJsonObject{{"targetInfos", QJsonArray{QJsonObject{
                                     {"type", "page"}, {"targetId", "PAGE-1"}, {"url", "file:///blank.html"}}}}};
        } else if (method == "Runtime.evaluate" && expression.startsWith("(")) {
            Die(); // the page is being filled
            return;
        } else {
            result = QJsonObject{{"result", QJsonObject{{"type", "boolean"}, {"value", true}}}};
        }
        const QJsonObject answer{{"id", command.value("id")}, {"result", result}};
        socket->sendTextMessage(QString::fromUtf8(QJsonDocument(answer).toJson(QJsonDocument::Compact)));
    }

    void Die() {
        std::ifstream in(pidFile_);
        pid_t pid = 0;
        if (in >> pid && pid > 0)
            ::kill(pid, SIGKILL);
        for (QWebSocket* socket : sockets_)
            socket->abort();
        server_.close();
        died_ = true;
    }

    fs::path pidFile_;
    QWebSocketServer server_;
    std::vector<QWebSocket*> sockets_;
    bool died_ = false;
};

TEST(BrowserFaults, ABrowserThatDiesWhileThePageIsFilledEndsTheFillWithAnError) {
    lumivert::testing::BrowserTestFolder folder;
    const fs::path pidFile = folder.path() / "browser.pid";
    DyingBrowserEndpoint endpoint(pidFile);
    ASSERT_NE(endpoint.port(), 0);
    lumivert::testing::UseBrowserCommand(folder.WriteScript(
        "chromium-dying", "echo $$ > '" + pidFile.string() + "'\n"
                          "for a in \"$@\"; do case \"$a\" in --user-data-dir=*) d=\"${a#*=}\";; esac; done\n"
                          "printf '" + std::to_string(endpoint.port()) + "\\n/devtools/browser/ab-12\\n' > "
                          "\"$d/DevToolsActivePort\"\nexec sleep 60"));
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
    EXPECT_TRUE(endpoint.died()) << "the fill never reached the page";
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
