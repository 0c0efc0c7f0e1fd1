#include "tests/browser/browser_test_support.h"

#include "browser/mdl_html_document.h"
#include "chromium/browser_process.h"
#include "chromium/browser_profile.h"
#include "chromium/devtools_connection.h"
#include "win32/advapi32/registry_store.h"
#include "os/program_start.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace lumivert::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

BrowserTestFolder::BrowserTestFolder() {
    const char* old = std::getenv("TMPDIR");
    oldTmpDir_ = old ? old : "";
    ::setenv("TMPDIR", path_.c_str(), 1);
}

BrowserTestFolder::~BrowserTestFolder() {
    EndAllBrowsers();
    oldTmpDir_.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", oldTmpDir_.c_str(), 1);
}

fs::path BrowserTestFolder::WriteScript(const std::string& name, const std::string& body) const {
    const fs::path script = path_ / name;
    std::ofstream(script) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(script, fs::perms::owner_all);
    return script;
}

fs::path BrowserTestFolder::HeadlessChromium() const {
    return WriteScript("chromium-headless",
                       "exec /usr/bin/chromium --headless --disable-gpu --disable-breakpad "
                       "--disable-background-networking --disable-component-update \"$@\"");
}

fs::path BrowserTestFolder::InspectableHeadlessChromium() const {
    return WriteScript("chromium-inspectable", "exec '" + HeadlessChromium().string() + "' --remote-debugging-port=0 \"$@\"");
}

fs::path BrowserTestFolder::WritePicture(const std::string& name, int width) const {
    const int rowBytes = (width * 3 + 3) / 4 * 4;
    const int height = 2;
    std::string bmp;
    const auto put = [&bmp](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            bmp += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    bmp += "BM";
    put(54 + rowBytes * height, 4); // file size
    put(0, 4);                      // reserved
    put(54, 4);                     // offset of the pixels
    put(40, 4);                     // info header size
    put(width, 4);
    put(height, 4);
    put(1, 2);  // planes
    put(24, 2); // bits per pixel
    put(0, 4);  // no compression
    put(rowBytes * height, 4);
    put(2835, 4);
    put(2835, 4);
    put(0, 4);
    put(0, 4);
    bmp += std::string(static_cast<std::size_t>(rowBytes * height), '\x7F');
    const fs::path picture = path_ / name;
    std::ofstream(picture, std::ios::binary) << bmp;
    return picture;
}

std::string ReadFileOnceWritten(const fs::path& path, char end) {
    return test_support::WaitForWholeFile(path, 10s, [end](const std::string& bytes) {
               return bytes.ends_with(end);
           }).value_or("");
}

void UseBrowserCommand(const std::string& command) {
    advapi32::ClearStore();
    if (!command.empty())
        advapi32::SetStringValue(advapi32::HKEY_LOCAL_MACHINE, advapi32::kBrowserAppPathsKey, "", command);
}

void EndAllBrowsers() {
    for (const pid_t pid : chromium::RunningBrowsers()) {
        ::kill(-pid, SIGKILL);
        for (int i = 0; i < 300 && os::IsProcessRunning(pid); ++i)
            std::this_thread::sleep_for(10ms);
    }
    mdlHTMLDocument::BrowserFrameWnd = 0;
}

namespace {

// Evaluates expression in the page that pageEndpoint names at each try, until accept takes
// the value or limit passes.
template <typename PageEndpoint>
std::optional<QJsonValue> EvaluateUntilAccepted(PageEndpoint pageEndpoint, const std::string& expression,
                                                bool (*accept)(const QJsonValue&), std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::optional<QJsonValue> value;
    do {
        const std::string endpoint = pageEndpoint();
        if (!endpoint.empty()) {
            chromium::DevToolsConnection connection(QString::fromStdString(endpoint));
            // A busy machine may take seconds to answer: one try is not cut short.
            value = connection.Evaluate(QString::fromStdString(expression), 10s);
            if (value && (accept == nullptr || accept(*value)))
                return value;
        }
        std::this_thread::sleep_for(100ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return value;
}

// The page endpoint of the first page of the browser whose port a profile under TMPDIR
// announces.
std::string InspectablePageEndpoint() {
    std::error_code error;
    const fs::path profiles = fs::path(std::getenv("TMPDIR")) / ("lumivert-browser-" + std::to_string(::geteuid()));
    for (const auto& profile : fs::directory_iterator(profiles, error)) {
        const auto endpoint = chromium::AnnouncedEndpoint(profile.path().string());
        if (!endpoint)
            continue;
        chromium::DevToolsConnection browser(QString::fromStdString(*endpoint));
        if (const auto targets = browser.Call("Target.getTargets", {}, 2s))
            for (const auto& page : chromium::PageTargetsOf(*targets))
                return chromium::PageEndpoint(*endpoint, page.id.toStdString());
    }
    return {};
}

} // namespace

std::optional<QJsonValue> EvaluateInPage(user32::HWND frame, const std::string& expression,
                                         bool (*accept)(const QJsonValue&), std::chrono::milliseconds limit) {
    return EvaluateUntilAccepted(
        [frame] {
            const user32::HWND page = mdlHTMLDocument::FindServerWindow(frame);
            return std::string(page == 0 ? "" : user32::DevToolsEndpointOf(page));
        },
        expression, accept, limit);
}

std::optional<QJsonValue> EvaluateInInspectablePage(const std::string& expression, bool (*accept)(const QJsonValue&),
                                                    std::chrono::milliseconds limit) {
    return EvaluateUntilAccepted(InspectablePageEndpoint, expression, accept, limit);
}

std::vector<pid_t> ProcessesOfSession(pid_t pid) {
    std::vector<pid_t> members;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        std::getline(stat, text);
        // After the command in parentheses: state, parent, group, session.
        std::istringstream fields(text.substr(text.rfind(')') + 1));
        std::string state;
        pid_t parent = 0, group = 0, session = 0;
        if (fields >> state >> parent >> group >> session && session == pid)
            members.push_back(std::stoi(name));
    }
    return members;
}

std::vector<int> ListeningPortsOf(const std::vector<pid_t>& processes) {
    std::vector<std::string> sockets; // "socket:[inode]" links of the processes
    for (const pid_t pid : processes) {
        std::error_code error;
        for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
            const std::string target = fs::read_symlink(fd.path(), error).string();
            if (target.starts_with("socket:["))
                sockets.push_back(target.substr(8, target.size() - 9));
        }
    }
    std::vector<int> ports;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line); // the heading
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state, queues, timer, retransmits, uid, timeouts, inode;
            fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeouts >> inode;
            if (state == "0A" && std::find(sockets.begin(), sockets.end(), inode) != sockets.end())
                ports.push_back(std::stoi(local.substr(local.find(':') + 1), nullptr, 16));
        }
    }
    return ports;
}

} // namespace lumivert::testing
