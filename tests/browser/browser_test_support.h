#pragma once

// Browser tests' helpers: stand-in and real headless browsers, the registry entry, page reads.

#include "browser/mdl_html_document.h"
#include "chromium/browser_process.h"
#include "chromium/devtools_connection.h"
#include "os/program_start.h"
#include "tests/browser/scoped_environment.h"
#include "tests/support/scratch_folder.h"
#include "win32/advapi32/registry_store.h"
#include "win32/user32/user32.h"

#include <QJsonValue>

#include <csignal>
#include <filesystem>
#include <unistd.h>

namespace lumivert::testing {

using namespace std::chrono_literals;

// Makes command the browser's App Paths entry, the registry's only key; "" leaves none.
inline void UseBrowserCommand(const std::string& command) {
    advapi32::ClearStore();
    if (!command.empty())
        advapi32::SetStringValue(advapi32::HKEY_LOCAL_MACHINE, advapi32::kBrowserAppPathsKey, "", command);
}

// Ends the process group of every browser this program started and forgets the frame.
inline void EndAllBrowsers() {
    for (const pid_t pid : chromium::RunningBrowsers()) {
        ::kill(-pid, SIGKILL);
        for (int i = 0; i < 300 && os::IsProcessRunning(pid); ++i)
            std::this_thread::sleep_for(10ms);
    }
    mdlHTMLDocument::BrowserFrameWnd = 0;
}

// A scratch folder that TMPDIR names for the profiles; the browsers started meanwhile end with it.
class BrowserTestFolder {
public:
    BrowserTestFolder() { tmpDir_.Set("TMPDIR", scratch_.path().c_str()); }
    ~BrowserTestFolder() { EndAllBrowsers(); }

    const std::filesystem::path& path() const { return path_; }
    // An executable script of that name: "#!/bin/sh", then body.
    std::filesystem::path WriteScript(const std::string& name, const std::string& body) const {
        test_support::WriteBytes(path_ / name, "#!/bin/sh\n" + body + "\n", 0700);
        return path_ / name;
    }
    // The installed Chromium, headless, quiet and without network.
    std::filesystem::path HeadlessChromium() const {
        return WriteScript("chromium-headless", "exec /usr/bin/chromium --headless --disable-gpu --disable-breakpad "
                                                "--disable-background-networking --disable-component-update \"$@\"");
    }

private:
    test_support::ScratchFolder scratch_;
    std::filesystem::path path_{scratch_.path()};
    ScopedEnvironment tmpDir_;
};

// A file a started program writes, once it ends with end (empty if never within 10 s).
inline std::string ReadFileOnceWritten(const std::filesystem::path& path, char end = '|') {
    return test_support::WaitForWholeFile(path, 10s, [end](const std::string& bytes) { return bytes.ends_with(end); })
        .value_or("");
}

// Evaluates expression in the frame's first page until accept holds for its value or limit
// passes; no try is cut short on a busy machine.
inline std::optional<QJsonValue> EvaluateInPage(user32::HWND frame, const std::string& expression,
                                                bool (*accept)(const QJsonValue&) = nullptr,
                                                std::chrono::milliseconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::optional<QJsonValue> value;
    do {
        const user32::HWND page = mdlHTMLDocument::FindServerWindow(frame);
        if (const std::string endpoint = page == 0 ? "" : user32::DevToolsEndpointOf(page); !endpoint.empty()) {
            value = chromium::DevToolsConnection(QString::fromStdString(endpoint))
                        .Evaluate(QString::fromStdString(expression), 10s);
            if (value && (accept == nullptr || accept(*value)))
                return value;
        }
        std::this_thread::sleep_for(100ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return value;
}

} // namespace lumivert::testing
