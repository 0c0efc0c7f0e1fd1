#include "app/frm_main_design.h"

#include <cmath>

namespace lumivert {

namespace {

// Left, top, width and height in twips to pixels, each rounded to the nearest pixel.
QRect TwipsToPixels(int left, int top, int width, int height) {
    const auto pixels = [](int twips) { return static_cast<int>(std::lround(twips / double(kTwipsPerPixel))); };
    return {pixels(left), pixels(top), pixels(width), pixels(height)};
}

struct Twips {
    int left, top, width, height;
};

template <class Control>
Control* Place(Control* control, const char* name, Twips at) {
    control->setObjectName(name);
    control->setGeometry(TwipsToPixels(at.left, at.top, at.width, at.height));
    return control;
}

QGroupBox* Frame(QWidget* container, const char* name, const QString& caption, Twips at) {
    return Place(new QGroupBox(caption, container), name, at);
}

QLabel* Label(QWidget* container, const char* name, const QString& caption, Twips at) {
    return Place(new QLabel(caption, container), name, at);
}

QPushButton* Button(QWidget* container, const char* name, const QString& caption, Twips at) {
    return Place(new QPushButton(caption, container), name, at);
}

// Narrows the letter spacing of a button whose caption would not fit its designed width
// (the layout was made for a narrower Gothic font), by at most one pixel per letter.
void FitCaption(QAbstractButton& button) {
    QFont font = button.font();
    for (double spacing = -0.1; button.sizeHint().width() > button.width() && spacing >= -1.0; spacing -= 0.1) {
        font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
        button.setFont(font);
    }
}

struct Option {
    const char* caption;
    const char* tag;
    const char* toolTipText;
    Twips at;
    bool start = false;
};

void AddOptions(OptionGroup& group, const char* name, QWidget* container, std::initializer_list<Option> options) {
    for (const Option& option : options) {
        OptionButton& button = group.Add(QString::fromUtf8(option.caption), QString::fromUtf8(option.tag),
                                         QString::fromUtf8(option.toolTipText), container);
        Place(&button, name, option.at);
        button.setChecked(option.start);
        FitCaption(button);
    }
}

} // namespace

frmMainDesign::frmMainDesign(QWidget* form)
    : picTarget(Place(new PictureBox(form), "picTarget", {120, 120, 6300, 5175})),

      frmSavePng(Frame(form, "frmSavePng", "PNGで保存する", {6600, 120, 4935, 735})),
      lblPngTransparent(Label(frmSavePng, "lblPngTransparent", "透過色：", {120, 360, 630, 180})),
      optPngTransparent(form),
      cmdSaveAsPng(Button(frmSavePng, "cmdSaveAsPng", "保存", {3960, 320, 855, 280})),

      frmSaveGif(Frame(form, "frmSaveGif", "GIFで保存する(処理はやや重い)", {6600, 960, 4935, 735})),
      lblGifTransparent(Label(frmSaveGif, "lblGifTransparent", "透過色：", {120, 330, 630, 180})),
      optGifTransparent(form),
      cmdSaveAsGif(Button(frmSaveGif, "cmdSaveAsGif", "保存", {3960, 300, 855, 280})),

      frmSaveJpg(Frame(form, "frmSaveJpg", "JPGで保存する", {6600, 1800, 4935, 735})),
      lblQuality(Label(frmSaveJpg, "lblQuality", "画質(0-100)：", {120, 330, 1020, 180})),
      txtJpgQuality(Place(new QLineEdit("100", frmSaveJpg), "txtJpgQuality", {1200, 300, 480, 270})),
      cmdSaveAsJpg(Button(frmSaveJpg, "cmdSaveAsJpg", "保存", {3960, 320, 855, 280})),

