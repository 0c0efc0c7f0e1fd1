#pragma once

// A value that carries its own kind: empty, a number, a string or a reference to an object.
// Copies of an object reference share the object, as references do.

#include <compare>
#include <concepts>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

namespace maps {

class TaggedValue {
public:
    enum class Kind { Empty, Number, String, Object };

    TaggedValue() = default;
    TaggedValue(double number) : value_(number) {}
    template <std::integral Integer>
        requires(!std::same_as<Integer, bool>)
    TaggedValue(Integer number) : value_(static_cast<double>(number)) {}
    TaggedValue(bool) = delete; // a truth value is not one of the kinds
    TaggedValue(std::string text) : value_(std::move(text)) {}
    TaggedValue(std::string_view text) : value_(std::string(text)) {}
    TaggedValue(const char* text) : value_(std::string(text)) {}
    // A reference to an object of any type; a null reference is still an object reference
    // (one that refers to nothing).
    template <typename Object>
    TaggedValue(std::shared_ptr<Object> object) : value_(std::shared_ptr<void>(std::move(object))) {}

    Kind kind() const { return static_cast<Kind>(value_.index()); }
    bool IsEmpty() const { return kind() == Kind::Empty; }

    // The value as the kind it holds; the type-mismatch error for any other kind.
    double AsNumber() const;
    const std::string& AsString() const;
    const std::shared_ptr<void>& AsObject() const;

    // The value as text: a string as it is, a number in ordinary decimal form with the
    // fewest digits that read back to the same number ("1", "0.5", "100000000000000000000",
    // never "1e+20"), the empty value as "", an object reference as "<object>" and a null
    // reference as "<nothing>".
    std::string TextForm() const;

    // Same kind and same content; object references are equal when they refer to the same
    // object.
    friend bool operator==(const TaggedValue&, const TaggedValue&) = default;

private:
    std::variant<std::monostate, double, std::string, std::shared_ptr<void>> value_;
};

} // namespace maps
