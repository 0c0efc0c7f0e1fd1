#pragma once

// UTF-16 text for the interfaces that take it (paths, GUID texts) and back.
//
// Linux file names are bytes and need not be UTF-8. A byte that is not part of valid UTF-8
// becomes the lone surrogate U+DC80 + byte, and turns back into that byte, so every path
// survives the round trip unchanged.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace os {

std::u16string ToUtf16(std::string_view text);
std::string FromUtf16(std::u16string_view text);

// The code point of the well-formed UTF-8 sequence at text[i], and its length; length 0 when
// the bytes there are not one (overlong forms, surrogates and values past U+10FFFF too).
std::pair<char32_t, std::size_t> DecodeUtf8At(std::string_view text, std::size_t i);

// Appends c to out in UTF-8.
void AppendUtf8(std::string& out, char32_t c);

} // namespace os
