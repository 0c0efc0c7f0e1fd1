#include "maps/tagged_value.h"

#include "maps/map_errors.h"

#include <array>
#include <charconv>

namespace lumivert {

namespace {

template <typename Held, typename Variant>
const Held& Get(const Variant& value) {
    if (const Held* held = std::get_if<Held>(&value))
        return *held;
    throw MapError(kTypeMismatch);
}

std::string NumberText(double number) {
    if (number == 0)
        return "0"; // also for -0, which reads as plain 0
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), number);
    return std::string(buffer.data(), result.ptr);
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

} // namespace lumivert
