#include "maps/key_case.h"

#include <cstdint>

namespace lumivert {

namespace {

// The small letter of a capital letter; any other code point unchanged.
char32_t SmallLetter(char32_t c) {
    if (c >= U'A' && c <= U'Z')
        return c + 0x20;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) // Latin-1 capitals, without the multiplication sign
        return c + 0x20;
    // Latin Extended-A pairs capital and small letter side by side; dotted I, dotless i, kra
    // and long s have no simple partner.
    if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return c % 2 == 0 ? c + 1 : c;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return c % 2 == 1 ? c + 1 : c;
    if (c == 0x178) // capital Y with diaeresis, whose small letter is in Latin-1
        return 0xFF;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) // Greek capitals (0x3A2 is unassigned)
        return c + 0x20;
    if (c >= 0x410 && c <= 0x42F) // Cyrillic capitals
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) // Cyrillic capitals with marks
        return c + 0x50;
    if (c >= 0xFF21 && c <= 0xFF3A) // full-width Latin capitals
        return c + 0x20;
    return c;
}

// The length of the well-formed UTF-8 sequence at the start of text and its code point;
// length 0 when the bytes there are not one.
std::size_t DecodeOne(std::string_view text, char32_t& c) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) {
        c = lead;
        return 1;
    }
    std::size_t length = 0;
    char32_t smallest = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, c = lead & 0x1F, smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F, smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, c = lead & 0x07, smallest = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        c = c << 6 | (byte(i) & 0x3F);
    }
    const bool wellFormed = c >= smallest && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
    return wellFormed ? length : 0;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

std::string FoldKeyCase(std::string_view key) {
    std::string folded;
    folded.reserve(key.size());
    while (!key.empty()) {
        char32_t c = 0;
        const std::size_t length = DecodeOne(key, c);
        if (length == 0) {
            folded += key.front(); // not UTF-8: the byte stands for itself
            key.remove_prefix(1);
            continue;
        }
        AppendUtf8(folded, SmallLetter(c));
        key.remove_prefix(length);
    }
    return folded;
}

} // namespace lumivert
