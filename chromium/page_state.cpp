#include "chromium/page_state.h"

#include "chromium/devtools_connection.h"

namespace chromium {

PageAnswer AskDocumentLoaded(const std::string& pageEndpoint, std::chrono::milliseconds limit) {
    DevToolsConnection page(QString::fromStdString(pageEndpoint));
    const auto answer =
        page.Evaluate("document.readyState === 'complete' && location.href !== 'about:blank'", limit);
    if (!answer)
        return PageAnswer::NoAnswer;
    return answer->isBool() && answer->toBool() ? PageAnswer::Loaded : PageAnswer::NotLoaded;
}

bool IsDocumentLoaded(const std::string& pageEndpoint, std::chrono::milliseconds limit) {
    return AskDocumentLoaded(pageEndpoint, limit) == PageAnswer::Loaded;
}

} // namespace chromium
