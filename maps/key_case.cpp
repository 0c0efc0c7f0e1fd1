#include "maps/key_case.h"

#include "os/wide_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>

namespace maps {

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


} // namespace

std::string FoldKeyCase(std::string_view key) {
    std::string folded;
    folded.reserve(key.size());
    while (!key.empty()) {
        const auto [c, length] = os::DecodeUtf8At(key, 0);
        if (length == 0) {
            folded += key.front(); // not UTF-8: the byte stands for itself
            key.remove_prefix(1);
            continue;
        }
        if (const CaseFolding* folding = FoldingOf(c)) {
            for (const char32_t to : folding->to)
                if (to != 0)
                    os::AppendUtf8(folded, to);
        } else {
            os::AppendUtf8(folded, c);
        }
        key.remove_prefix(length);
    }
    return folded;
}

} // namespace maps
