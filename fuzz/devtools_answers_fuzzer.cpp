// What a browser sends back, read as the browser layer reads it: a DevTools text message
// (answer, event or garbage), the result inside an answer, an evaluated script value, the
// page list of Target.getTargets, and the endpoint announcement in the profile folder.
// Besides not crashing: only the awaited id is an answer, an error answer has no result,
// every listed page id is safe to put into an address, and an accepted announcement is a
// loopback WebSocket address.

#include "chromium/browser_process.h"
#include "chromium/browser_profile.h"
#include "chromium/devtools_connection.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "devtools_answers: %s\n", what);
        std::abort();
    }
}

bool IsAddressSafe(const std::string& text) {
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '/' ||
              c == ':' || c == '.'))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const int awaitedId = data[0] % 4; // 0: no command in flight
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    QJsonObject answer;
    const chromium::MessageMeaning meaning =
        chromium::ReadMessage(QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())), awaitedId, answer);
    if (meaning == chromium::MessageMeaning::Answer) {
        Require(awaitedId != 0 && answer.value("id").toInt(-1) == awaitedId, "an answer to another command");
        const auto result = chromium::ResultOfAnswer(answer);
        Require(!result || !answer.contains("error"), "an error answer gave a result");
        if (result) {
            chromium::EvaluatedValue(*result);
            const std::string endpoint = "ws://127.0.0.1:9222/devtools/browser/0123-abcd";
            for (const chromium::PageTarget& page : chromium::PageTargetsOf(*result)) {
                Require(chromium::IsTargetId(page.id), "a page id that is no target id");
                const std::string pageEndpoint = chromium::PageEndpoint(endpoint, page.id.toStdString());
                Require(pageEndpoint.starts_with("ws://127.0.0.1:9222/devtools/page/") && IsAddressSafe(pageEndpoint),
                        "a page endpoint outside the browser's address");
            }
        }
    } else {
        Require(answer.isEmpty(), "a message that is no answer filled the answer");
    }

    if (const auto endpoint = chromium::EndpointFromAnnouncement(bytes))
        Require(endpoint->starts_with("ws://127.0.0.1:") && IsAddressSafe(*endpoint) &&
                    endpoint->find("/devtools/browser/") != std::string::npos,
                "an announced endpoint that is not a loopback DevTools address");
    return 0;
}
