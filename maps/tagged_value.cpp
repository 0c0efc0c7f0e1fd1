#include "maps/tagged_value.h"

#include "maps/map_errors.h"

#include <array>
#include <charconv>
#include <string_view>

namespace maps {

namespace {

template <typename Held, typename Variant>
const Held& Get(const Variant& value) {
    if (const Held* held = std::get_if<Held>(&value))
        return *held;
    throw MapError(kTypeMismatch);
}

// A number in ordinary decimal form, never in exponent form (1000000, not 1e+06): the
// fewest significant digits that read back as the same number, written out with as many
// zeros as their place needs (1e300 is a 1 and 300 zeros, not the 301 digits of the
// number's exact binary value). Infinities and NaN have no such form and read "inf",
// "-inf", "nan".
std::string NumberText(double number) {
    if (number == 0)
        return "0"; // also for -0, which reads as plain 0
    std::array<char, 32> buffer{};
    const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), number,
                                   std::chars_format::scientific).ptr;
    const std::string_view scientific(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
    const auto e = scientific.find('e');
    if (e == std::string_view::npos)
        return std::string(scientific); // inf, nan
    int exponent = 0;
    std::from_chars(scientific.data() + e + (scientific[e + 1] == '+' ? 2 : 1), end, exponent);

    const bool negative = scientific.front() == '-';
    std::string digits;
    for (const char c : scientific.substr(negative ? 1 : 0, e - (negative ? 1 : 0)))
        if (c != '.')
            digits += c;
    const int beforePoint = exponent + 1; // digits in front of the decimal point
    const int count = static_cast<int>(digits.size());
    std::string text = negative ? "-" : "";
    if (beforePoint <= 0)
        text += "0." + std::string(static_cast<std::size_t>(-beforePoint), '0') + digits;
    else if (beforePoint >= count)
        text += digits + std::string(static_cast<std::size_t>(beforePoint - count), '0');
    else
        text += digits.substr(0, static_cast<std::size_t>(beforePoint)) + "." +
                digits.substr(static_cast<std::size_t>(beforePoint));
    return text;
}

} // namespace

double TaggedValue::AsNumber() const {
    return Get<double>(value_);
}

const std::string& TaggedValue::AsString() const {
    return Get<std::string>(value_);
}

const std::shared_ptr<void>& TaggedValue::AsObject() const {
    return Get<std::shared_ptr<void>>(value_);
}

std::string TaggedValue::TextForm() const {
    switch (kind()) {
    case Kind::Empty:
        return {};
    case Kind::Number:
        return NumberText(AsNumber());
    case Kind::String:
        return AsString();
    case Kind::Object:
        return AsObject() ? "<object>" : "<nothing>";
    }
    return {};
}

} // namespace maps
