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

TEST(DevToolsConnectionTest, AnswerToTheCommandGivesItsResultPastEvents) {
    FakeEndpoint endpoint([](QWebSocket& socket, const QJsonObject& command) {
        socket.sendTextMessage(R"({"method":"Target.targetCreated","params":{}})");
        socket.sendTextMessage(Reply(command, {{"result", QJsonObject{{"echo", command.value("method")}}}}));
    });
    DevToolsConnection connection(endpoint.url());
    const auto first = connection.Call("Browser.getVersion", {}, 2s);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->value("echo").toString(), "Browser.getVersion");
    const auto second = connection.Call("Target.getTargets", {}, 2s);
    ASSERT_TRUE(second) << "the connection serves several commands";
    EXPECT_EQ(second->value("echo").toString(), "Target.getTargets");
}

TEST(DevToolsConnectionTest, GarbageAnswersFailWithinTheLimit) {
    const std::vector<std::pair<const char*, FakeEndpoint::Answer>> endpoints{
        {"not JSON", [](QWebSocket& s, const QJsonObject&) { s.sendTextMessage("<html>not devtools</html>"); }},
        {"truncated JSON", [](QWebSocket& s, const QJsonObject&) { s.sendTextMessage(R"({"id":1,"result":{)"); }},
        {"an array", [](QWebSocket& s, const QJsonObject&) { s.sendTextMessage("[1,2,3]"); }},
        {"binary", [](QWebSocket& s, const QJsonObject&) { s.sendBinaryMessage(QByteArray(10, '\0')); }},
        {"an error", [](QWebSocket& s, const QJsonObject& c) {
             s.sendTextMessage(Reply(c, {{"error", QJsonObject{{"code", -32601}}}}));
         }},
        {"a result that is no object", [](QWebSocket& s, const QJsonObject& c) {
             s.sendTextMessage(Reply(c, {{"result", 42}}));
         }},
        {"another command's answer", [](QWebSocket& s, const QJsonObject&) {
             s.sendTextMessage(R"({"id":999,"result":{}})");
         }},
        {"a string id", [](QWebSocket& s, const QJsonObject&) { s.sendTextMessage(R"({"id":"1","result":{}})"); }},
        {"silence", [](QWebSocket&, const QJsonObject&) {}},
        {"a closed connection", [](QWebSocket& s, const QJsonObject&) { s.close(); }},
    };
    for (const auto& [what, answer] : endpoints) {
        FakeEndpoint endpoint(answer);
        DevToolsConnection connection(endpoint.url());
        const auto before = std::chrono::steady_clock::now();
        EXPECT_FALSE(connection.Call("Target.getTargets", {}, 500ms)) << what;
        EXPECT_LT(std::chrono::steady_clock::now() - before, 20s) << what << ": the limit was not kept";
    }
}

TEST(DevToolsConnectionTest, EvaluateFailsWhenTheScriptThrows) {
    FakeEndpoint endpoint([](QWebSocket& socket, const QJsonObject& command) {
        const QString expression = command.value("params").toObject().value("expression").toString();
        if (expression == "ok")
            socket.sendTextMessage(Reply(command, {{"result", QJsonObject{{"result", QJsonObject{{"value", 7}}}}}}));
        else
            socket.sendTextMessage(Reply(command, {{"result", QJsonObject{{"result", QJsonObject{}},
                                                                          {"exceptionDetails", QJsonObject{}}}}}));
    });
    DevToolsConnection connection(endpoint.url());
    EXPECT_EQ(connection.Evaluate("ok", 2s)->toInt(), 7);
    EXPECT_FALSE(connection.Evaluate("throw 1", 2s));
}

TEST(DevToolsConnectionTest, UnreachableEndpointFails) {
    QWebSocketServer closed("closed", QWebSocketServer::NonSecureMode);
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close(); // nothing listens there now
    DevToolsConnection connection(QString("ws://127.0.0.1:%1/devtools/browser/x").arg(port));
    EXPECT_FALSE(connection.Connect(2s));
    EXPECT_FALSE(connection.Call("Browser.getVersion", {}, 2s));
    EXPECT_FALSE(DevToolsConnection("not a url").Call("Browser.getVersion", {}, 500ms));
}

TEST(ScriptLiteralTest, QuotesAndEscapesTheText) {
    EXPECT_EQ(chromium::ScriptLiteral("plain"), "\"plain\"");
    EXPECT_EQ(chromium::ScriptLiteral("a\"b\\c\n</script>"), "\"a\\\"b\\\\c\\n</script>\"");
    EXPECT_EQ(chromium::ScriptLiteral("画像確認"), "\"画像確認\"");
}

} // namespace
