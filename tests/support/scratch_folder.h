#pragma once

// Files for tests: one scratch folder, removed with everything in it, and whole-file reads.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>
#include <sys/stat.h>

namespace test_support {

inline std::string ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::string& bytes, unsigned mode = 0644) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    ::chmod(path.c_str(), mode);
}

// The file once complete(bytes) (default: ends with a newline), not merely existing, or nothing.
inline std::optional<std::string> WaitForWholeFile(
    const std::string& path, std::chrono::milliseconds timeout,
    const std::function<bool(const std::string&)>& complete = [](const std::string& b) { return b.ends_with('\n'); }) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    do {
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error))
            if (std::string bytes = ReadBytes(path); complete(bytes))
                return bytes;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < end);
    return std::nullopt;
}

// Every entry below a folder by relative path: a file's bytes, "<folder>", or "<special>"
// for a pipe, socket or device (never read: reading a pipe would wait).
using FolderState = std::map<std::string, std::string>;

// A fresh folder (mode 0755, so a child that dropped root may enter it), removed at the end.
class ScratchFolder {
public:
    ScratchFolder() {
        if (::mkdtemp(path_.data()) == nullptr)
            throw std::runtime_error("no scratch folder");
        ::chmod(path_.c_str(), 0755);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    void Put(const std::string& name, const std::string& bytes, unsigned mode = 0644) const {
        WriteBytes(*this / name, bytes, mode);
    }
    void MakeFolder(const std::string& name, unsigned mode = 0755) const {
        std::filesystem::create_directories(*this / name);
        ::chmod((*this / name).c_str(), mode);
    }
    void Remove(const std::string& name) const {
        std::error_code ignored;
        std::filesystem::remove_all(*this / name, ignored);
    }
    // The names of the folder's own entries, sorted.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& [name, bytes] : State())
            if (name.find('/') == std::string::npos)
                names.push_back(name);
        return names;
    }
    FolderState State() const {
        FolderState state;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path_)) {
            const std::string name = std::filesystem::relative(entry.path(), path_).string();
            state[name] = entry.is_directory() ? "<folder>"
                          : entry.is_other()   ? "<special>"
                                               : ReadBytes(entry.path().string());
        }
        return state;
    }

private:
    std::string path_ = (std::filesystem::temp_directory_path() / "lumivert-test-XXXXXX").string();
};

} // namespace test_support
