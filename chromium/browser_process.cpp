#include "chromium/browser_process.h"

#include "chromium/browser_profile.h"
#include "chromium/devtools_connection.h"
#include "chromium/devtools_pipe.h"
#include "chromium/page_state.h"
#include "os/program_start.h"
#include "report/raised_error.h"

#include <QJsonArray>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <string_view>
#include <sys/socket.h>
#include <memory>
#include <thread>
#include <unistd.h>

namespace chromium {

namespace {

struct LaunchedBrowser {
    std::unique_ptr<os::StartedProgram> process; // signalled only through its pidfd
    std::string profileFolder;           // empty for a browser that is not Chromium-family
    std::shared_ptr<DevToolsPipe> pipe;  // the control channel, for a blank page only
    std::string pipeEndpoint;            // the name of that channel
    std::optional<std::string> endpoint; // set once the browser is ready
    bool ready = false;
};

std::map<pid_t, LaunchedBrowser>& Launched() {
    static std::map<pid_t, LaunchedBrowser> launched;
    return launched;
}

// Each question to a starting browser gets this long before it is asked again.
constexpr milliseconds kProbeLimit{1000};
constexpr milliseconds kProbeInterval{50};
constexpr milliseconds kCloseLimit{5000};
constexpr milliseconds kEndAfterSignal{2000};

constexpr std::array kChromiumFamilyNames{"chromium", "chrome", "msedge", "microsoft-edge", "brave", "vivaldi"};

// Chromium draws through X11 unless told otherwise. In a Wayland session it draws natively,
// as this program does; with no X server at all it could not start otherwise.
bool InWaylandSession() {
    const auto set = [](const char* name) { return std::getenv(name) && *std::getenv(name); };
    const char* session = std::getenv("XDG_SESSION_TYPE");
    return set("WAYLAND_DISPLAY") && (!set("DISPLAY") || (session && std::string_view(session) == "wayland"));
}

// A browser opened on a file needs no controls; one opened on the blank page is filled in
// through DevTools over a pipe (descriptors 3 and 4), never through a port that anyone on
// the machine could connect to.
std::vector<std::string> ChromiumArguments(const std::string& program, const std::string& profile,
                                           const std::string& target) {
    std::vector<std::string> arguments{
        program,
        "--user-data-dir=" + profile,
        "--no-first-run",
        "--no-default-browser-check",
        "--disable-sync",
    };
    if (target == kBlankPage)
        arguments.push_back("--remote-debugging-pipe");
    if (::geteuid() == 0)
        arguments.push_back("--no-sandbox"); // Chromium will not run as root inside its sandbox
    if (InWaylandSession())
        arguments.push_back("--ozone-platform=wayland");
    if (target == kBlankPage)
        arguments.push_back(QUrl::fromLocalFile(QString::fromStdString(BlankPagePath(profile)))
                                .toString(QUrl::FullyEncoded)
                                .toStdString());
    else
        arguments.push_back(target);
    return arguments;
}

report::RaisedError StartError(int error, const std::string& program) {
    const bool missing = error == ENOENT || error == ENOTDIR;
    return report::RaisedError(missing ? report::kFileNotFound : report::kPermissionDenied,
                                 std::string(missing ? "ファイルが見つかりません。" : "プログラムを起動できません。") +
                                     " (" + program + ": " + std::strerror(error) + ")");
}

// One look at a starting browser: its endpoint, once that answers and its page has left
// the initial empty page and finished loading its target. Only then is the document
// reachable: the page list names the target while the page still shows "about:blank" or
// is loading, and a browser counted ready then would give the result page no document
// within its two short waits on a busy machine.
std::optional<std::string> ProbeEndpoint(const std::string& endpoint, milliseconds limit) {
    DevToolsConnection browser(QString::fromStdString(endpoint));
    const auto targets = browser.Call("Target.getTargets", {}, std::min(limit, kProbeLimit));
    if (!targets)
        return std::nullopt;
    for (const PageTarget& target : PageTargetsOf(*targets)) {
        if (target.url.isEmpty() || target.url == kBlankPage)
            continue;
        if (IsDocumentLoaded(PageEndpoint(endpoint, target.id.toStdString()), limit))
            return endpoint;
    }
    return std::nullopt;
}

void Forget(std::map<pid_t, LaunchedBrowser>::iterator record) {
    if (!record->second.profileFolder.empty())
        RemoveProfileFolder(record->second.profileFolder);
    Launched().erase(record);
}

// The records of browsers that ended (closed by the user, or failed) go, with their
// profile folders: a long session must not pile them up.
void ForgetEndedBrowsers() {
    for (auto record = Launched().begin(); record != Launched().end();) {
        const auto next = std::next(record);
        if (!record->second.process->IsRunning())
            Forget(record);
        record = next;
    }
}

} // namespace

bool IsTargetId(const QString& id) {
    // ASCII only: QChar::isLetterOrNumber would also let letters of any script through.
    return !id.isEmpty() && id.size() < 100 && std::all_of(id.begin(), id.end(), [](QChar c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
           });
}

std::vector<PageTarget> PageTargetsOf(const QJsonObject& targets) {
    std::vector<PageTarget> pages;
    for (const QJsonValue& value : targets.value("targetInfos").toArray()) {
        const QJsonObject info = value.toObject();
        const QString id = info.value("targetId").toString();
        if (info.value("type").toString() == "page" && IsTargetId(id))
            pages.push_back({id, info.value("url").toString()});
    }
    return pages;
}

std::string PageEndpoint(const std::string& browserEndpoint, const std::string& targetId) {
    return browserEndpoint.substr(0, browserEndpoint.find("/devtools/")) + "/devtools/page/" + targetId;
}

bool IsChromiumFamily(const std::string& program) {
    const std::string name = std::filesystem::path(program).filename().string();
    for (const char* family : kChromiumFamilyNames)
        if (name.find(family) != std::string::npos)
            return true;
    return false;
}

pid_t StartBrowser(const std::string& program, const std::string& target) {
    LaunchedBrowser browser;
    std::vector<std::string> arguments{program, target};
    int channel[2] = {-1, -1}; // this program's end, the browser's end
    if (IsChromiumFamily(program)) {
        const auto profile = MakeProfileFolder();
        if (!profile)
            throw report::RaisedError(report::kPathFileAccessError,
                                        "ブラウザのプロファイルフォルダを作成できません。");
        browser.profileFolder = *profile;
        arguments = ChromiumArguments(program, *profile, target);
        if (target == kBlankPage && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel) != 0) {
            RemoveProfileFolder(browser.profileFolder);
            throw report::RaisedError(report::kPathFileAccessError, "ブラウザとの接続を作成できません。");
        }
    }
    os::PassedDescriptors passed;
    if (channel[0] >= 0) {
        // The browser reads commands from descriptor 3 and answers on 4. It also keeps a
        // copy of this program's end, so that when this program exits the browser reads no
        // end of its input and stays open like any browser window.
        browser.pipe = std::make_shared<DevToolsPipe>(channel[0]);
        passed = {channel[1], channel[1], channel[0]};
    }
    os::ProgramStart start = os::StartDetached(arguments, passed);
    if (channel[1] >= 0)
        ::close(channel[1]);
    if (!start.started()) {
        if (!browser.profileFolder.empty())
            RemoveProfileFolder(browser.profileFolder);
        throw StartError(start.error, program);
    }
    const pid_t pid = start.program->pid();
    if (!browser.profileFolder.empty())
        RecordProfileOwner(browser.profileFolder, pid);
    browser.process = std::move(start.program);
    if (browser.pipe)
        browser.pipeEndpoint = DevToolsPipe::Register(pid, browser.pipe);
    ForgetEndedBrowsers(); // a record under the new id, too, is one of a browser that ended
    Launched()[pid] = std::move(browser);
    return pid;
}

