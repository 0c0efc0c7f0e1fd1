#include "maps/key_case.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>

namespace lumivert {

namespace {

// Unicode's full case folding: each code point that folds, with what it folds to (one to
// three code points, the rest 0), in ascending order. Every other code point folds to itself.
struct CaseFolding {
    char32_t from;
    std::array<char32_t, 3> to;
};

constexpr CaseFolding kCaseFoldings[] = {
#include "case_folding_table.inc"
};
static_assert(std::ranges::is_sorted(kCaseFoldings, {}, &CaseFolding::from));

// The entry for c, or none when c folds to itself.
const CaseFolding* FoldingOf(char32_t c) {
    const auto found = std::ranges::lower_bound(kCaseFoldings, c, {}, &CaseFolding::from);
    return found != std::end(kCaseFoldings) && found->from == c ? found : nullptr;
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
        if (const CaseFolding* folding = FoldingOf(c)) {
            for (const char32_t to : folding->to)
                if (to != 0)
                    AppendUtf8(folded, to);
        } else {
            AppendUtf8(folded, c);
        }
        key.remove_prefix(length);
    }
    return folded;
}

} // namespace lumivert
