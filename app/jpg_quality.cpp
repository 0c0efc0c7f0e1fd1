#include "app/jpg_quality.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <regex>
#include <string>

namespace lumivert {

std::optional<double> ParseNumericText(std::string_view text) {
    static const std::regex numeric(R"(^[ \t]*([+-]?(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?)[ \t]*$)");
    std::match_results<std::string_view::const_iterator> match;
    if (!std::regex_match(text.begin(), text.end(), match, numeric))
        return std::nullopt;
    const std::string number = match[1].str();
    // from_chars takes no leading "+".
    const char* first = number.data() + (number.front() == '+' ? 1 : 0);
    double value = 0;
    const auto [end, error] = std::from_chars(first, number.data() + number.size(), value);
    if (error == std::errc::result_out_of_range)
        return number.front() == '-' ? -HUGE_VAL : HUGE_VAL;
    if (error != std::errc() || end != number.data() + number.size())
        return std::nullopt;
    return value;
}

std::optional<std::int32_t> ConvertToLong(const QString& text) {
    const std::optional<double> value = ParseNumericText(text.toStdString());
    if (!value)
        return std::nullopt;
    const double rounded = std::nearbyint(*value); // the default rounding mode: halves to even
    if (!(rounded >= std::numeric_limits<std::int32_t>::min() && rounded <= std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return static_cast<std::int32_t>(rounded);
}

std::optional<QString> CheckedQualityText(const QString& text) {
    const std::optional<std::int32_t> quality = ConvertToLong(text);
    if (!quality)
        return std::nullopt;
    if (*quality < 0)
        return QString("0");
    if (*quality > 100)
        return QString("100");
    return text;
}

} // namespace lumivert