ReadyState WaitUntilReady(pid_t pid, milliseconds limit) {
    const auto found = Launched().find(pid);
    if (found == Launched().end())
        return ReadyState::Failed;
    LaunchedBrowser& browser = found->second;
    if (browser.ready)
        return ReadyState::Ready;
    if (!browser.pipe) {
        // No controls to ask: a browser that started is as ready as can be known.
        browser.ready = browser.process->IsRunning();
        return browser.ready ? ReadyState::Ready : ReadyState::Failed;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (!browser.process->IsRunning())
            return ReadyState::Failed;
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
        if (auto endpoint = ProbeEndpoint(browser.pipeEndpoint, std::max(left, kProbeInterval))) {
            browser.endpoint = std::move(endpoint);
            browser.ready = true;
            return ReadyState::Ready;
        }
        if (std::chrono::steady_clock::now() + kProbeInterval >= deadline)
            return ReadyState::TimedOut;
        std::this_thread::sleep_for(kProbeInterval);
    }
}

std::optional<std::string> BrowserEndpoint(pid_t pid) {
    const auto found = Launched().find(pid);
    return found == Launched().end() ? std::nullopt : found->second.endpoint;
}

std::vector<pid_t> ReadyBrowsers() {
    std::vector<pid_t> ready;
    for (const auto& [pid, browser] : Launched())
        if (browser.ready && browser.endpoint && browser.process->IsRunning())
            ready.push_back(pid);
    return ready;
}

std::vector<pid_t> RunningBrowsers() {
    std::vector<pid_t> running;
    for (const auto& [pid, browser] : Launched())
        if (browser.process->IsRunning())
            running.push_back(pid);
    return running;
}

void ReleaseUnlessReady(pid_t pid) {
    const auto found = Launched().find(pid);
    if (found == Launched().end() || (found->second.ready && found->second.endpoint))
        return;
    if (!found->second.process->IsRunning()) {
        Forget(found);
        return;
    }
    found->second.pipe.reset();
    found->second.process->ReleasePidfd();
}

void CloseBrowser(pid_t pid) {
    const auto found = Launched().find(pid);
    if (found == Launched().end())
        return;
    if (found->second.endpoint && found->second.process->IsRunning()) {
        DevToolsConnection connection(QString::fromStdString(*found->second.endpoint));
        connection.Call("Browser.close", {}, kProbeLimit);
    }
    // Signals go through the browser's pidfd: when the user closed it long ago and its id
    // went to another process, nothing reaches that process.
    const os::StartedProgram& process = *found->second.process;
    if (!process.WaitForEnd(kCloseLimit)) {
        process.SignalGroup(SIGTERM); // the browser leads its own process group
        if (!process.WaitForEnd(kEndAfterSignal) && !process.SignalGroup(SIGKILL))
            process.Signal(SIGKILL);
        process.WaitForEnd(kEndAfterSignal);
    }
    Forget(found);
}

} // namespace chromium
