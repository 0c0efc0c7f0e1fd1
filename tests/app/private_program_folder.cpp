// Runs a copy of this test program in a fresh folder: the program's folder the saves write to.

#include "tests/support/scratch_folder.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

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
    int status = 1;
    const pid_t child = fork();
    if (child == 0) {
        execv(copy.c_str(), argv);
        _exit(127);
    }
    if (child > 0)
        waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
