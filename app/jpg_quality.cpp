#include "app/jpg_quality.h"

#include <algorithm>
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

// For a number that does not fit a double: whether it is too large rather than too small.
// The decimal exponent of its first significant digit decides, not the exponent's sign:
// "1" with 400 zeros and "e-1" is still far too large.
bool IsTooLarge(std::string_view number) {
    if (!number.empty() && IsSign(number.front()))
        number.remove_prefix(1);
    long magnitude = 0; // digits before the point from the first significant one, or minus the zeros after it
    bool significant = false;
    bool afterPoint = false;
    std::size_t i = 0;
    for (; i < number.size() && number[i] != 'e' && number[i] != 'E'; ++i) {
        if (number[i] == '.') {
            afterPoint = true;
        } else if (!significant && number[i] == '0') {
            if (afterPoint)
                --magnitude;
        } else {
            significant = true;
            if (!afterPoint)
                ++magnitude;
        }
    }
    long exponent = 0;
    if (i < number.size()) {
        std::string_view digits = number.substr(i + 1);
        const bool negative = !digits.empty() && digits.front() == '-';
        if (!digits.empty() && IsSign(digits.front()))
            digits.remove_prefix(1);
        for (const char c : digits)
            exponent = std::min(exponent * 10 + (c - '0'), 1'000'000'000L); // far past any double
        if (negative)
            exponent = -exponent;
    }
    return magnitude + exponent > 0;
}

// A numeric text: surrounding blanks, an optional sign, digits with an optional decimal
// fraction (".5" and "5." count), an optional exponent. Empty or alphabetic text is not.
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
        // Too small to hold rounds to 0, too large stays too large.
        if (!IsTooLarge(text))
            return 0.0;
        return negative ? -HUGE_VAL : HUGE_VAL;
    }
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

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
