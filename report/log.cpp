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

} // namespace report
