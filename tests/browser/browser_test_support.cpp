#include "tests/browser/browser_test_support.h"

#include "browser/mdl_html_document.h"
#include "chromium/browser_process.h"
#include "chromium/devtools_connection.h"
#include "win32/advapi32/registry_store.h"
#include "os/program_start.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>
#include <unistd.h>

namespace lumivert::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

BrowserTestFolder::BrowserTestFolder() {
    std::string pattern = (fs::temp_directory_path() / "lumivert-browser-test-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
    const char* old = std::getenv("TMPDIR");
    oldTmpDir_ = old ? old : "";
    ::setenv("TMPDIR", path_.c_str(), 1);
}

BrowserTestFolder::~BrowserTestFolder() {
    EndAllBrowsers();
    oldTmpDir_.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", oldTmpDir_.c_str(), 1);
    std::error_code error;
    fs::remove_all(path_, error);
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

std::string ReadFileOnceWritten(const fs::path& path) {
    for (int i = 0; i < 300 && !fs::exists(path); ++i)
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(50ms); // let the writer finish
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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

std::optional<QJsonValue> EvaluateInPage(user32::HWND frame, const std::string& expression,
                                         bool (*accept)(const QJsonValue&), std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::optional<QJsonValue> value;
    do {
        const user32::HWND page = mdlHTMLDocument::FindServerWindow(frame);
        if (page != 0) {
            chromium::DevToolsConnection connection(user32::DevToolsEndpointOf(page));
            value = connection.Evaluate(QString::fromStdString(expression), 2s);
            if (value && (accept == nullptr || accept(*value)))
                return value;
        }
        std::this_thread::sleep_for(100ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return value;
}

user32::HWND FrameOfRunningBrowser() {
    const auto running = chromium::RunningBrowsers();
    if (running.size() != 1)
        return 0;
    return mdlHTMLDocument::FindBrowserWindow(static_cast<std::uint32_t>(running.front()));
}

} // namespace lumivert::testing