      frmSaveBmp(Frame(form, "frmSaveBmp", "BMPで保存する", {6600, 2640, 4935, 735})),
      lblSaveColor(Label(frmSaveBmp, "lblSaveColor", "保存色：", {120, 330, 630, 180})),
      optBmpSaveColor(form),
      cmdSaveAsBmp(Button(frmSaveBmp, "cmdSaveAsBmp", "保存", {3960, 280, 855, 280})),

      frmVariousEffect(Frame(form, "frmVariousEffect", "おまけ(変換種類 Pixels：かなり重い  DIBits：軽い)",
                             {6600, 3480, 4935, 1335})),
      lblEffect(Label(frmVariousEffect, "lblEffect", "効果：", {120, 280, 450, 180})),
      optBmpConv(form),
      cmdSaveAsVariousImg(Button(frmVariousEffect, "cmdSaveAsVariousImg", "保存", {3960, 240, 855, 280})),
      frmConvMode(Frame(frmVariousEffect, "frmConvMode", "変換種類", {3900, 560, 975, 720})),
      optConvAPIType(form),

      chkOpenHTML(Place(new QCheckBox("HTMLをファイルに出力して開く (対Vista、Windows7用？)", form), "chkOpenHTML",
                        {6630, 4980, 4695, 255})) {
    AddOptions(optPngTransparent, "optPngTransparent", frmSavePng,
               {{"黒", "", "", {840, 330, 495, 255}, true},
                {"白", "", "", {1440, 330, 495, 255}},
                {"青", "", "", {2040, 330, 495, 255}},
                {"赤", "", "", {2640, 330, 615, 255}},
                {"なし", "", "", {3240, 330, 615, 255}}});
    AddOptions(optGifTransparent, "optGifTransparent", frmSaveGif,
               {{"黒", "", "", {840, 330, 495, 180}, true},
                {"白", "", "", {1440, 330, 495, 180}},
                {"青", "", "", {2040, 330, 495, 180}},
                {"赤", "", "", {2640, 330, 495, 180}},
                {"なし", "", "", {3240, 330, 735, 180}}});
    AddOptions(optBmpSaveColor, "optBmpSaveColor", frmSaveBmp,
               {{"２色", "1", "", {840, 330, 615, 180}},
                {"16色", "4", "", {1560, 330, 735, 180}},
                {"256色", "8", "", {2300, 330, 855, 180}},
                {"全力", "32", "フルカラー(32Bit)", {3140, 330, 735, 180}, true}});
    AddOptions(optBmpConv, "optBmpConv", frmVariousEffect,
               {{"灰", "GrayScale", "グレースケール", {840, 260, 495, 255}, true},
                {"赤", "Red", "", {1440, 260, 495, 255}},
                {"青", "Blue", "", {2040, 260, 495, 255}},
                {"緑", "Green", "", {2640, 260, 495, 255}},
                {"紫", "Purple", "", {3240, 260, 495, 255}},
                {"水", "Water", "", {840, 610, 495, 255}},
                {"黄", "Yellow", "", {1440, 610, 495, 255}},
                {"セピア", "Sepia", "", {2040, 610, 855, 255}},
                {"階調反転", "Reverse", "ネガポジ反転", {2880, 610, 1095, 255}},
                {"エンボス", "Emboss", "", {840, 960, 975, 255}},
                {"エンボス(偽)", "EmbossFalse", "", {1920, 960, 1335, 255}}});
    AddOptions(optConvAPIType, "optConvAPIType", frmConvMode,
               {{"Pixels", "", "", {80, 240, 800, 180}},
                {"DIBits", "", "", {80, 480, 800, 180}, true}});
    chkOpenHTML->setChecked(true);
    FitCaption(*chkOpenHTML);

    // A frame's caption sits on its top edge, and the children are placed from the frame's
    // outer top-left corner.
    form->setStyleSheet("QGroupBox { border: 2px groove palette(mid); margin-top: 6px; }"
                        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
                        " left: 6px; padding: 0px 1px; }");
}

} // namespace lumivert
