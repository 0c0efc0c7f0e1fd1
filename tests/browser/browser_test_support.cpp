#include "tests/browser/browser_test_support.h"

#include "browser/mdl_html_document.h"
#include "chromium/browser_process.h"
#include "chromium/browser_profile.h"
#include "chromium/devtools_connection.h"
#include "win32/advapi32/registry_store.h"
#include "os/program_start.h"

#include <csignal>
#include <cstdlib>
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
    test_support::WriteBytes(script, "#!/bin/sh\n" + body + "\n", 0700);
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
    const int rowBytes = (width * 3 + 3) / 4 * 4, height = 2, pixelBytes = rowBytes * height;
    std::string bmp = "BM";
    // File size, reserved, pixel offset; info header size, width, height, planes and bits,
    // no compression, pixel bytes, resolution, colours.
    for (const auto& [value, bytes] : {std::pair{54 + pixelBytes, 4}, {0, 4}, {54, 4}, {40, 4}, {width, 4}, {height, 4},
                                      {1, 2}, {24, 2}, {0, 4}, {pixelBytes, 4}, {2835, 4}, {2835, 4}, {0, 4}, {0, 4}})
        for (int i = 0; i < bytes; ++i)
            bmp += static_cast<char>((value >> (8 * i)) & 0xFF);
    bmp += std::string(static_cast<std::size_t>(pixelBytes), '\x7F');
    test_support::WriteBytes(path_ / name, bmp);
    return path_ / name;
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

} // namespace lumivert::testing
