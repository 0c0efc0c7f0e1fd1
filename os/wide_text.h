#pragma once

// UTF-16 text for the interfaces that take it (paths, GUID texts) and back.
//
// Linux file names are bytes and need not be UTF-8. A byte that is not part of valid UTF-8
// becomes the lone surrogate U+DC80 + byte, and turns back into that byte, so every path
// survives the round trip unchanged.

#include <string>
#include <string_view>

namespace os {

std::u16string ToUtf16(std::string_view text);
std::string FromUtf16(std::u16string_view text);

} // namespace os
