#pragma once

// The one-line descriptions of the saves, shown on the result page. The blank after the
// format name and before "効果：" is an ideographic space (U+3000); every colon is
// full-width (U+FF1A).

#include <QString>

#include <cstdint>

namespace lumivert {

QString BmpDescription(const QString& caption, const QString& toolTipText);
QString EffectDescription(const QString& engineCaption, const QString& caption, const QString& toolTipText);

// format is "PNG" or "GIF"; the colour (0x00BBGGRR) is written as RGB(r, g, b) unless the
// option stands for no transparent colour.
QString TransparentColourDescription(const QString& format, const QString& caption, std::int32_t colour,
                                     bool noTransparentColour);

QString JpgDescription(const QString& qualityText);

} // namespace lumivert
