#include "app/mdl_common.h"

#include "win32/shell32/shell32.h"

#include <filesystem>

namespace mdlCommon {

std::string GetAppFolder() {
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    std::string folder = error ? std::filesystem::current_path(error).string() : program.parent_path().string();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

void OpenByShell(report::MessageBoxes& messages, const std::string& path) {
    const shell32::HINSTANCE result =
        shell32::ShellExecuteA(0, "OPEN", path.c_str(), nullptr, nullptr, shell32::SW_SHOWNORMAL);
    if (result < 32)
        messages.Show(path + "を開けませんでした？", "なんで？", report::MessageButtons::Ok,
                      report::MessageIcon::Information);
}

} // namespace mdlCommon
