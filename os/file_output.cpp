#include "os/file_output.h"

#include "report/raised_error.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace os {

namespace {

// As many links as the kernel follows in one path before it gives up with ELOOP.
constexpr int kMostLinksFollowed = 40;

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a save to path replaces: path itself or, where path is a symbolic link (or a
// chain of them), the file the last link names; a relative link is read from its own
// folder. The links stay as they are. A link that names no file yet is followed too: the
// save creates the file it names.
std::string FollowLinks(const std::string& path) {
    std::string current = path;
    for (int followed = 0; followed <= kMostLinksFollowed; ++followed) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current; // what is wrong with a name shows when it is opened
        std::array<char, PATH_MAX> text{};
        const ssize_t length = ::readlink(current.c_str(), text.data(), text.size());
        if (length < 0)
            throw report::FileError(errno, path);
        if (length == 0 || static_cast<std::size_t>(length) == text.size())
            throw report::FileError(ENAMETOOLONG, path);
        const std::string named(text.data(), static_cast<std::size_t>(length));
        current = named.front() == '/' ? named : FolderOf(current) + "/" + named;
    }
    throw report::FileError(ELOOP, path);
}

// Creates a new file beside target under a name of its own ("." + name + "." + six random
// letters). The mode goes to open(), so the umask (or the folder's default ACL) narrows it
// as it does for any new file; the process umask itself is never read or changed, since
// another thread may be creating files at the same time. Returns -1 with errno on failure.
int CreateFileBeside(const std::string& target, mode_t mode, std::string& createdPath) {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const std::string prefix = FolderOf(target) + "/." + NameOf(target) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix;
        for (int i = 0; i < 6; ++i)
            name += kLetters[::arc4random_uniform(sizeof kLetters - 1)];
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            createdPath = std::move(name);
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1; // errno is EEXIST
}

// Gives the new file the old file's owner and group where the process may (root both, an
// owner a group it belongs to), then the old file's permission bits. The set-user-ID and
// set-group-ID bits go along only when owner and group both were kept: on a file of
// another owner they would mean something else. False with errno when the mode cannot be set.
bool TakeOverOwnerAndMode(int fd, const struct stat& old) {
    struct stat made {};
    if (::fstat(fd, &made) != 0)
        return false;
    bool ownersKept = made.st_uid == old.st_uid && made.st_gid == old.st_gid;
    if (!ownersKept) {
        // Not being allowed is no failure: the file then belongs to the user who saved it.
        ownersKept = ::fchown(fd, old.st_uid, old.st_gid) == 0;
        if (!ownersKept && made.st_gid != old.st_gid)
            (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    }
    return ::fchmod(fd, old.st_mode & (ownersKept ? 07777 : 0777)) == 0;
}

// Puts the finished temporary file in place of an existing target. The two names are
// swapped in one step and the old content, now under the temporary name, is removed.
// A plain rename over an existing file would do the same for every reader, but ext4 then
// starts writing the new data out before the call returns (its guard for programs that
// replace files without syncing), which costs as much as the whole save of a large
// picture and, at random, milliseconds for a small one. Neither way syncs: a crash
// right after a save may lose it either way. Where the swap is not available (an older
// kernel, a file system without it) or the target has gone meanwhile, a rename does it.
// A folder put in the target's place after it was opened is swapped back and refused,
// as a rename would refuse it.
bool SwapIntoPlace(const std::string& temporary, const std::string& target, const std::string& reported) {
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) != 0)
        return false;
    if (::unlink(temporary.c_str()) != 0 && errno == EISDIR) {
        ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE);
        throw report::FileError(EISDIR, reported);
    }
    return true;
}

} // namespace

ReplacingFile::ReplacingFile(std::string path) : path_(std::move(path)) {
    if (path_.empty() || path_.back() == '/')
        throw report::FileError(EISDIR, path_);
    target_ = FollowLinks(path_);
    if (target_.back() == '/')
        throw report::FileError(EISDIR, path_);

    struct stat existing {};
    const bool exists = ::stat(target_.c_str(), &existing) == 0;
    if (exists) {
        if (S_ISDIR(existing.st_mode))
            throw report::FileError(EISDIR, path_);
        if (!S_ISREG(existing.st_mode)) { // a device node is written, never replaced
            OpenInPlace(false);
            return;
        }
        // A read-only file stays read-only, also for a user (root) whom the system
        // would let through: replacing it would defeat the owner's protection.
        if ((existing.st_mode & 0222) == 0 || ::access(target_.c_str(), W_OK) != 0)
            throw report::FileError(EACCES, path_);
    }

    // A replacement is private until it has the old file's owner and mode.
    fd_ = CreateFileBeside(target_, exists ? 0600 : 0666, tempPath_);
    if (fd_ < 0) {
        const int error = errno;
        // The folder takes no new file but the old file may be written: rewriting it is
        // the only way to save, at the cost that a write failing midway damages it.
        if (exists && (error == EACCES || error == EPERM)) {
            OpenInPlace(true);
            truncateFirst_ = true;
            return;
        }
        throw report::FileError(error, path_);
    }
    if (exists && !TakeOverOwnerAndMode(fd_, existing))
        Refuse(errno);
    replacesExisting_ = exists;
}

ReplacingFile::~ReplacingFile() {
    if (!committed_)
        Abandon();
}

// Opens the target itself without ever waiting: a pipe (also one put there after the
// target was looked at, or reached through a link) would hold the save, and the window
// with it, until some other program read from it. Only a regular file, or a device
// (/dev/null), is written; the device keeps O_NONBLOCK, so a write that would wait fails.
void ReplacingFile::OpenInPlace(bool regularFileOnly) {
    fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0)
        throw report::FileError(errno, path_); // a pipe without a reader, a socket: ENXIO
    struct stat opened {};
    if (::fstat(fd_, &opened) != 0)
        Refuse(errno);
    if (S_ISREG(opened.st_mode)) {
        ::fcntl(fd_, F_SETFL, 0); // written as any file: no file system may answer "later"
        return;
    }
    if (regularFileOnly || !(S_ISCHR(opened.st_mode) || S_ISBLK(opened.st_mode)))
        Refuse(ENXIO); // what the kernel answers for a pipe nobody reads
}

void ReplacingFile::Refuse(int error) {
    Abandon();
    throw report::FileError(error, path_);
}

// An old file rewritten in place loses its content only once the new content comes, so
// a save abandoned before its first byte leaves it whole.
void ReplacingFile::TruncateIfFirst() {
    if (!truncateFirst_)
        return;
    if (::ftruncate(fd_, 0) != 0)
        throw report::FileError(errno, path_);
    truncateFirst_ = false;
}

void ReplacingFile::Write(std::span<const std::byte> bytes) {
    TruncateIfFirst();
    const std::byte* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd_, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throw report::FileError(errno, path_);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

void ReplacingFile::Commit() {
    TruncateIfFirst();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        throw report::FileError(errno, path_);
    if (!tempPath_.empty()) {
        const bool swapped = replacesExisting_ && SwapIntoPlace(tempPath_, target_, path_);
        if (!swapped && ::rename(tempPath_.c_str(), target_.c_str()) != 0)
            throw report::FileError(errno, path_);
    }
    committed_ = true;
}

void ReplacingFile::Abandon() noexcept {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!tempPath_.empty())
        ::unlink(tempPath_.c_str());
}

void WriteWholeFile(const std::string& path, std::span<const std::byte> bytes) {
    ReplacingFile file(path);
    file.Write(bytes);
    file.Commit();
}

} // namespace os
