#pragma once

// One connection to a Chromium DevTools endpoint (the browser's, or a page's), used
// synchronously: each call sends one command and waits a bounded time for its answer. The
// endpoint is a WebSocket address, or the name of a browser's pipe (devtools_pipe.h); a
// page reached through the pipe is attached to for as long as the connection lasts.
// Every answer is parsed defensively: anything that is not a well-formed answer to the
// command counts as a failure, never as a crash or an endless wait.

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QWebSocket>

#include <chrono>
#include <memory>
#include <optional>

namespace chromium {

using std::chrono::milliseconds;

class DevToolsPipe;

class DevToolsConnection {
public:
    explicit DevToolsConnection(QString webSocketUrl);
    ~DevToolsConnection();

    DevToolsConnection(const DevToolsConnection&) = delete;
    DevToolsConnection& operator=(const DevToolsConnection&) = delete;

    // Connects if not connected yet; false when the endpoint does not accept within limit.
    bool Connect(milliseconds limit);

    // Sends method with params and returns the answer's "result" object; nothing when the
    // endpoint cannot be reached, answers with an error or with garbage, or not within limit.
    std::optional<QJsonObject> Call(const QString& method, const QJsonObject& params, milliseconds limit);

    // Evaluates a script expression in the page and returns its value; nothing when the
    // call fails or the script throws.
    std::optional<QJsonValue> Evaluate(const QString& expression, milliseconds limit);

    const QString& url() const { return url_; }

private:
    // Runs the event loop until done() holds or limit passes; false on time-out.
    template <typename Done>
    bool WaitFor(Done done, milliseconds limit);

    bool ConnectPipe(milliseconds limit);

    QString url_;
    std::shared_ptr<DevToolsPipe> pipe_; // for a pipe endpoint
    QString sessionId_;                  // the page's attachment on the pipe
    std::unique_ptr<QWebSocket> socket_;
    int nextId_ = 1;
    std::optional<QJsonObject> answer_; // the answer to the command in flight
    int awaitedId_ = 0;
    bool broken_ = false; // closed, or sent garbage
};

// How one text message from an endpoint reads, apart from any socket: garbage (not a JSON
// object: the endpoint is no DevTools endpoint), the answer to the command awaitedId, or
// anything else (an event, a late answer to an abandoned command), which is passed over.
enum class MessageMeaning { Garbage, Answer, Other };
MessageMeaning ReadMessage(const QString& message, int awaitedId, QJsonObject& answer);

// The "result" object of an answer; nothing for an error answer or a result that is no object.
std::optional<QJsonObject> ResultOfAnswer(const QJsonObject& answer);

// The value a Runtime.evaluate result carries (Undefined for a script without a value);
// nothing when the script threw or the result is not an object.
std::optional<QJsonValue> EvaluatedValue(const QJsonObject& result);

// A string as a script literal, for building expressions safely.
QString ScriptLiteral(const QString& text);

} // namespace chromium
