#include "app/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QStandardPaths>

namespace lumivert {

SingleInstance::SingleInstance(const QString& lockPath) : lock_(lockPath) {
    // Age alone never makes the lock stale: a copy may run for days. A lock whose process
    // has gone is stale all the same.
    lock_.setStaleLockTime(0);
}

QString SingleInstance::LockPathFor(const QString& programPath) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    const QByteArray key =
        QCryptographicHash::hash(QDir::cleanPath(programPath).toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return folder + "/lumivert-" + QString::fromLatin1(key) + ".lock";
}

bool SingleInstance::PrevInstance() {
    if (!previous_) {
        // tryLock removes a stale lock itself and then takes it. A lock that cannot be
        // made at all (no runtime folder) does not keep the program from running.
        previous_ = !lock_.tryLock(0) && lock_.error() == QLockFile::LockFailedError;
    }
    return *previous_;
}

} // namespace lumivert
