// The main window as designed: caption, size, every control with its kind, caption, tag,
// tool-tip text and position, the selections at start, the tables and the picture.

#include "assets/sample_picture.h"
#include "tests/app/loaded_window.h"

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

namespace lumivert {
namespace {

// Twips to pixels: 15 twips a pixel, rounded to the nearest.
int Px(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }
QRect Px(int left, int top, int width, int height) { return {Px(left), Px(top), Px(width), Px(height)}; }

enum class Kind { Picture, Frame, Label, Option, Button, Text, Check };

bool IsKind(const QWidget* widget, Kind kind) {
    switch (kind) {
    case Kind::Picture:
        return dynamic_cast<const PictureBox*>(widget) != nullptr;
    case Kind::Frame:
        return qobject_cast<const QGroupBox*>(widget) != nullptr;
    case Kind::Label:
        return qobject_cast<const QLabel*>(widget) != nullptr;
    case Kind::Option:
        return qobject_cast<const QRadioButton*>(widget) != nullptr;
    case Kind::Button:
        return qobject_cast<const QPushButton*>(widget) != nullptr;
    case Kind::Text:
        return qobject_cast<const QLineEdit*>(widget) != nullptr;
    case Kind::Check:
        return qobject_cast<const QCheckBox*>(widget) != nullptr;
    }
    return false;
}

QString CaptionOf(const QWidget* widget) {
    if (auto* frame = qobject_cast<const QGroupBox*>(widget))
        return frame->title();
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    if (auto* text = qobject_cast<const QLineEdit*>(widget))
        return text->text();
    return {};
}

class MainWindow : public testing::LoadedWindow {
protected:
    QWidget* Control(const char* name) const {
        auto* found = window->findChild<QWidget*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
};

TEST_F(MainWindow, HasItsCaptionAndClientSize) {
    EXPECT_EQ(window->windowTitle(),
              QString::fromUtf8("BMPを指定画像に変換する？ - Windows XP(SP3)でのみ動作確認しましたよっと"
                                "(XPより前のOSではPNG、GIF、JPG変換は動きません)"));
    EXPECT_EQ(window->size(), QSize(775, 363));
    EXPECT_EQ(window->minimumSize(), window->maximumSize()); // the layout is fixed
}

TEST_F(MainWindow, EveryControlHasItsKindContainerCaptionAndPosition) {
    struct Row {
        const char* name;
        const char* container;
        Kind kind;
        const char* caption;
        QRect at;
    };
    const Row rows[] = {
        {"picTarget", "frmMain", Kind::Picture, "", Px(120, 120, 6300, 5175)},
        {"frmSavePng", "frmMain", Kind::Frame, "PNGで保存する", Px(6600, 120, 4935, 735)},
        {"lblPngTransparent", "frmSavePng", Kind::Label, "透過色：", Px(120, 360, 630, 180)},
        {"cmdSaveAsPng", "frmSavePng", Kind::Button, "保存", Px(3960, 320, 855, 280)},
        {"frmSaveGif", "frmMain", Kind::Frame, "GIFで保存する(処理はやや重い)", Px(6600, 960, 4935, 735)},
        {"lblGifTransparent", "frmSaveGif", Kind::Label, "透過色：", Px(120, 330, 630, 180)},
        {"cmdSaveAsGif", "frmSaveGif", Kind::Button, "保存", Px(3960, 300, 855, 280)},
        {"frmSaveJpg", "frmMain", Kind::Frame, "JPGで保存する", Px(6600, 1800, 4935, 735)},
        {"lblQuality", "frmSaveJpg", Kind::Label, "画質(0-100)：", Px(120, 330, 1020, 180)},
        {"txtJpgQuality", "frmSaveJpg", Kind::Text, "100", Px(1200, 300, 480, 270)},
        {"cmdSaveAsJpg", "frmSaveJpg", Kind::Button, "保存", Px(3960, 320, 855, 280)},
        {"frmSaveBmp", "frmMain", Kind::Frame, "BMPで保存する", Px(6600, 2640, 4935, 735)},
        {"lblSaveColor", "frmSaveBmp", Kind::Label, "保存色：", Px(120, 330, 630, 180)},
        {"cmdSaveAsBmp", "frmSaveBmp", Kind::Button, "保存", Px(3960, 280, 855, 280)},
        {"frmVariousEffect", "frmMain", Kind::Frame, "おまけ(変換種類 Pixels：かなり重い  DIBits：軽い)",
         Px(6600, 3480, 4935, 1335)},
        {"lblEffect", "frmVariousEffect", Kind::Label, "効果：", Px(120, 280, 450, 180)},
        {"cmdSaveAsVariousImg", "frmVariousEffect", Kind::Button, "保存", Px(3960, 240, 855, 280)},
        {"frmConvMode", "frmVariousEffect", Kind::Frame, "変換種類", Px(3900, 560, 975, 720)},
        {"chkOpenHTML", "frmMain", Kind::Check, "HTMLをファイルに出力して開く (対Vista、Windows7用？)",
         Px(6630, 4980, 4695, 255)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QWidget* control = Control(row.name);
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(IsKind(control, row.kind));
        EXPECT_EQ(control->parentWidget()->objectName(), row.container);
        EXPECT_EQ(CaptionOf(control), QString::fromUtf8(row.caption));
        EXPECT_EQ(control->geometry(), row.at);
    }
}

struct OptionRow {
    const char* caption;
    const char* tag;
    const char* tip;
    QRect at;
    bool start;
};

void ExpectGroup(const OptionGroup& group, const char* container, std::initializer_list<OptionRow> rows) {
    ASSERT_EQ(group.count(), static_cast<int>(rows.size()));
    int index = 0;
    for (const OptionRow& row : rows) {
        SCOPED_TRACE(row.caption);
        const OptionButton& option = group.Item(index);
        EXPECT_EQ(option.Caption(), QString::fromUtf8(row.caption));
        EXPECT_EQ(option.Tag(), QString::fromUtf8(row.tag));
        EXPECT_EQ(option.ToolTipText(), QString::fromUtf8(row.tip));
        EXPECT_EQ(option.geometry(), row.at);
        EXPECT_EQ(option.Value(), row.start);
        EXPECT_EQ(option.parentWidget()->objectName(), container);
        EXPECT_EQ(group.buttons().id(const_cast<OptionButton*>(&option)), index);
        ++index;
    }
}

TEST_F(MainWindow, OptionGroupsHaveTheirCaptionsTagsTipsPositionsAndStartSelections) {
    const frmMainDesign& ui = this->ui();
    ExpectGroup(ui.optPngTransparent, "frmSavePng",
                {{"黒", "", "", Px(840, 330, 495, 255), true},
                 {"白", "", "", Px(1440, 330, 495, 255), false},
                 {"青", "", "", Px(2040, 330, 495, 255), false},
                 {"赤", "", "", Px(2640, 330, 615, 255), false},
                 {"なし", "", "", Px(3240, 330, 615, 255), false}});
    ExpectGroup(ui.optGifTransparent, "frmSaveGif",
                {{"黒", "", "", Px(840, 330, 495, 180), true},
                 {"白", "", "", Px(1440, 330, 495, 180), false},
                 {"青", "", "", Px(2040, 330, 495, 180), false},
                 {"赤", "", "", Px(2640, 330, 495, 180), false},
                 {"なし", "", "", Px(3240, 330, 735, 180), false}});
    ExpectGroup(ui.optBmpSaveColor, "frmSaveBmp",
                {{"２色", "1", "", Px(840, 330, 615, 180), false},
                 {"16色", "4", "", Px(1560, 330, 735, 180), false},
                 {"256色", "8", "", Px(2300, 330, 855, 180), false},
                 {"全力", "32", "フルカラー(32Bit)", Px(3140, 330, 735, 180), true}});
    ExpectGroup(ui.optBmpConv, "frmVariousEffect",
                {{"灰", "GrayScale", "グレースケール", Px(840, 260, 495, 255), true},
                 {"赤", "Red", "", Px(1440, 260, 495, 255), false},
                 {"青", "Blue", "", Px(2040, 260, 495, 255), false},
                 {"緑", "Green", "", Px(2640, 260, 495, 255), false},
                 {"紫", "Purple", "", Px(3240, 260, 495, 255), false},
                 {"水", "Water", "", Px(840, 610, 495, 255), false},
                 {"黄", "Yellow", "", Px(1440, 610, 495, 255), false},
                 {"セピア", "Sepia", "", Px(2040, 610, 855, 255), false},
                 {"階調反転", "Reverse", "ネガポジ反転", Px(2880, 610, 1095, 255), false},
                 {"エンボス", "Emboss", "", Px(840, 960, 975, 255), false},
                 {"エンボス(偽)", "EmbossFalse", "", Px(1920, 960, 1335, 255), false}});
    ExpectGroup(ui.optConvAPIType, "frmConvMode",
                {{"Pixels", "", "", Px(80, 240, 800, 180), false},
                 {"DIBits", "", "", Px(80, 480, 800, 180), true}});
    EXPECT_EQ(ui.txtJpgQuality->text(), "100");
    EXPECT_TRUE(ui.chkOpenHTML->isChecked());
}

TEST_F(MainWindow, FormLoadFillsTheTables) {
    EXPECT_EQ(window->TransparentColors(), (std::array<std::int32_t, 5>{0, 16777215, 16711680, 3342591, -1}));
    EXPECT_EQ(window->EffectIds(), (std::array<std::int32_t, 11>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
}

TEST_F(MainWindow, GetSelectedIndexFollowsTheUsersClicksGroupByGroup) {
    const frmMainDesign& ui = this->ui();
    EXPECT_EQ(GetSelectedIndex(ui.optConvAPIType), 1);
    QTest::mouseClick(const_cast<OptionButton*>(&ui.optBmpConv.Item(10)), Qt::LeftButton);
    EXPECT_EQ(GetSelectedIndex(ui.optBmpConv), 10);
    EXPECT_FALSE(ui.optBmpConv.Item(0).Value());
    // The engine options sit inside the effects frame but form a group of their own.
    QTest::mouseClick(const_cast<OptionButton*>(&ui.optConvAPIType.Item(0)), Qt::LeftButton);
    EXPECT_EQ(GetSelectedIndex(ui.optConvAPIType), 0);
    EXPECT_EQ(GetSelectedIndex(ui.optBmpConv), 10);
    // The two transparency groups are independent of each other.
    QTest::mouseClick(const_cast<OptionButton*>(&ui.optGifTransparent.Item(4)), Qt::LeftButton);
    EXPECT_EQ(GetSelectedIndex(ui.optGifTransparent), 4);
    EXPECT_EQ(GetSelectedIndex(ui.optPngTransparent), 0);
    // Clicking the selected option keeps it selected.
    QTest::mouseClick(const_cast<OptionButton*>(&ui.optGifTransparent.Item(4)), Qt::LeftButton);
    EXPECT_EQ(GetSelectedIndex(ui.optGifTransparent), 4);
}

TEST_F(MainWindow, PictureBoxShowsTheSamplePictureAndOffersItsHandles) {
    const frmMainDesign& ui = this->ui();
    EXPECT_TRUE(ui.picTarget->hDC());
    EXPECT_TRUE(ui.picTarget->Picture());
    const auto file = assets::SamplePictureFile();
    const QImage expected =
        QImage::fromData(reinterpret_cast<const uchar*>(file.data()), static_cast<int>(file.size()), "BMP")
            .convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(expected.size(), QSize(420, 345));
    const QImage shown = ui.picTarget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(420, 345));
    EXPECT_TRUE(shown == expected);
}

TEST_F(MainWindow, IsPlacedCentredAcrossAndAQuarterDown) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QSize outer = window->frameGeometry().size();
    const QPoint at = window->frameGeometry().topLeft() - screen.topLeft();
    EXPECT_NEAR(at.x(), (screen.width() - outer.width()) / 2.0, 0.5);
    EXPECT_NEAR(at.y(), (screen.height() - outer.height()) / 4.0, 0.5);
}

TEST_F(MainWindow, SecondWindowWithTheSameLockEndsInFormLoad) {
    SingleInstance again(LockPath());
    frmMain second(again, &messages);
    EXPECT_FALSE(second.Form_Load());
    EXPECT_FALSE(second.isVisible());
    EXPECT_TRUE(messages.shown.empty());
}

} // namespace
} // namespace lumivert
