// Runs a copy of this test program in a fresh folder: the program's folder the saves write to.
// The copy ends with this process, however this one ends; an interrupt or a termination also
// removes the folder.

#include "tests/support/scratch_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t copyPid = 0;

void EndCopy(int) {
    if (copyPid > 0)
        ::kill(copyPid, SIGKILL); // waitpid below then returns, and the folder is removed
}

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("LUMIVERT_PRIVATE_PROGRAM_FOLDER")) {
        ::testing::InitGoogleTest(&argc, argv);
        return RUN_ALL_TESTS();
    }
    const test_support::ScratchFolder folder;
    const std::string copy = folder / "copy";
    std::filesystem::copy_file("/proc/self/exe", copy);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
    setenv("LUMIVERT_PRIVATE_PROGRAM_FOLDER", "1", 1);
    const pid_t parent = ::getpid();
    const pid_t child = fork();
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) // the parent ended before the line above
            _exit(1);
        execv(copy.c_str(), argv);
        _exit(127);
    }
    copyPid = child;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, EndCopy);
    int status = 1;
    if (child > 0)
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    return child > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
