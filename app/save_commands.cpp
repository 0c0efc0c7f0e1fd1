// The five save commands of the main window. Each reads its options, builds the output
// path in the output folder, times exactly the saver call and shows the result page.

#include "app/frm_main.h"

#include "app/busy_pointer.h"
#include "app/save_front.h"
#include "app/jpg_quality.h"
#include "app/output_folder.h"
#include "app/result_page.h"
#include "app/save_descriptions.h"
#include "bitmap/bmp_writer.h"
#include "bitmap/effect_engine.h"
#include "imaging/mdl_gdiplus.h"
#include "win32/kernel32/ticks.h"

namespace lumivert {

namespace {

std::int32_t ReadTick() { return static_cast<std::int32_t>(kernel32::GetTickCount()); }

std::string InAppFolder(const QString& fileName) { return OutputFolder() + fileName.toStdString(); }

} // namespace

void frmMain::ShowResultPage(const std::string& path, const QString& description, const TickSpan& span,
                             const char* pageColour) {
    ShowResult(path, description.toStdString(), span, pageColour, ui_.chkOpenHTML->isChecked(), messages_);
}

void frmMain::cmdSaveAsBmp_Click() {
    const std::int32_t i = GetSelectedIndex(ui_.optBmpSaveColor);
    if (i < 0)
        return;
    const OptionButton& option = ui_.optBmpSaveColor.Item(i);
    const std::int32_t depth = option.Tag().toInt();
    const std::string path = InAppFolder("Sample" + QString::number(depth) + ".bmp");

    TickSpan span;
    span.StartTick = ReadTick();
    mdlBitmap::SaveBmpFile(ui_.picTarget->hDC(), path, depth);
    span.EndTick = ReadTick();

    ShowResultPage(path, BmpDescription(option.Caption(), option.ToolTipText()), span, "White");
}

void frmMain::cmdSaveAsVariousImg_Click() {
    const BusyPointer busy; // the result page included
    const std::int32_t i = GetSelectedIndex(ui_.optBmpConv);
    if (i < 0)
        return;
    const OptionButton& option = ui_.optBmpConv.Item(i);
    const std::string path = InAppFolder("Sample" + option.Tag() + ".bmp");
    const std::int32_t id = effectIds_[static_cast<std::size_t>(i)];
    const OptionButton& pixels = ui_.optConvAPIType.Item(0);

    TickSpan span;
    span.StartTick = ReadTick();
    mdlBitmap::SaveEffectBmp(ui_.picTarget->hDC(), path, id, pixels.Value() ? -1 : 0);
    span.EndTick = ReadTick();

    const QString engine = pixels.Value() ? pixels.Caption() : ui_.optConvAPIType.Item(1).Caption();
    ShowResultPage(path, EffectDescription(engine, option.Caption(), option.ToolTipText()), span, "White");
}

void frmMain::cmdSaveAsPng_Click() {
    const std::string path = InAppFolder("Sample.png");
    const std::int32_t i = GetSelectedIndex(ui_.optPngTransparent);
    if (i < 0)
        return;
    SaveWithTransparentColour(path, ui_.optPngTransparent, i, transparentColors_[static_cast<std::size_t>(i)],
                              "PNG", mdlGdiplus::FormatPng, "#FFCCBB");
}

void frmMain::cmdSaveAsGif_Click() {
    const std::string path = InAppFolder("Sample.gif");
    const std::int32_t i = GetSelectedIndex(ui_.optGifTransparent);
    if (i < 0)
        return;
    std::int32_t colour = transparentColors_[static_cast<std::size_t>(i)];
    if (i == static_cast<std::int32_t>(transparentColors_.size()) - 1) {
        const report::MessageAnswer answer = messages_.Show(
            "どっち？\r\n"
            "\r\n"
            "(1)自力実装処理で出力する場合(ハーフトーンなし＆重い) → [はい]\r\n"
            "(2)API でサクっと出力する場合(ハーフトーンあり＆軽い)     → [いいえ]",
            "透過なしGIF出力", report::MessageButtons::YesNoCancel, report::MessageIcon::Information);
        if (answer == report::MessageAnswer::Cancel)
            return;
        if (answer == report::MessageAnswer::No)
            colour = mdlGdiplus::OptionGifByEncoder;
    }
    SaveWithTransparentColour(path, ui_.optGifTransparent, i, colour, "GIF", mdlGdiplus::FormatGif, "#77CCFF");
}

void frmMain::SaveWithTransparentColour(const std::string& path, const OptionGroup& group, std::int32_t selected,
                                        std::int32_t colour, const char* format, std::int32_t formatDigit,
                                        const char* pageColour) {
    TickSpan span;
    span.StartTick = ReadTick();
    SaveByGdiplusSession(messages_, ui_.picTarget->Picture(), path, formatDigit, colour);
    span.EndTick = ReadTick();

    // The table's last entry stands for no transparent colour.
    const bool none = selected == static_cast<std::int32_t>(transparentColors_.size()) - 1;
    ShowResultPage(path, TransparentColourDescription(format, group.Item(selected).Caption(), colour, none), span,
                   pageColour);
}

void frmMain::cmdSaveAsJpg_Click() {
    const std::string path = InAppFolder("Sample.jpg");
    QLineEdit& box = *ui_.txtJpgQuality;
    const std::optional<QString> checked = CheckedQualityText(box.text());
    if (!checked) {
        messages_.Show("0～100の値を設定してくださいな", "入力エラー", report::MessageButtons::Ok, report::MessageIcon::Information);
        return;
    }
    if (*checked != box.text())
        box.setText(*checked);
    const std::int32_t quality = ConvertToLong(box.text()).value_or(0); // numeric and in range by now

    TickSpan span;
    span.StartTick = ReadTick();
    SaveByGdiplusSession(messages_, ui_.picTarget->Picture(), path, mdlGdiplus::FormatJpeg, quality);
    span.EndTick = ReadTick();

    ShowResultPage(path, JpgDescription(box.text()), span, "White");
}

} // namespace lumivert
