// Linked into every test program: when a test ends, passed or failed, every process it started
// and left running (a stand-in browser, a real Chromium, a program copy) is ended.
//
// The test program is the subreaper of what it starts, so a process whose parent went away (a
// browser started through the desktop's opener, a detached program whose handle ended) is still
// found below it. The ended processes are not reaped here: a handle the test still holds may want
// to see the end itself, and the C library's records of them go with the test program.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

namespace {

// The processes below this one that have not ended yet, by /proc/PID/stat ("pid (name) state ppid ...").
std::vector<pid_t> LiveDescendants() {
    std::multimap<pid_t, std::pair<pid_t, char>> children; // parent: pid and state
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string pid = entry.path().filename();
        std::string line;
        if (pid.find_first_not_of("0123456789") != std::string::npos || !std::getline(std::ifstream(entry.path() / "stat"), line))
            continue;
        const auto nameEnd = line.rfind(')'); // a name may hold spaces and brackets
        if (nameEnd != std::string::npos && nameEnd + 4 <= line.size())
            children.emplace(std::strtol(line.c_str() + nameEnd + 4, nullptr, 10), std::pair(std::stoi(pid), line[nameEnd + 2]));
    }
    std::vector<pid_t> below{::getpid()}, live;
    for (std::size_t i = 0; i < below.size(); ++i)
        for (auto [child, end] = children.equal_range(below[i]); child != end; ++child) {
            below.push_back(child->second.first);
            if (child->second.second != 'Z' && child->second.second != 'X')
                live.push_back(child->second.first);
        }
    return live;
}

class EndLeftoverProcesses : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override {
        // A process may start another while the first is being ended: look again until none is left.
        for (int round = 0; round < 5; ++round) {
            const std::vector<pid_t> live = LiveDescendants();
            if (live.empty())
                return;
            for (const pid_t pid : live)
                ::kill(pid, SIGKILL);
            ::usleep(20000);
        }
    }
};

[[maybe_unused]] const bool kRegistered = [] {
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    ::testing::UnitTest::GetInstance()->listeners().Append(new EndLeftoverProcesses);
    return true;
}();

} // namespace
