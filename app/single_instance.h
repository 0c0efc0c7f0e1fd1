#pragma once

// One running copy per user and program path, decided by a lock file. The lock of a copy
// that was killed does not block the next start: the lock names its holder's process, and
// a lock whose process is gone counts as stale.

#include <QLockFile>
#include <QString>

#include <optional>

namespace lumivert {

class SingleInstance {
public:
    explicit SingleInstance(const QString& lockPath);

    // The lock file of the program at programPath, in the user's runtime folder.
    static QString LockPathFor(const QString& programPath);

    // True when another copy holds the lock. The first call tries to take it; the answer
    // stays the same for the life of this object, which keeps the lock. When the lock file
    // cannot be made at all, nothing is known of another copy: false.
    bool PrevInstance();

private:
    QLockFile lock_;
    std::optional<bool> previous_;
};

} // namespace lumivert
