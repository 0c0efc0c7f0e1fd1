// The window as a user sees it, the pictures opened in it, and its parts alone.

#include "app/jpg_quality.h"
#include "app/qt_message_boxes.h"
#include "app/shared_icons_style.h"
#include "assets/sample_picture.h"
#include "tests/app/loaded_window.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <climits>
#include <functional>

#include <malloc.h>

namespace lumivert {
namespace {

using testing::DropFile;
using testing::HeldPicture;
using testing::WritePicture;

using testing::LoadedWindow;

// The window's texts in control order: caption(tip), * when selected at start, [box text].
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

TEST_F(LoadedWindow, ShowsEveryCaptionAndTheStartSelections) {
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

TEST_F(LoadedWindow, ShowsTheSamplePicture) {
    const auto file = assets::SamplePictureFile();
    const QImage sample = QImage::fromData(reinterpret_cast<const uchar*>(file.data()), static_cast<int>(file.size()), "BMP")
                              .convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(sample.size(), QSize(420, 345));
    EXPECT_EQ(ui().picTarget->grab().toImage().convertToFormat(QImage::Format_RGB32), sample);
    EXPECT_EQ(HeldPicture(*window), sample);
}

// A drop anywhere opens the file for the savers; a bad file is named with its reason and changes nothing.
TEST_F(LoadedWindow, DroppedFileIsOpenedForTheSaversOrRefusedWithItsReason) {
    const QImage wide = WritePicture(Path("wide.png"), 300, 200);
    const QImage small = WritePicture(Path("small.png"), 50, 41);
    ASSERT_TRUE(DropFile(ui().frmSaveBmp, Path("small.png")));
    EXPECT_EQ(HeldPicture(*window), small);
    EXPECT_EQ(ui().picTarget->toolTip(), "small.png\n50 × 41");
    const QString quality = ui().txtJpgQuality->text(); // the box takes dropped text, but not a file
    ASSERT_TRUE(DropFile(ui().txtJpgQuality, Path("wide.png")));
    EXPECT_EQ(HeldPicture(*window), wide);
    EXPECT_EQ(ui().txtJpgQuality->text(), quality);
    EXPECT_TRUE(messages.shown.empty());

    const gdi32::HBITMAP before = ui().picTarget->Picture();
    QFile(Path("empty.jpg")).open(QIODevice::WriteOnly);
    ASSERT_TRUE(DropFile(ui().picTarget, Path("empty.jpg")));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "画像を開く");
    EXPECT_EQ(messages.shown[0].text,
              "画像を開けませんでした。\n\n" + Path("empty.jpg").toStdString() + "\n\n空のファイルです（0 バイト）。");
    EXPECT_EQ(messages.shown[0].icon, report::MessageIcon::Exclamation);
    EXPECT_EQ(ui().picTarget->Picture(), before);
    EXPECT_EQ(HeldPicture(*window), wide);
    EXPECT_EQ(ui().picTarget->toolTip(), "wide.png\n300 × 200");
}

// A box runs a loop of its own: answer runs every 20 ms while action runs.
// Whatever is still open after 5 s is closed and the test fails, so it ends instead of hanging.
void AnswerWhile(const std::function<void()>& action, const std::function<void()>& answer) {
    QTimer timer;
    QElapsedTimer running;
    running.start();
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (!running.hasExpired(5000))
            return answer();
        ADD_FAILURE() << "still open after 5 s: nothing answered it";
        timer.stop();
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    timer.start(20);
    action();
}

// Each text: its number (half to even; none past 32 bits) and the box's text after (nullptr: refused).
TEST(JpgQuality, TextIsReadRoundedAndClamped) {
    const char* const kept = "kept";
    const QString huge = QString("1") + QString(400, '0') + "e-1", tiny = QString("0.") + QString(400, '0') + "1e+2";
    const struct {
        QString text;
        std::optional<std::int32_t> number;
        const char* checked;
    } cases[] = {
        {"100", 100, kept}, {"0", 0, kept}, {"-5", -5, "0"}, {"+7", 7, kept}, {" 42 ", 42, kept}, {"\t3", 3, kept},
        {"50.5", 50, kept}, {"51.5", 52, kept}, {".5", 0, kept}, {"5.", 5, kept}, {"2.5E-1", 0, kept},
        {" -2.5e1 ", -25, "0"}, {"-0.5", 0, kept}, {"99.6", 100, kept}, {"100.4", 100, kept}, {"100.5", 100, kept},
        {"101.5", 102, "100"}, {"250", 250, "100"}, {"2147483647", INT_MAX, "100"}, {"-2147483648", INT_MIN, "0"},
        {"2147483648", {}, nullptr}, {"1e12", {}, nullptr}, {"1e999", {}, nullptr}, {"-1e999", {}, nullptr},
        {"1e-999", 0, kept}, {huge, {}, nullptr}, {tiny, 0, kept}, {"", {}, nullptr}, {" ", {}, nullptr},
        {"abc", {}, nullptr}, {"1a", {}, nullptr}, {"--1", {}, nullptr}, {".", {}, nullptr}, {"1e", {}, nullptr},
        {"e5", {}, nullptr}, {"1,5", {}, nullptr}, {"0x10", {}, nullptr}, {"１０", {}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.left(20).toStdString());
        EXPECT_EQ(ConvertToLong(c.text), c.number);
        const QString checked = c.checked == kept ? c.text : c.checked ? QString(c.checked) : "(refused)";
        EXPECT_EQ(CheckedQualityText(c.text).value_or("(refused)"), checked);
    }
}

TEST(SingleInstance, LockThatCannotBeMadeDoesNotKeepTheProgramFromRunning) {
    EXPECT_FALSE(SingleInstance("/nonexistent-folder/program.lock").PrevInstance());
    EXPECT_FALSE(SingleInstance("/proc/version/program.lock").PrevInstance()); // a file where a folder should be
}

// A real box shown, described (title|text|icon|buttons|default|modal) and answered: a button, Escape or close.
std::pair<report::MessageAnswer, QString> ShowAndAct(const std::string& text, report::MessageButtons buttons,
                                                 report::MessageIcon icon, const QString& act) {
    testing::EnsureApplication();
    QWidget owner;
    QString seen;
    std::pair<report::MessageAnswer, QString> result;
    AnswerWhile([&] { result.first = QtMessageBoxes(&owner).Show(text, "題名", buttons, icon); }, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !seen.isEmpty())
            return;
        QStringList names;
        for (QAbstractButton* button : box->buttons())
            names << button->text();
        names.sort();
        seen = QStringList{box->windowTitle(), box->text(), QString::number(box->icon()), names.join(','),
                           box->defaultButton() ? box->defaultButton()->text() : "",
                           box->isModal() && box->parentWidget() == &owner ? "modal" : "not modal"}
                   .join('|');
        if (act == "Escape")
            QTest::keyClick(box, Qt::Key_Escape);
        if (act == "close")
            box->close();
        for (QAbstractButton* button : box->buttons())
            if (button->text() == act)
                button->click();
    });
    result.second = seen;
    return result;
}

