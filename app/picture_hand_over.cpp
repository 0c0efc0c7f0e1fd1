#include "app/picture_hand_over.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QThread>
#include <QVariant>

#include <algorithm>

namespace lumivert {

namespace {

constexpr qint64 kMaxMessage = 64 * 1024; // a path, with room to spare
constexpr int kWaitMs = 5000;

} // namespace

QString PictureHandOver::SocketPathFor(const QString& lockPath) {
    QString path = lockPath;
    if (path.endsWith(".lock"))
        path.chop(5);
    return path + ".socket";
}

bool PictureHandOver::Send(const QString& socketPath, const QString& path) {
    const QDeadlineTimer deadline(kWaitMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1))))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100); // the running copy may not listen yet
    }
    socket.write(path.toUtf8());
    if (!socket.waitForBytesWritten(kWaitMs))
        return false;
    socket.disconnectFromServer();
    return socket.state() == QLocalSocket::UnconnectedState || socket.waitForDisconnected(kWaitMs);
}

PictureHandOver::PictureHandOver(const QString& socketPath, std::function<void(const QString&)> onPicture)
    : onPicture_(std::move(onPicture)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(socketPath);
    server_.listen(socketPath);
    connect(&server_, &QLocalServer::newConnection, this, &PictureHandOver::TakeConnection);
}

void PictureHandOver::TakeConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, socket, [socket] {
            if (socket->bytesAvailable() > kMaxMessage) { // not a sender of ours
                socket->setProperty("refused", true);
                socket->abort();
            }
        });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            const QString path = QString::fromUtf8(socket->readAll());
            socket->deleteLater();
            if (!path.isEmpty() && !socket->property("refused").toBool())
                onPicture_(path);
        });
    }
}

} // namespace lumivert
