#include "chromium/devtools_connection.h"

#include <QJsonDocument>
#include <QWebSocket>
#include <QWebSocketServer>

#include <gtest/gtest.h>

#include <functional>

namespace {

using chromium::DevToolsConnection;
using namespace std::chrono_literals;

// A DevTools endpoint in this process that answers every command through a function.
class FakeEndpoint {
public:
    using Answer = std::function<void(QWebSocket&, const QJsonObject& command)>;

    explicit FakeEndpoint(Answer answer) : server_("fake", QWebSocketServer::NonSecureMode), answer_(std::move(answer)) {
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost));
        QObject::connect(&server_, &QWebSocketServer::newConnection, [this] {
            QWebSocket* socket = server_.nextPendingConnection();
            socket->setParent(&server_); // the caller owns it: it goes with the server
            QObject::connect(socket, &QWebSocket::textMessageReceived, socket, [this, socket](const QString& text) {
                answer_(*socket, QJsonDocument::fromJson(text.toUtf8()).object());
            });
        });
    }

    QString url() const { return QString("ws://127.0.0.1:%1/devtools/browser/fake").arg(server_.serverPort()); }

private:
    QWebSocketServer server_;
    Answer answer_;
};

QString Reply(const QJsonObject& command, const QJsonObject& fields) {
    QJsonObject reply = fields;
    reply.insert("id", command.value("id"));
    return QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact));
}

// Runtime.evaluate of "ok" gives 7, of anything else an exception; other commands echo.
TEST(DevToolsConnection, AnswerToTheCommandGivesItsResultPastEventsAndThrownScriptsFail) {
    FakeEndpoint endpoint([](QWebSocket& socket, const QJsonObject& command) {
        socket.sendTextMessage(R"({"method":"Target.targetCreated","params":{}})");
        const QString method = command.value("method").toString();
        const bool ok = command.value("params").toObject().value("expression").toString() == "ok";
        const QJsonObject evaluated = ok ? QJsonObject{{"result", QJsonObject{{"value", 7}}}}
                                         : QJsonObject{{"result", QJsonObject{}}, {"exceptionDetails", QJsonObject{}}};
        const QJsonObject echo{{"echo", method}};
        socket.sendTextMessage(Reply(command, {{"result", method == "Runtime.evaluate" ? evaluated : echo}}));
    });
    DevToolsConnection connection(endpoint.url());
    EXPECT_EQ(connection.Call("Browser.getVersion", {}, 2s).value_or(QJsonObject{}).value("echo"), "Browser.getVersion");
    EXPECT_EQ(connection.Call("Target.getTargets", {}, 2s).value_or(QJsonObject{}).value("echo"), "Target.getTargets")
        << "the connection serves several commands";
    EXPECT_EQ(connection.Evaluate("ok", 2s).value_or(QJsonValue()).toInt(), 7);
    EXPECT_FALSE(connection.Evaluate("throw 1", 2s));
}

// An answer with an error fails even when it carries a result too.
TEST(DevToolsConnection, GarbageAnswersFailWithinTheLimit) {
    const auto text = [](const char* message) {
        return [message](QWebSocket& s, const QJsonObject&) { s.sendTextMessage(message); };
    };
    const std::vector<FakeEndpoint::Answer> answers{
        text("<html>not devtools</html>"), text(R"({"id":1,"result":{)"), text("[1,2,3]"),
        text(R"({"id":999,"result":{}})"), text(R"({"id":"1","result":{}})"),
        [](QWebSocket& s, const QJsonObject&) { s.sendBinaryMessage(QByteArray(10, '\0')); },
        [](QWebSocket& s, const QJsonObject& c) { s.sendTextMessage(Reply(c, {{"error", 1}, {"result", QJsonObject{}}})); },
        [](QWebSocket& s, const QJsonObject& c) { s.sendTextMessage(Reply(c, {{"result", 42}})); },
        [](QWebSocket&, const QJsonObject&) {}, [](QWebSocket& s, const QJsonObject&) { s.close(); },
    };
    for (std::size_t what = 0; what < answers.size(); ++what) {
        FakeEndpoint endpoint(answers[what]);
        DevToolsConnection connection(endpoint.url());
        const auto before = std::chrono::steady_clock::now();
        EXPECT_FALSE(connection.Call("Target.getTargets", {}, 500ms)) << what;
        EXPECT_LT(std::chrono::steady_clock::now() - before, 20s) << what << ": the limit was not kept";
    }
}

TEST(DevToolsConnection, UnreachableEndpointFails) {
    QWebSocketServer closed("closed", QWebSocketServer::NonSecureMode);
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close(); // nothing listens there now
    DevToolsConnection connection(QString("ws://127.0.0.1:%1/devtools/browser/x").arg(port));
    EXPECT_FALSE(connection.Connect(2s));
    EXPECT_FALSE(connection.Call("Browser.getVersion", {}, 2s));
    EXPECT_FALSE(DevToolsConnection("not a url").Call("Browser.getVersion", {}, 500ms));
}

TEST(DevToolsConnection, ScriptLiteralQuotesAndEscapesTheText) {
    EXPECT_EQ(chromium::ScriptLiteral("plain"), "\"plain\"");
    EXPECT_EQ(chromium::ScriptLiteral("a\"b\\c\n</script>"), "\"a\\\"b\\\\c\\n</script>\"");
    EXPECT_EQ(chromium::ScriptLiteral("画像確認"), "\"画像確認\"");
}

} // namespace
