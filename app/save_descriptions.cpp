#include "app/save_descriptions.h"

namespace lumivert {

namespace {

// Bits 0-7, 8-15 and 16-23 of a value: red, green and blue of a colour value. The top byte
// is ignored, so -1 gives 255, 255, 255.
struct SplitColour {
    explicit SplitColour(std::int32_t value)
        : first(value & 0xFF), second((value >> 8) & 0xFF), third((value >> 16) & 0xFF) {}
    int first, second, third;
};

} // namespace

QString TipSuffix(const QString& toolTipText) {
    return toolTipText.isEmpty() ? QString() : "(" + toolTipText + ")";
}

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
        const SplitColour rgb(colour);
        description += QString(" = RGB(%1, %2, %3)").arg(rgb.first).arg(rgb.second).arg(rgb.third);
    }
    return description;
}

QString JpgDescription(const QString& qualityText) { return "ファイル種類：JPG　画質：" + qualityText; }

} // namespace lumivert