TEST(QtMessageBoxes, ShowTheirTextAndIconAndAnswerTheButtonPressed) {
    using B = report::MessageButtons;
    using I = report::MessageIcon;
    using A = report::MessageAnswer;
    const QString question = "題名|q|1|いいえ,はい,キャンセル|はい|modal";
    EXPECT_EQ(ShowAndAct("一行目\r\n\r\n三行目", B::YesNoCancel, I::Information, "いいえ"),
              std::pair(A::No, QString("題名|一行目\n\n三行目|1|いいえ,はい,キャンセル|はい|modal")));
    EXPECT_EQ(ShowAndAct("q", B::YesNoCancel, I::Information, "はい"), std::pair(A::Yes, question));
    EXPECT_EQ(ShowAndAct("q", B::YesNoCancel, I::Information, "Escape"), std::pair(A::Cancel, question));
    EXPECT_EQ(ShowAndAct("q", B::YesNoCancel, I::Information, "close"), std::pair(A::Cancel, question));
    EXPECT_EQ(ShowAndAct("<b>a & b</b>", B::Ok, I::Exclamation, "OK"),
              std::pair(A::Ok, QString("題名|<b>a & b</b>|2|OK||modal")));
    EXPECT_EQ(ShowAndAct("x", B::Ok, I::Information, "Escape"), std::pair(A::Ok, QString("題名|x|1|OK||modal")));
    EXPECT_EQ(ShowAndAct("x", B::Ok, I::None, "OK"), std::pair(A::Ok, QString("題名|x|0|OK||modal")));
}

// The program's style: a session of many boxes holds no more memory than one of a few. Each
// box once left its icon's pixmaps behind, 2 to 5 KiB on a screen with an icon theme, or
// 0.6 to 0.9 KiB of Qt's icon lookups when the pixmap cache was emptied after it; offscreen
// there is no theme, and only the second shows.
TEST(QtMessageBoxes, ManyBoxesLeaveTheHeapAsFewDid) {
    testing::EnsureApplication();
    QApplication::setStyle(new SharedIconsStyle);
    const auto inUse = [] {
        ::malloc_trim(0);
        return static_cast<long>(::mallinfo2().uordblks);
    };
    const auto boxes = [](int count) {
        for (int i = 0; i < count; ++i)
            ShowAndAct("x", report::MessageButtons::Ok, report::MessageIcon::Exclamation, "OK");
    };
    boxes(20);
    const long before = inUse();
    boxes(100);
    EXPECT_LT(inUse() - before, 100 * 400) << "bytes a box";
}

} // namespace
} // namespace lumivert
