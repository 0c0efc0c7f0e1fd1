#pragma once

// A picture given to a second copy of the program goes to the copy that runs, through a
// local socket beside the single-instance lock: the second copy sends the picture's
// absolute path and ends.

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <functional>

namespace lumivert {

class PictureHandOver : public QObject {
public:
    // The socket of the copy that holds the lock at lockPath.
    static QString SocketPathFor(const QString& lockPath);

    // Sends path to the copy listening at socketPath, waiting a few seconds for it to
    // listen (it may be starting); false when no copy took it.
    static bool Send(const QString& socketPath, const QString& path);

    // Listens at socketPath (left behind by a copy that crashed, it is taken over: only the
    // lock's holder listens) and calls onPicture with each path sent.
    PictureHandOver(const QString& socketPath, std::function<void(const QString&)> onPicture);
    bool listening() const { return server_.isListening(); }

private:
    void TakeConnection();

    QLocalServer server_;
    std::function<void(const QString&)> onPicture_;
};

} // namespace lumivert
