// The save tests write into the program's folder, which is the folder of the running test
// program. So that they never touch the build's shared output folder (or race with other
// tests there), the test program copies itself into a fresh folder, runs the copy with the
// same arguments and removes the folder afterwards.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kMarker = "LUMIVERT_PRIVATE_PROGRAM_FOLDER";

int RunCopyInFreshFolder(char** argv) {
    std::string pattern = (fs::temp_directory_path() / "lumivert-window-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        return 1;
    const fs::path folder = pattern;
    const fs::path copy = folder / fs::read_symlink("/proc/self/exe").filename();
    fs::copy_file("/proc/self/exe", copy);
    fs::permissions(copy, fs::perms::owner_all);

    int status = 1;
    const pid_t child = fork();
    if (child == 0) {
        setenv(kMarker, folder.c_str(), 1);
        execv(copy.c_str(), argv);
        _exit(127);
    }
    if (child > 0)
        waitpid(child, &status, 0);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv(kMarker))
        return RunCopyInFreshFolder(argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
