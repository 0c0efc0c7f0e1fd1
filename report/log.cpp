#include "report/log.h"

#include <cstdio>
#include <string>

namespace report {

void LogFailure(std::string_view where, std::string_view reason) {
    // One write per line, so that lines of two threads never interleave.
    std::string line = "lumivert: ";
    line.append(where).append(": ").append(reason).push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void LogMessageBox(std::string_view title, std::string_view text) {
    std::string oneLine;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue; // CR LF is one break
        if (text[i] == '\n')
            oneLine += "\\n";
        else if (text[i] == '\\')
            oneLine += "\\\\";
        else
            oneLine += text[i];
    }
    LogFailure(std::string("message box: ").append(title), oneLine);
}

} // namespace report
