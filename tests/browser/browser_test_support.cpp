#include "tests/browser/browser_test_support.h"

#include "browser/mdl_html_document.h"
#include "chromium/browser_process.h"
#include "chromium/browser_profile.h"
#include "chromium/devtools_connection.h"
#include "win32/advapi32/registry_store.h"
#include "os/program_start.h"

#include <csignal>
#include <functional>
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
    test_support::WriteBytes(path_ / name, "#!/bin/sh\n" + body + "\n", 0700);
    return path_ / name;
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
    const int pixelBytes = (width * 3 + 3) / 4 * 4 * 2;
    std::string bmp = "BM";
    // File size, reserved, pixel offset; info header size, width, height 2, one plane of 24
    // bits, no compression, pixel bytes, resolution, colours.
    for (const int value : {54 + pixelBytes, 0, 54, 40, width, 2, 1 | 24 << 16, 0, pixelBytes, 2835, 2835, 0, 0})
        for (int i = 0; i < 4; ++i)
            bmp += static_cast<char>((value >> (8 * i)) & 0xFF);
    test_support::WriteBytes(path_ / name, bmp + std::string(static_cast<std::size_t>(pixelBytes), '\x7F'));
    return path_ / name;
}

std::string ReadFileOnceWritten(const fs::path& path, char end) {
    return test_support::WaitForWholeFile(path, 10s, [end](const std::string& bytes) { return bytes.ends_with(end); })
        .value_or("");
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
// the value or limit passes. One try is never cut short: a busy machine may take seconds.
std::optional<QJsonValue> EvaluateUntilAccepted(const std::function<std::string()>& pageEndpoint,
                                                const std::string& expression, bool (*accept)(const QJsonValue&),
                                                std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::optional<QJsonValue> value;
    do {
        if (const std::string endpoint = pageEndpoint(); !endpoint.empty()) {
            value = chromium::DevToolsConnection(QString::fromStdString(endpoint))
                        .Evaluate(QString::fromStdString(expression), 10s);
            if (value && (accept == nullptr || accept(*value)))
                return value;
        }
        std::this_thread::sleep_for(100ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return value;
}

} // namespace

std::optional<QJsonValue> EvaluateInPage(user32::HWND frame, const std::string& expression,
                                         bool (*accept)(const QJsonValue&), std::chrono::milliseconds limit) {
    const auto endpoint = [frame] {
        const user32::HWND page = mdlHTMLDocument::FindServerWindow(frame);
        return std::string(page == 0 ? "" : user32::DevToolsEndpointOf(page));
    };
    return EvaluateUntilAccepted(endpoint, expression, accept, limit);
}

std::optional<QJsonValue> EvaluateInInspectablePage(const std::string& expression, bool (*accept)(const QJsonValue&),
                                                    std::chrono::milliseconds limit) {
    // The first page of the browser whose port a profile under TMPDIR announces.
    const auto endpoint = []() -> std::string {
        std::error_code error;
        const fs::path profiles = fs::path(std::getenv("TMPDIR")) / ("lumivert-browser-" + std::to_string(::geteuid()));
        for (const auto& profile : fs::directory_iterator(profiles, error))
            if (const auto browser = chromium::AnnouncedEndpoint(profile.path().string()))
                if (const auto targets = chromium::DevToolsConnection(QString::fromStdString(*browser))
                                             .Call("Target.getTargets", {}, 2s))
                    for (const auto& page : chromium::PageTargetsOf(*targets))
                        return chromium::PageEndpoint(*browser, page.id.toStdString());
        return {};
    };
    return EvaluateUntilAccepted(endpoint, expression, accept, limit);
}

} // namespace lumivert::testing
