#include "app/jpg_quality.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace lumivert {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsSign(char c) { return c == '+' || c == '-'; }

// Removes the leading digits of text; returns how many there were.
std::size_t SkipDigits(std::string_view& text) {
    std::size_t count = 0;
    while (count < text.size() && text[count] >= '0' && text[count] <= '9')
        ++count;
    text.remove_prefix(count);
    return count;
}

// Whether text is [sign] digits [. digits] [e [sign] digits], with at least one digit
// before the exponent.
bool IsNumber(std::string_view text) {
    if (!text.empty() && IsSign(text.front()))
        text.remove_prefix(1);
    std::size_t mantissaDigits = SkipDigits(text);
    if (!text.empty() && text.front() == '.') {
        text.remove_prefix(1);
        mantissaDigits += SkipDigits(text);
    }
    if (mantissaDigits == 0)
        return false;
    if (!text.empty() && (text.front() == 'e' || text.front() == 'E')) {
        text.remove_prefix(1);
        if (!text.empty() && IsSign(text.front()))
            text.remove_prefix(1);
        if (SkipDigits(text) == 0)
            return false;
    }
    return text.empty();
}

} // namespace

std::optional<double> ParseNumericText(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    if (!IsNumber(text))
        return std::nullopt;
    const bool negative = text.front() == '-';
    if (text.front() == '+')
        text.remove_prefix(1); // from_chars takes no "+"
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Too small to hold rounds to 0 (a negative exponent), too large stays too large.
        const bool tiny = text.find("e-") != std::string_view::npos || text.find("E-") != std::string_view::npos;
        return tiny ? 0.0 : (negative ? -HUGE_VAL : HUGE_VAL);
    }
    if (error != std::errc() || end != text.data() + text.size())
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
