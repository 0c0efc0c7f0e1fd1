#include "chromium/browser_profile.h"

#include "os/program_start.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace chromium {

namespace {

namespace fs = std::filesystem;

constexpr const char* kOwnerFile = "lumivert-owner.pid";
constexpr const char* kBlankFile = "lumivert-blank.html";
// A folder younger than this may belong to a browser that is just being started.
constexpr auto kStaleAfter = std::chrono::minutes(1);

// The user's private folder for profiles; refuses a folder someone else could control.
std::optional<fs::path> ProfilesFolder() {
    const char* tmp = std::getenv("TMPDIR");
    const fs::path folder =
        fs::path(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") / ("lumivert-browser-" + std::to_string(::geteuid()));
    ::mkdir(folder.c_str(), 0700);
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() ||
        (info.st_mode & 0077) != 0)
        return std::nullopt;
    return folder;
}

void RemoveEndedProfiles(const fs::path& folder) {
    std::error_code error;
    const auto now = fs::file_time_type::clock::now();
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (!entry.is_directory(error) || !entry.path().filename().string().starts_with("profile-"))
            continue;
        const auto modified = fs::last_write_time(entry.path(), error);
        if (error || now - modified < kStaleAfter)
            continue;
        std::ifstream owner(entry.path() / kOwnerFile);
        pid_t pid = 0;
        if (!(owner >> pid) || !os::IsProcessRunning(pid))
            fs::remove_all(entry.path(), error);
    }
}

bool IsPortNumber(const std::string& text) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int port = std::stoi(text);
    return port > 0 && port <= 65535;
}

bool IsBrowserPath(const std::string& text) {
    const std::string prefix = "/devtools/browser/";
    return text.starts_with(prefix) && text.size() > prefix.size() && text.size() < 200 &&
           text.find_first_not_of("0123456789abcdefABCDEF-", prefix.size()) == std::string::npos;
}

} // namespace

std::optional<std::string> MakeProfileFolder() {
    const auto parent = ProfilesFolder();
    if (!parent)
        return std::nullopt;
    RemoveEndedProfiles(*parent);
    std::string pattern = (*parent / "profile-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        return std::nullopt;
    std::ofstream blank(fs::path(pattern) / kBlankFile, std::ios::binary);
    blank << "<html><head></head><body></body></html>";
    if (!blank.flush()) {
        RemoveProfileFolder(pattern);
        return std::nullopt;
    }
    return pattern;
}

void RecordProfileOwner(const std::string& folder, pid_t pid) {
    std::ofstream(fs::path(folder) / kOwnerFile) << pid << '\n';
}

void RemoveProfileFolder(const std::string& folder) {
    std::error_code error;
    fs::remove_all(folder, error);
}

std::string BlankPagePath(const std::string& folder) {
    return (fs::path(folder) / kBlankFile).string();
}

std::optional<std::string> AnnouncedEndpoint(const std::string& folder) {
    std::ifstream in(fs::path(folder) / "DevToolsActivePort", std::ios::binary);
    return EndpointFromAnnouncement({std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
}

std::optional<std::string> EndpointFromAnnouncement(const std::string& text) {
    std::istringstream in(text);
    std::string port;
    std::string path;
    if (!std::getline(in, port) || !std::getline(in, path) || !IsPortNumber(port) || !IsBrowserPath(path))
        return std::nullopt;
    return "ws://127.0.0.1:" + port + path;
}

} // namespace chromium
