// The window as a user sees it: captions, tips, start selections, the sample picture and
// its place; the user's own picture dropped, chosen (Ctrl+O, the picture's menu), shown
// scaled to fit, or refused with the file and the reason, the old picture kept.

#include "assets/sample_picture.h"
#include "tests/app/loaded_window.h"

#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace lumivert {
namespace {

using testing::DropFile;
using testing::HeldPicture;
using testing::WritePicture;

using OpenPicture = testing::LoadedWindow;
using MainWindow = testing::LoadedWindow;

// Every text of the window in the order of its controls: a caption, [its tip], and * for
// an option or box selected at start.
QString VisibleTexts(const QWidget& window) {
    QStringList texts;
    for (const QWidget* control : window.findChildren<QWidget*>()) {
        QString text;
        if (auto* frame = qobject_cast<const QGroupBox*>(control))
            text = frame->title();
        else if (auto* label = qobject_cast<const QLabel*>(control))
            text = label->text();
        else if (auto* button = qobject_cast<const QAbstractButton*>(control))
            text = button->text() + (button->isChecked() ? "*" : "");
        else if (auto* box = qobject_cast<const QLineEdit*>(control))
            text = "[" + box->text() + "]";
        else
            continue;
        texts << text + (control->toolTip().isEmpty() ? "" : "(" + control->toolTip() + ")");
    }
    return texts.join(' ');
}

TEST_F(MainWindow, ShowsEveryCaptionAndTheStartSelections) {
    EXPECT_EQ(window->windowTitle(),
              QString::fromUtf8("BMPを指定画像に変換する？ - Windows XP(SP3)でのみ動作確認しましたよっと"
                                "(XPより前のOSではPNG、GIF、JPG変換は動きません)"));
    EXPECT_EQ(window->size(), QSize(775, 363));
    EXPECT_EQ(window->minimumSize(), window->maximumSize()); // the layout is fixed
    EXPECT_EQ(VisibleTexts(*window).toStdString(),
              "PNGで保存する 透過色： 保存 黒* 白 青 赤 なし "
              "GIFで保存する(処理はやや重い) 透過色： 保存 黒* 白 青 赤 なし "
              "JPGで保存する 画質(0-100)： [100] 保存 "
              "BMPで保存する 保存色： 保存 ２色 16色 256色 全力*(フルカラー(32Bit)) "
              "おまけ(変換種類 Pixels：かなり重い  DIBits：軽い) 効果： 保存 変換種類 Pixels DIBits* "
              "灰*(グレースケール) 赤 青 緑 紫 水 黄 セピア 階調反転(ネガポジ反転) エンボス エンボス(偽) "
              "HTMLをファイルに出力して開く (対Vista、Windows7用？)*");
}

TEST_F(MainWindow, ShowsTheSamplePictureCentredAcrossAndAQuarterDown) {
    const auto file = assets::SamplePictureFile();
    const QImage sample = QImage::fromData(reinterpret_cast<const uchar*>(file.data()), static_cast<int>(file.size()), "BMP")
                              .convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(sample.size(), QSize(420, 345));
    EXPECT_EQ(ui().picTarget->grab().toImage().convertToFormat(QImage::Format_RGB32), sample);
    EXPECT_EQ(HeldPicture(*window), sample);

    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QSize outer = window->frameGeometry().size();
    const QPoint at = window->frameGeometry().topLeft() - screen.topLeft();
    EXPECT_NEAR(at.x(), (screen.width() - outer.width()) / 2.0, 0.5);
    EXPECT_NEAR(at.y(), (screen.height() - outer.height()) / 4.0, 0.5);
}

TEST_F(OpenPicture, DroppedAnywhereOnTheWindowIsOpenedForTheSavers) {
    const QImage wide = WritePicture(Path("wide.png"), 300, 200);
    const QImage small = WritePicture(Path("small.png"), 50, 41);
    ASSERT_TRUE(DropFile(ui().frmSaveBmp, Path("small.png")));
    EXPECT_EQ(HeldPicture(*window), small);
    EXPECT_EQ(ui().picTarget->toolTip(), "small.png\n50 × 41");

    // The quality box takes dropped text, but a dropped file is the window's.
    const QString quality = ui().txtJpgQuality->text();
    ASSERT_TRUE(DropFile(ui().txtJpgQuality, Path("wide.png")));
    EXPECT_EQ(HeldPicture(*window), wide);
    EXPECT_EQ(ui().txtJpgQuality->text(), quality);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(OpenPicture, BadFileIsNamedWithItsReasonAndThePictureStays) {
    const QImage wide = WritePicture(Path("wide.png"), 300, 200);
    ASSERT_TRUE(window->OpenPicture(Path("wide.png")));
    const gdi32::HBITMAP before = ui().picTarget->Picture();
    QFile(Path("empty.jpg")).open(QIODevice::WriteOnly);

    ASSERT_TRUE(DropFile(ui().picTarget, Path("empty.jpg")));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "画像を開く");
    EXPECT_NE(messages.shown[0].text.find(Path("empty.jpg").toStdString()), std::string::npos);
    EXPECT_NE(messages.shown[0].text.find("空のファイル"), std::string::npos) << messages.shown[0].text;
    EXPECT_EQ(messages.shown[0].icon, ui::MessageIcon::Exclamation);
    EXPECT_EQ(ui().picTarget->Picture(), before);
    EXPECT_EQ(HeldPicture(*window), wide);
    EXPECT_EQ(ui().picTarget->toolTip(), "wide.png\n300 × 200");
}

TEST_F(OpenPicture, LargerPictureIsScaledToFitASmallerOneSitsTopLeft) {
    // Red | blue, eight times as wide as the box, four times as wide as high.
    const QSize box = ui().picTarget->size();
    QImage halves(box.width() * 8, box.width() * 2, QImage::Format_RGB32);
    halves.fill(Qt::red);
    for (int y = 0; y < halves.height(); ++y)
        for (int x = halves.width() / 2; x < halves.width(); ++x)
            halves.setPixel(x, y, qRgb(0, 0, 255));
    halves.save(Path("halves.png"));
    ASSERT_TRUE(window->OpenPicture(Path("halves.png")));
    EXPECT_EQ(HeldPicture(*window).size(), halves.size()); // the savers get it whole
    QImage shown = ui().picTarget->grab().toImage();
    const int shownHeight = box.width() / 4;
    EXPECT_EQ(shown.pixel(2, shownHeight / 2), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(box.width() - 2, shownHeight / 2), qRgb(0, 0, 255));
    EXPECT_NE(shown.pixel(box.width() / 2, shownHeight + 4), qRgb(255, 0, 0)); // below it: nothing

    const QImage small = WritePicture(Path("small.png"), 50, 41);
    ASSERT_TRUE(window->OpenPicture(Path("small.png")));
    shown = ui().picTarget->grab().toImage();
    EXPECT_EQ(shown.copy(0, 0, 50, 41).convertToFormat(QImage::Format_RGB32), small);
}

TEST_F(OpenPicture, CtrlOAsksForAPictureTheMenuGoesBackToTheSample) {
    const QImage wide = WritePicture(Path("wide.png"), 300, 200);
    const QImage sample = HeldPicture(*window);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

    // The dialog and the menu run loops of their own; a timer answers them.
    QStringList filters;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* dialog = window->findChild<QFileDialog*>(); dialog && dialog->isVisible()) {
            filters = dialog->nameFilters();
            QMetaObject::invokeMethod(dialog, "done", Q_ARG(int, QDialog::Rejected));
        }
    });
    answer.start(50);
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
    answer.stop();
    EXPECT_EQ(HeldPicture(*window), sample); // cancelled: nothing changes
    ASSERT_FALSE(filters.isEmpty());
    for (const char* suffix : {"*.png", "*.jpg", "*.gif", "*.bmp", "*.webp", "*.tiff"})
        EXPECT_TRUE(filters.front().contains(suffix)) << suffix;

    ASSERT_TRUE(window->OpenPicture(Path("wide.png")));
    QStringList captions;
    QTimer pick;
    QObject::connect(&pick, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            captions.clear();
            for (QAction* action : menu->actions())
                captions << action->text();
            menu->actions().last()->trigger();
            menu->close();
        }
    });
    pick.start(50);
    emit ui().picTarget->customContextMenuRequested(QPoint(10, 10));
    pick.stop();
    EXPECT_EQ(captions, (QStringList{"画像を開く…", "見本の画像に戻す"}));
    EXPECT_EQ(HeldPicture(*window), sample);
    EXPECT_TRUE(ui().picTarget->toolTip().isEmpty());
}

} // namespace
} // namespace lumivert
