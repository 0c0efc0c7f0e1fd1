#pragma once

// Keys of a keyed collection are compared without regard to letter case. Two keys are equal
// when their folded forms are equal byte for byte.

#include <string>
#include <string_view>

namespace lumivert {

// The key with every capital letter replaced by its small letter. The key is read as UTF-8;
// letters of Basic Latin, Latin-1, Latin Extended-A, Greek, Cyrillic and the full-width
// Latin forms are folded, the same for every locale. Other characters and bytes that are
// not UTF-8 are kept as they are.
std::string FoldKeyCase(std::string_view key);

} // namespace lumivert
