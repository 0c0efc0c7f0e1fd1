#include "app/save_descriptions.h"

#include "bitmap/colour_formulas.h"

namespace lumivert {

namespace {

// "(" + tip + ")", or nothing for an option without a tool-tip text.
QString TipSuffix(const QString& toolTipText) {
    return toolTipText.isEmpty() ? QString() : "(" + toolTipText + ")";
}

} // namespace

QString BmpDescription(const QString& caption, const QString& toolTipText) {
    return "ファイル種類：BMP　保存色数：" + caption + TipSuffix(toolTipText);
}

QString EffectDescription(const QString& engineCaption, const QString& caption, const QString& toolTipText) {
    return "ファイル種類：BMP　変換種類：" + engineCaption + "　効果：" + caption + TipSuffix(toolTipText);
}

QString TransparentColourDescription(const QString& format, const QString& caption, std::int32_t colour,
                                     bool noTransparentColour) {
    QString description = "ファイル種類：" + format + "　透過色：" + caption;
    if (!noTransparentColour) {
        int red = 0, green = 0, blue = 0;
        mdlBitmap::SplitColor(static_cast<std::uint32_t>(colour), red, green, blue);
        description += QString(" = RGB(%1, %2, %3)").arg(red).arg(green).arg(blue);
    }
    return description;
}

QString JpgDescription(const QString& qualityText) { return "ファイル種類：JPG　画質：" + qualityText; }

} // namespace lumivert
