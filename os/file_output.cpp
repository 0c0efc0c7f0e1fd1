#include "os/file_output.h"

#include "ui/raised_error.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace os {

namespace {

// The permission bits a newly created file gets from open(…, 0666): mkstemp makes 0600,
// so the temporary file is widened to what the user's umask allows.
mode_t NewFileMode() {
    static const mode_t mode = [] {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return static_cast<mode_t>(0666 & ~mask);
    }();
    return mode;
}

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
bool SwapIntoPlace(const std::string& temporary, const std::string& target) {
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) != 0)
        return false;
    if (::unlink(temporary.c_str()) != 0 && errno == EISDIR) {
        ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE);
        throw ui::FileError(EISDIR, target);
    }
    return true;
}

} // namespace

ReplacingFile::ReplacingFile(std::string path) : path_(std::move(path)) {
    if (path_.empty() || path_.back() == '/')
        throw ui::FileError(EISDIR, path_);

    struct stat existing {};
    if (::stat(path_.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode))
            throw ui::FileError(EISDIR, path_);
        if (!S_ISREG(existing.st_mode)) {
            fd_ = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
            if (fd_ < 0)
                throw ui::FileError(errno, path_);
            return;
        }
        // A read-only file stays read-only, also for a user (root) whom the system
        // would let through: replacing it would defeat the owner's protection.
        if ((existing.st_mode & 0222) == 0 || ::access(path_.c_str(), W_OK) != 0)
            throw ui::FileError(EACCES, path_);
        replacesExisting_ = true;
    }

    std::string pattern = FolderOf(path_) + "/." + NameOf(path_) + ".XXXXXX";
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0)
        throw ui::FileError(errno, path_);
    tempPath_ = pattern;
    if (::fchmod(fd_, NewFileMode()) != 0) {
        const int error = errno;
        Abandon();
        throw ui::FileError(error, path_);
    }
}

ReplacingFile::~ReplacingFile() {
    if (!committed_)
        Abandon();
}

void ReplacingFile::Write(std::span<const std::byte> bytes) {
    const std::byte* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd_, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throw ui::FileError(errno, path_);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

void ReplacingFile::Commit() {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        throw ui::FileError(errno, path_);
    if (!tempPath_.empty()) {
        const bool swapped = replacesExisting_ && SwapIntoPlace(tempPath_, path_);
        if (!swapped && ::rename(tempPath_.c_str(), path_.c_str()) != 0)
            throw ui::FileError(errno, path_);
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
