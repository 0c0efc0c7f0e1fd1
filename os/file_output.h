#pragma once

// Writing an output file so that a failed save never damages the file it replaces.
//
// The bytes go to a temporary file in the target's folder, which takes the target's place
// only once everything was written and closed. A longer old file therefore keeps
// no stale tail, and a save that fails part-way (full disk, I/O error) leaves the old
// file as it was. The replacing writers people trust (QSaveFile, GLib's g_file_replace)
// set the rest of the behaviour:
// - a symbolic link (or a chain of them) is followed: the file it names is replaced and
//   the link stays a link;
// - the new file gets the old one's permission bits, and its owner and group where the
//   process may change them; a new name gets what open() gives under the umask;
// - where the folder takes no temporary file but the old file may be written, the old
//   file is rewritten in place: it then survives an abandoned save, but not a write that
//   fails midway;
// - a target that exists but is not a regular file is written in place when it is a
//   device (/dev/null, /dev/full), since a device node must never be replaced; a pipe or
//   a socket is refused at once, since writing to it would wait for a reader.
// Other hard links to the old file keep the old content: the name gets a new file.
//
// Every failure throws report::RaisedError made by FileError(): the number tells the
// kind, the description names the path.

#include <cstddef>
#include <span>
#include <string>

namespace os {

class ReplacingFile {
public:
    // Opens the temporary file (or the file written in place); throws on failure.
    explicit ReplacingFile(std::string path);
    ~ReplacingFile(); // without Commit(): the temporary file is removed

    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    void Write(std::span<const std::byte> bytes);
    void Write(const void* data, std::size_t size) {
        Write(std::span<const std::byte>(static_cast<const std::byte*>(data), size));
    }

    // Closes the file and puts it in place of the target.
    void Commit();

    const std::string& path() const { return path_; }

private:
    void OpenInPlace(bool regularFileOnly);
    [[noreturn]] void Refuse(int error); // abandons the save and throws the error for path_
    void TruncateIfFirst();
    void Abandon() noexcept;

    std::string path_;     // as the caller named it; every error names this
    std::string target_;   // the file replaced: path_ with its links followed
    std::string tempPath_; // empty when writing in place
    int fd_ = -1;
    bool replacesExisting_ = false; // a regular file of that name existed when opened
    bool truncateFirst_ = false;    // an old file rewritten in place, not yet emptied
    bool committed_ = false;
};

// Writes bytes as the whole new content of path, through a ReplacingFile.
void WriteWholeFile(const std::string& path, std::span<const std::byte> bytes);

} // namespace os
