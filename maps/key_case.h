#pragma once

// Keys of a keyed collection are compared without regard to letter case. Two keys are equal
// when their folded forms are equal byte for byte.

#include <string>
#include <string_view>

namespace maps {

// The key folded by Unicode's full case folding (CaseFolding.txt, status C and F, without
// the Turkic alternatives), the same for every locale: "Ạ" becomes "ạ", "Ǆ" and "ǅ" become
// "ǆ", "ß" becomes "ss". The key is read as UTF-8; bytes that are not UTF-8 are kept as they
// are. Keys are not normalised: a precomposed letter and its decomposed spelling stay apart.
std::string FoldKeyCase(std::string_view key);

} // namespace maps
