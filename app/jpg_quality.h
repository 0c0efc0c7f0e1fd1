#pragma once

// The check of the JPEG quality text before a save.

#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

namespace lumivert {

// The text as a signed 32-bit integer, fractions rounded to the nearest integer and halves
// to the even neighbour; empty when the text is not numeric or the value does not fit.
std::optional<std::int32_t> ConvertToLong(const QString& text);

// The text the quality box should hold before the save: "0" for a value below 0, "100" for
// one above 100, else the text exactly as typed; empty when the text cannot be used.
std::optional<QString> CheckedQualityText(const QString& text);

} // namespace lumivert
