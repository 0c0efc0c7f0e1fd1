// The browsers' profile folders, and the DevTools connection against an endpoint in this process.

#include "chromium/browser_process.h"
#include "chromium/browser_profile.h"
#include "chromium/devtools_connection.h"
#include "tests/browser/scoped_environment.h"
#include "tests/support/scratch_folder.h"

#include <QJsonDocument>
#include <QWebSocket>
#include <QWebSocketServer>

#include <gtest/gtest.h>

#include <functional>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using chromium::DevToolsConnection;

class BrowserProfile : public ::testing::Test {
protected:
    void SetUp() override { environment_.Set("TMPDIR", scratch_.path().c_str()); }

    const test_support::ScratchFolder scratch_;
    const fs::path parent_ = scratch_ / ("lumivert-browser-" + std::to_string(::geteuid()));
    lumivert::testing::ScopedEnvironment environment_;
};

TEST_F(BrowserProfile, ProfilesArePrivateHoldTheBlankPageAndAreRemovedOnceTheirBrowserEnded) {
    const auto ended = chromium::MakeProfileFolder();
    const auto running = chromium::MakeProfileFolder();
    const auto young = chromium::MakeProfileFolder();
    ASSERT_TRUE(ended && running && young);
    EXPECT_EQ(fs::path(*ended).parent_path(), parent_);
    EXPECT_EQ(fs::status(parent_).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_TRUE(fs::is_regular_file(chromium::BlankPagePath(*ended)));
    EXPECT_NE(ended, running) << "one folder per browser";
    chromium::RecordProfileOwner(*ended, 0x7FFFFFF0); // no such process
    chromium::RecordProfileOwner(*running, ::getpid());
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
    fs::last_write_time(*ended, old);
    fs::last_write_time(*running, old);
    ASSERT_TRUE(chromium::MakeProfileFolder());
    EXPECT_EQ(std::tuple(fs::exists(*ended), fs::exists(*running), fs::exists(*young)), std::tuple(false, true, true))
        << "removed: only the profile of an ended browser, not one where a browser may still be starting";
}

TEST_F(BrowserProfile, FolderOthersCouldControlIsRefused) {
    fs::create_directory(parent_);
    for (const auto mode : {fs::perms::owner_all | fs::perms::group_write, fs::perms::owner_all | fs::perms::others_write}) {
        fs::permissions(parent_, mode);
        EXPECT_FALSE(chromium::MakeProfileFolder()) << "writable by others: " << int(mode);
    }
    fs::remove(parent_);
    fs::create_directory_symlink(scratch_.path(), parent_);
    EXPECT_FALSE(chromium::MakeProfileFolder()) << "a symbolic link";
}

// A DevTools endpoint that answers every command through a function.
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

QString Reply(const QJsonObject& command, QJsonObject fields) {
    fields.insert("id", command.value("id"));
    return QString::fromUtf8(QJsonDocument(fields).toJson(QJsonDocument::Compact));
}

// Runtime.evaluate of "ok" gives 7 and of anything else an exception, each after an event.
TEST(DevToolsConnection, AnswerToTheCommandGivesItsResultPastEventsAndThrownScriptsFail) {
    FakeEndpoint endpoint([](QWebSocket& socket, const QJsonObject& command) {
        socket.sendTextMessage(R"({"method":"Target.targetCreated","params":{}})");
        const bool ok = command.value("method") == "Runtime.evaluate" &&
                        command.value("params").toObject().value("expression").toString() == "ok";
        const QJsonObject evaluated = ok ? QJsonObject{{"result", QJsonObject{{"value", 7}}}}
                                         : QJsonObject{{"result", QJsonObject{}}, {"exceptionDetails", QJsonObject{}}};
        socket.sendTextMessage(Reply(command, {{"result", evaluated}}));
    });
    DevToolsConnection connection(endpoint.url());
    EXPECT_EQ(connection.Evaluate("ok", 2s).value_or(QJsonValue()).toInt(), 7);
    EXPECT_FALSE(connection.Evaluate("throw 1", 2s));
    EXPECT_EQ(connection.Evaluate("ok", 2s).value_or(QJsonValue()).toInt(), 7) << "the connection serves several commands";
}

// A page's id goes into its DevTools address: letters, digits and '-' only.
TEST(DevToolsConnection, TargetIdsArePlainLettersDigitsAndDashes) {
    EXPECT_TRUE(chromium::IsTargetId("A1b-2"));
    for (const char* id : {"", "../browser", "a.b", "a/b", "a b", "ü"})
        EXPECT_FALSE(chromium::IsTargetId(QString::fromUtf8(id))) << id;
}

TEST(DevToolsConnection, ScriptLiteralQuotesAndEscapesTheText) {
    EXPECT_EQ(chromium::ScriptLiteral("plain"), "\"plain\"");
    EXPECT_EQ(chromium::ScriptLiteral("a\"b\\c\n</script>"), "\"a\\\"b\\\\c\\n</script>\"");
    EXPECT_EQ(chromium::ScriptLiteral("画像確認"), "\"画像確認\"");
}

} // namespace
