#include "chromium/devtools_pipe.h"

#include "chromium/devtools_connection.h"

#include <QJsonDocument>

#include <cerrno>
#include <map>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace chromium {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kPipeScheme = "pipe://";

// No DevTools answer the program asks for comes near this; a larger one is not an answer.
constexpr qsizetype kLargestMessage = 16 * 1024 * 1024;

std::map<pid_t, std::weak_ptr<DevToolsPipe>>& Registered() {
    static std::map<pid_t, std::weak_ptr<DevToolsPipe>> pipes;
    return pipes;
}

// Waits for fd to be ready for events until deadline; false at the deadline.
bool WaitReady(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
        pollfd ready{fd, events, 0};
        const int n = ::poll(&ready, 1, static_cast<int>(std::max<long long>(left, 0)));
        if (n > 0)
            return true;
        if (n == 0 || errno != EINTR)
            return false;
    }
}

} // namespace

DevToolsPipe::DevToolsPipe(int fd) : fd_(fd) {}

DevToolsPipe::~DevToolsPipe() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::optional<QJsonObject> DevToolsPipe::Call(const QString& method, const QJsonObject& params,
                                              const QString& sessionId, milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    const int id = Send(method, params, sessionId, deadline);
    if (id == 0)
        return std::nullopt;
    while (const auto message = Read(deadline)) {
        QJsonObject answer;
        switch (ReadMessage(QString::fromUtf8(*message), id, answer)) {
        case MessageMeaning::Garbage:
            broken_ = true;
            return std::nullopt;
        case MessageMeaning::Answer:
            return ResultOfAnswer(answer);
        case MessageMeaning::Other:
            break; // an event, or the late answer to an abandoned command
        }
    }
    return std::nullopt;
}

void DevToolsPipe::Post(const QString& method, const QJsonObject& params, const QString& sessionId) {
    Send(method, params, sessionId, Clock::now() + milliseconds(100));
}

int DevToolsPipe::Send(const QString& method, const QJsonObject& params, const QString& sessionId,
                       Clock::time_point deadline) {
    if (broken_)
        return 0;
    const int id = nextId_++;
    QJsonObject command{{"id", id}, {"method", method}};
    if (!params.isEmpty())
        command.insert("params", params);
    if (!sessionId.isEmpty())
        command.insert("sessionId", sessionId);
    QByteArray message = QJsonDocument(command).toJson(QJsonDocument::Compact);
    message.append('\0');
    return Write(message, deadline) ? id : 0;
}

bool DevToolsPipe::Write(const QByteArray& message, Clock::time_point deadline) {
    qsizetype sent = 0;
    while (sent < message.size()) {
        // MSG_NOSIGNAL: a browser that went away is an error here, not a SIGPIPE.
        const ssize_t n = ::send(fd_, message.constData() + sent, static_cast<std::size_t>(message.size() - sent),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        const int error = n < 0 ? errno : 0;
        if (n > 0) {
            sent += n;
            continue;
        }
        if (error == EINTR)
            continue;
        const bool full = error == EAGAIN || error == EWOULDBLOCK;
        if (full && WaitReady(fd_, POLLOUT, deadline))
            continue;
        // A closed channel, or a message cut midway that would garble every later one.
        if (!full || sent > 0)
            broken_ = true;
        return false;
    }
    return true;
}

std::optional<QByteArray> DevToolsPipe::Read(Clock::time_point deadline) {
    for (;;) {
        const qsizetype end = received_.indexOf('\0');
        if (end >= 0) {
            QByteArray message = received_.left(end);
            received_.remove(0, end + 1);
            return message;
        }
        if (broken_ || received_.size() > kLargestMessage || !WaitReady(fd_, POLLIN, deadline)) {
            broken_ = broken_ || received_.size() > kLargestMessage;
            return std::nullopt;
        }
        char buffer[65536];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0)
            received_.append(buffer, n);
        else if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK))
            broken_ = true; // the browser closed its end
    }
}

std::string DevToolsPipe::Register(pid_t pid, const std::shared_ptr<DevToolsPipe>& pipe) {
    std::erase_if(Registered(), [](const auto& entry) { return entry.second.expired(); });
    Registered()[pid] = pipe;
    return kPipeScheme + std::to_string(pid) + "/devtools/browser";
}

std::shared_ptr<DevToolsPipe> DevToolsPipe::Of(const QString& endpoint) {
    if (!IsPipeEndpoint(endpoint))
        return nullptr;
    const QString rest = endpoint.mid(static_cast<qsizetype>(std::char_traits<char>::length(kPipeScheme)));
    bool number = false;
    const pid_t pid = rest.section('/', 0, 0).toInt(&number);
    if (!number)
        return nullptr;
    const auto found = Registered().find(pid);
    return found == Registered().end() ? nullptr : found->second.lock();
}

bool IsPipeEndpoint(const QString& endpoint) {
    return endpoint.startsWith(kPipeScheme);
}

} // namespace chromium
