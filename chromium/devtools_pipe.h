#pragma once

// The DevTools channel of a browser started with --remote-debugging-pipe: a socket that
// only this program and that browser hold, so no other local user or web page can reach
// the browser's controls (a DevTools port on 127.0.0.1 could be used by anyone on the
// machine). Messages are JSON objects, each ended by a NUL byte; commands meant for a
// page carry the session id of that page's attachment.

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

namespace chromium {

using std::chrono::milliseconds;

class DevToolsPipe {
public:
    explicit DevToolsPipe(int fd); // takes over fd, this program's end of the socket
    ~DevToolsPipe();

    DevToolsPipe(const DevToolsPipe&) = delete;
    DevToolsPipe& operator=(const DevToolsPipe&) = delete;

    // Sends method with params (to the page of sessionId, unless empty) and returns the
    // answer's "result" object; nothing when the browser answers with an error or garbage,
    // has closed its end, or does not answer within limit. After garbage every call fails.
    std::optional<QJsonObject> Call(const QString& method, const QJsonObject& params, const QString& sessionId,
                                    milliseconds limit);

    // Sends a command without waiting for its answer (which is passed over when it comes).
    void Post(const QString& method, const QJsonObject& params, const QString& sessionId);

    // The endpoint name under which DevToolsConnection reaches the pipe of the browser pid:
    // "pipe://<pid>/devtools/browser". The pipe stays reachable while someone holds it.
    static std::string Register(pid_t pid, const std::shared_ptr<DevToolsPipe>& pipe);

    // The pipe behind an endpoint name (the browser's, or a page's beside it); nothing for
    // another kind of endpoint or a pipe no longer held.
    static std::shared_ptr<DevToolsPipe> Of(const QString& endpoint);

private:
    int Send(const QString& method, const QJsonObject& params, const QString& sessionId,
             std::chrono::steady_clock::time_point deadline);
    bool Write(const QByteArray& message, std::chrono::steady_clock::time_point deadline);
    // The next whole message, or nothing at the deadline or when the channel is gone.
    std::optional<QByteArray> Read(std::chrono::steady_clock::time_point deadline);

    int fd_;
    int nextId_ = 1;
    QByteArray received_; // bytes of messages not read yet
    bool broken_ = false; // closed, or sent garbage
};

// True for an endpoint name of a pipe (see DevToolsPipe::Register).
bool IsPipeEndpoint(const QString& endpoint);

} // namespace chromium
