// Runs a copy of this test program in a fresh folder: the program's folder the saves write to.

#include "tests/support/scratch_folder.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
    constexpr const char* kMarker = "LUMIVERT_PRIVATE_PROGRAM_FOLDER";
    if (std::getenv(kMarker)) {
        ::testing::InitGoogleTest(&argc, argv);
        return RUN_ALL_TESTS();
    }
    const test_support::ScratchFolder folder;
    const std::string copy = folder / std::filesystem::read_symlink("/proc/self/exe").filename().string();
    std::filesystem::copy_file("/proc/self/exe", copy);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
    int status = 1;
    const pid_t child = fork();
    if (child == 0) {
        setenv(kMarker, folder.path().c_str(), 1);
        execv(copy.c_str(), argv);
        _exit(127);
    }
    if (child > 0)
        waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
