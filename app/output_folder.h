#pragma once

// Where the saves and the result page write their files.

#include <string>

namespace lumivert {

// The program's folder (mdlCommon::GetAppFolder) when the user may make files in it, as in
// the build folder or a per-user installation. Otherwise (a system-wide installation, say
// /usr/bin) the user's pictures folder + "Lumivert/", made here when missing. Decided anew
// for every save; a folder that cannot be made is still returned, so the save fails with its
// own message. Always ends in "/".
std::string OutputFolder();

} // namespace lumivert
