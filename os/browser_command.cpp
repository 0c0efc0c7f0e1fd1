#include "os/browser_command.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace os {

namespace {

namespace fs = std::filesystem;

// Chromium-family browsers answer the DevTools protocol the page filling relies on.
const char* const kChromiumFamily[] = {
    "chromium", "chromium-browser", "google-chrome-stable", "google-chrome",
    "microsoft-edge-stable", "microsoft-edge", "brave-browser", "vivaldi-stable",
};

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, separator))
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

bool IsExecutableFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

// The first word of a command text such as "firefox %s" or "/opt/b/chrome --flag".
std::string ProgramOfCommand(const std::string& command) {
    const auto words = Split(command, ' ');
    return words.empty() ? std::string() : words.front();
}

// The desktop file named for web pages in the desktop's mimeapps.list files, if any.
std::string DefaultBrowserDesktopFile() {
    std::vector<fs::path> lists;
    const std::string configHome = Environment("XDG_CONFIG_HOME");
    lists.push_back(configHome.empty() ? fs::path(Environment("HOME")) / ".config" / "mimeapps.list"
                                       : fs::path(configHome) / "mimeapps.list");
    lists.push_back("/etc/xdg/mimeapps.list");
    lists.push_back("/usr/share/applications/mimeapps.list");
    for (const auto& list : lists) {
        std::ifstream in(list);
        std::string line;
        bool inDefaults = false;
        while (std::getline(in, line)) {
            if (line.starts_with("["))
                inDefaults = line.starts_with("[Default Applications]");
            else if (inDefaults && line.starts_with("x-scheme-handler/http=")) {
                const auto entries = Split(line.substr(line.find('=') + 1), ';');
                if (!entries.empty())
                    return entries.front();
            }
        }
    }
    return {};
}

// The program that a desktop file's Exec line starts.
std::string ProgramOfDesktopFile(const std::string& desktopFile) {
    std::vector<std::string> folders;
    const std::string dataHome = Environment("XDG_DATA_HOME");
    folders.push_back(dataHome.empty() ? Environment("HOME") + "/.local/share" : dataHome);
    const std::string dataDirs = Environment("XDG_DATA_DIRS");
    for (const auto& folder : Split(dataDirs.empty() ? "/usr/local/share:/usr/share" : dataDirs, ':'))
        folders.push_back(folder);
    for (const auto& folder : folders) {
        std::ifstream in(fs::path(folder) / "applications" / desktopFile);
        std::string line;
        while (std::getline(in, line))
            if (line.starts_with("Exec="))
                return ProgramOfCommand(line.substr(5));
    }
    return {};
}

// The absolute path of program: as given when it holds a "/", else found on PATH; empty
// when no executable file of that name exists.
std::string FindOnPath(const std::string& program) {
    if (program.empty())
        return {};
    if (program.find('/') != std::string::npos)
        return IsExecutableFile(program) ? fs::absolute(program).string() : std::string();
    for (const auto& folder : Split(Environment("PATH"), ':')) {
        const fs::path candidate = fs::path(folder) / program;
        if (IsExecutableFile(candidate))
            return fs::absolute(candidate).string();
    }
    return {};
}

} // namespace

std::string FindBrowserCommand() {
    const auto fromEnvironment = Split(Environment("BROWSER"), ':');
    if (!fromEnvironment.empty()) {
        const std::string path = FindOnPath(ProgramOfCommand(fromEnvironment.front()));
        if (!path.empty())
            return path;
    }
    for (const char* name : kChromiumFamily) {
        const std::string path = FindOnPath(name);
        if (!path.empty())
            return path;
    }
    const std::string desktopFile = DefaultBrowserDesktopFile();
    if (!desktopFile.empty()) {
        const std::string path = FindOnPath(ProgramOfDesktopFile(desktopFile));
        if (!path.empty())
            return path;
    }
    // Debian's system-wide choice of web browser.
    const std::string alternative = FindOnPath("x-www-browser");
    std::error_code error;
    return alternative.empty() ? std::string() : fs::canonical(alternative, error).string();
}

} // namespace os
