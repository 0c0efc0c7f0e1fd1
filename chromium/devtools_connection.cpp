#include "chromium/devtools_connection.h"

#include "chromium/devtools_pipe.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>

#include <cstring>

namespace chromium {

namespace {

// No DevTools answer the program asks for comes near this; a larger one is not an answer.
constexpr quint64 kLargestAnswer = 16 * 1024 * 1024;

} // namespace

DevToolsConnection::DevToolsConnection(QString webSocketUrl) : url_(std::move(webSocketUrl)) {}

DevToolsConnection::~DevToolsConnection() {
    if (pipe_ && !sessionId_.isEmpty())
        pipe_->Post("Target.detachFromTarget", {{"sessionId", sessionId_}}, {});
    if (socket_)
        socket_->abort();
}

template <typename Done>
bool DevToolsConnection::WaitFor(Done done, milliseconds limit) {
    if (done())
        return true;
    if (QCoreApplication::instance() == nullptr)
        return false; // no event loop to wait in
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(limit);
    // Re-check after every delivered event: the socket's signals quit the loop.
    QMetaObject::Connection c1 = QObject::connect(socket_.get(), &QWebSocket::textMessageReceived, &loop,
                                                  [&] { if (done()) loop.quit(); }, Qt::QueuedConnection);
    QMetaObject::Connection c2 = QObject::connect(socket_.get(), &QWebSocket::stateChanged, &loop,
                                                  [&] { if (done()) loop.quit(); }, Qt::QueuedConnection);
    if (!done())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    QObject::disconnect(c1);
    QObject::disconnect(c2);
    return done();
}

bool DevToolsConnection::ConnectPipe(milliseconds limit) {
    if (pipe_)
        return true;
    auto pipe = DevToolsPipe::Of(url_);
    if (!pipe)
        return false;
    const qsizetype page = url_.indexOf("/devtools/page/");
    if (page >= 0) {
        const QString targetId = url_.mid(page + static_cast<qsizetype>(std::strlen("/devtools/page/")));
        const auto attached =
            pipe->Call("Target.attachToTarget", {{"targetId", targetId}, {"flatten", true}}, {}, limit);
        if (!attached || attached->value("sessionId").toString().isEmpty())
            return false;
        sessionId_ = attached->value("sessionId").toString();
    }
    pipe_ = std::move(pipe);
    return true;
}

bool DevToolsConnection::Connect(milliseconds limit) {
    if (broken_)
        return false;
    if (IsPipeEndpoint(url_))
        return ConnectPipe(limit);
    if (socket_ && socket_->state() == QAbstractSocket::ConnectedState)
        return true;
    if (QCoreApplication::instance() == nullptr)
        return false;
    socket_ = std::make_unique<QWebSocket>();
    socket_->setMaxAllowedIncomingMessageSize(kLargestAnswer);
    QObject::connect(socket_.get(), &QWebSocket::textMessageReceived, [this](const QString& message) {
        QJsonObject answer;
        switch (ReadMessage(message, awaitedId_, answer)) {
        case MessageMeaning::Garbage:
            broken_ = true;
            break;
        case MessageMeaning::Answer:
            answer_ = std::move(answer);
            break;
        case MessageMeaning::Other:
            break;
        }
    });
    QObject::connect(socket_.get(), &QWebSocket::binaryMessageReceived, [this] { broken_ = true; });
    socket_->open(QUrl(url_));
    const bool connected =
        WaitFor([this] {
            const auto state = socket_->state();
            return state == QAbstractSocket::ConnectedState || state == QAbstractSocket::UnconnectedState;
        }, limit);
    if (!connected || socket_->state() != QAbstractSocket::ConnectedState) {
        socket_->abort();
        socket_.reset();
        return false;
    }
    return true;
}

std::optional<QJsonObject> DevToolsConnection::Call(const QString& method, const QJsonObject& params,
                                                    milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    if (!Connect(limit))
        return std::nullopt;
    if (pipe_) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
        return pipe_->Call(method, params, sessionId_, std::max(left, milliseconds(1)));
    }
    awaitedId_ = nextId_++;
    answer_.reset();
    QJsonObject command{{"id", awaitedId_}, {"method", method}};
    if (!params.isEmpty())
        command.insert("params", params);
    socket_->sendTextMessage(QString::fromUtf8(QJsonDocument(command).toJson(QJsonDocument::Compact)));

    const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
    WaitFor([this] { return answer_.has_value() || broken_ || socket_->state() != QAbstractSocket::ConnectedState; },
            std::max(left, milliseconds(1)));
    awaitedId_ = 0;
    if (!answer_ || broken_)
        return std::nullopt;
    return ResultOfAnswer(*answer_);
}

std::optional<QJsonValue> DevToolsConnection::Evaluate(const QString& expression, milliseconds limit) {
    const auto result = Call("Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}}, limit);
    return result ? EvaluatedValue(*result) : std::nullopt;
}

MessageMeaning ReadMessage(const QString& message, int awaitedId, QJsonObject& answer) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(message.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return MessageMeaning::Garbage;
    QJsonObject object = document.object();
    if (!object.contains("id"))
        return MessageMeaning::Other; // an event, not an answer
    if (object.value("id").toInt(-1) != awaitedId || awaitedId == 0)
        return MessageMeaning::Other; // a late answer to an abandoned command
    answer = std::move(object);
    return MessageMeaning::Answer;
}

std::optional<QJsonObject> ResultOfAnswer(const QJsonObject& answer) {
    const QJsonValue result = answer.value("result");
    if (answer.contains("error") || !result.isObject())
        return std::nullopt;
    return result.toObject();
}

std::optional<QJsonValue> EvaluatedValue(const QJsonObject& result) {
    if (result.contains("exceptionDetails"))
        return std::nullopt;
    const QJsonValue remote = result.value("result");
    if (!remote.isObject())
        return std::nullopt;
    return remote.toObject().value("value"); // Undefined for a script without a value
}

QString ScriptLiteral(const QString& text) {
    // A JSON array of one string is valid script; its element is the escaped literal.
    const QByteArray json = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

} // namespace chromium
