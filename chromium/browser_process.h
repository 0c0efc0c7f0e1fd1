#pragma once

// The browsers this program starts, and what it knows about each.
//
// A Chromium-family browser is started with a profile folder of its own. On the blank page
// it also gets DevTools controls over a pipe that only this program holds
// (devtools_pipe.h): they tell when the browser is ready for input, give its window and
// page, and take the close request. On a page file it gets no controls at all. Its blank
// page is an empty local file in that profile folder rather than "about:blank", because a
// page without a local-file origin loads no local picture. Any other browser is only
// started on its target. Each browser is held by a pidfd (started_program.h) for as long
// as the program may still address it, and forgotten once it has ended.

#include <QJsonObject>
#include <QString>

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace chromium {

using std::chrono::milliseconds;

inline constexpr const char* kBlankPage = "about:blank";

// True for the browsers that offer the DevTools endpoint (judged by the program's name).
bool IsChromiumFamily(const std::string& program);

// True for a DevTools target id (letters, digits and dashes), safe to put into a URL.
bool IsTargetId(const QString& id);

// A page the browser lists, as a Target.getTargets result names it.
struct PageTarget {
    QString id;  // a target id (IsTargetId)
    QString url;
};

// The page targets of a Target.getTargets result: entries of type "page" whose id is a
// target id; anything else in the answer is passed over.
std::vector<PageTarget> PageTargetsOf(const QJsonObject& targets);

// The endpoint of a page beside its browser's endpoint: …/devtools/page/<target id>.
std::string PageEndpoint(const std::string& browserEndpoint, const std::string& targetId);

// Starts program on target (a file path, or kBlankPage) from an argument list, the target
// as one argument. Returns the process id; throws report::RaisedError when the program
// cannot be started.
pid_t StartBrowser(const std::string& program, const std::string& target);

enum class ReadyState { Ready, TimedOut, Failed };

// Waits at most limit until the browser started as pid is ready for input: its DevTools
// controls answer and its page has left the initial empty page and finished loading its
// target. A browser without controls is ready once started.
// Failed when pid is no browser of this program or it ended before it was ready.
ReadyState WaitUntilReady(pid_t pid, milliseconds limit);

// The DevTools endpoint of a ready browser: the name of its pipe (devtools_pipe.h).
std::optional<std::string> BrowserEndpoint(pid_t pid);

// The browsers of this program that are still running and ready.
std::vector<pid_t> ReadyBrowsers();

// Every browser this program started that still runs (for tests that clean up).
std::vector<pid_t> RunningBrowsers();

// Ends the hold on a browser that this program will not address again: one that is not
// ready with DevTools controls once its start has been waited for (a browser on a page
// file, or one that never answered). Its pidfd and pipe are closed; while it runs it
// stays among RunningBrowsers, and its record goes once it has ended.
void ReleaseUnlessReady(pid_t pid);

// Asks the browser to close, waits a bounded time for it to end (ending its process group
// if it does not, through its pidfd), and removes its profile folder.
void CloseBrowser(pid_t pid);

} // namespace chromium
