// The JPEG quality text check against a plain model: the grammar as a regular expression,
// the value by strtod, rounded half to even and refused outside 32 bits. The check must
// agree on every text, and the text it leaves in the box must be "0", "100" or the text as
// typed, as the value says.

#include "app/jpg_quality.h"

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <regex>
#include <string>

namespace {

std::optional<std::int32_t> ModelQuality(const std::string& text) {
    static const std::regex kNumber(R"([ \t]*([+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?)[ \t]*)");
    std::smatch match;
    if (!std::regex_match(text, match, kNumber))
        return std::nullopt;
    const std::string number = match[1].str();
    const double value = std::strtod(number.c_str(), nullptr); // ±HUGE_VAL when too large
    const double rounded = std::nearbyint(value);
    if (!(rounded >= std::numeric_limits<std::int32_t>::min() && rounded <= std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return static_cast<std::int32_t>(rounded);
}

void Require(bool condition, const std::string& what, const std::string& text) {
    if (!condition) {
        std::fprintf(stderr, "jpeg_quality: %s for \"%s\"\n", what.c_str(), text.c_str());
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096)
        return 0; // the regular expression recurses per character
    const QString typed = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::string text = typed.toStdString(); // what the check reads
    const std::optional<std::int32_t> quality = lumivert::ConvertToLong(typed);
    const std::optional<std::int32_t> expected = ModelQuality(text);
    Require(quality == expected,
            "converted to " + (quality ? std::to_string(*quality) : std::string("nothing")) + ", the model " +
                (expected ? std::to_string(*expected) : std::string("nothing")),
            text);

    const std::optional<QString> checked = lumivert::CheckedQualityText(typed);
    Require(checked.has_value() == quality.has_value(), "the check and the conversion disagree", text);
    if (checked) {
        const QString wanted = *quality < 0 ? QString("0") : *quality > 100 ? QString("100") : typed;
        Require(*checked == wanted, "the box would hold \"" + checked->toStdString() + "\"", text);
    }
    return 0;
}
