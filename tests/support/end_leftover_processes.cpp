// Linked into every test program: when a test ends, passed or failed, every process it started
// and left running (a stand-in browser, a real Chromium, a program copy) is ended.
//
// The test program is the subreaper of what it starts, so a process whose parent went away (a
// browser started through the desktop's opener, a detached program whose handle ended) is still
// found below it. The ended processes are not reaped here: a handle the test still holds may want
// to see the end itself, and the C library's records of them go with the test program.

#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

struct ProcessEntry {
    pid_t parent = 0;
    char state = '?';
};

// Every process's parent and state, read from /proc/PID/stat ("pid (name) state ppid ...").
std::map<pid_t, ProcessEntry> ProcessTable() {
    std::map<pid_t, ProcessEntry> table;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr)
        return table;
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
        std::string line;
        std::getline(stat, line);
        const auto nameEnd = line.rfind(')'); // a name may hold spaces and brackets
        if (nameEnd == std::string::npos || nameEnd + 4 > line.size())
            continue;
        ProcessEntry process;
        process.state = line[nameEnd + 2];
        process.parent = static_cast<pid_t>(std::strtol(line.c_str() + nameEnd + 4, nullptr, 10));
        table[static_cast<pid_t>(pid)] = process;
    }
    ::closedir(proc);
    return table;
}

// The processes below this one that have not ended yet.
std::vector<pid_t> LiveDescendants() {
    const auto table = ProcessTable();
    std::vector<pid_t> below{::getpid()}, live;
    for (std::size_t i = 0; i < below.size(); ++i)
        for (const auto& [pid, process] : table)
            if (process.parent == below[i]) {
                below.push_back(pid);
                if (process.state != 'Z' && process.state != 'X')
                    live.push_back(pid);
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
