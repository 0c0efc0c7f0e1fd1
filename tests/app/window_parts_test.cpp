// The parts of the window that need no saver: the quality box's rule, the placement's
// rounding, a lock that cannot be made, the real message boxes.

#include "app/jpg_quality.h"
#include "app/qt_message_boxes.h"
#include "app/single_instance.h"
#include "app/window_placement.h"
#include "tests/app/loaded_window.h"

#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <climits>
#include <functional>

namespace lumivert {
namespace {

// Each text as the quality box may hold it: the whole number it stands for (rounded half
// to even, refused when it is no number or does not fit 32 bits), and the text the JPEG
// command leaves in the box (clamped to 0..100, or kept as typed; nullptr: refused).
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
        const std::optional<QString> checked = CheckedQualityText(c.text);
        if (c.checked == nullptr)
            EXPECT_EQ(checked, std::nullopt);
        else
            EXPECT_EQ(checked, c.checked == kept ? c.text : QString(c.checked));
    }
}

TEST(WindowPlacement, RoundsToTheNearestPixelAndMayStartOffTheScreen) {
    EXPECT_EQ(PlaceWindow({1024, 600}, {775, 363}), QPoint(125, 59)); // 124.5 and 59.25
    EXPECT_EQ(PlaceWindow({700, 300}, {775, 363}), QPoint(-38, -16));
}

TEST(SingleInstance, LockThatCannotBeMadeDoesNotKeepTheProgramFromRunning) {
    EXPECT_FALSE(SingleInstance("/nonexistent-folder/program.lock").PrevInstance());
    EXPECT_FALSE(SingleInstance("/proc/version/program.lock").PrevInstance()); // a file where a folder should be
}

// Shows a real box and, once it is up, describes it (title|text|icon|buttons|default
// button|modal and owned) and lets act() answer it; the answer and the description.
std::pair<ui::MessageAnswer, QString> ShowAndAct(const std::string& text, ui::MessageButtons buttons,
                                                 ui::MessageIcon icon, const std::function<void(QMessageBox&)>& act) {
    testing::EnsureApplication();
    QWidget owner;
    QString seen;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        QStringList names;
        for (QAbstractButton* button : box->buttons())
            names << button->text();
        names.sort();
        seen = QStringList{box->windowTitle(), box->text(), QString::number(box->icon()), names.join(','),
                           box->defaultButton() ? box->defaultButton()->text() : "",
                           box->isModal() && box->parentWidget() == &owner ? "modal" : "not modal"}
                   .join('|');
        act(*box);
    });
    const ui::MessageAnswer answer = QtMessageBoxes(&owner).Show(text, "題名", buttons, icon);
    return {answer, seen};
}

std::function<void(QMessageBox&)> Press(const QString& text) {
    return [text](QMessageBox& box) {
        for (QAbstractButton* button : box.buttons())
            if (button->text() == text)
                button->click();
    };
}

// The real message boxes: Japanese buttons, and the answer of the button pressed (closing
// a question counts as Cancel).
TEST(QtMessageBoxes, ShowTheirTextAndIconAndAnswerTheButtonPressed) {
    using B = ui::MessageButtons;
    using I = ui::MessageIcon;
    using A = ui::MessageAnswer;
    const auto escape = [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); };
    const auto close = [](QMessageBox& box) { box.close(); };
    const QString question = "題名|q|1|いいえ,はい,キャンセル|はい|modal";
    EXPECT_EQ(ShowAndAct("一行目\r\n\r\n三行目", B::YesNoCancel, I::Information, Press("いいえ")),
              std::pair(A::No, QString("題名|一行目\n\n三行目|1|いいえ,はい,キャンセル|はい|modal")));
    EXPECT_EQ(ShowAndAct("q", B::YesNoCancel, I::Information, Press("はい")), std::pair(A::Yes, question));
    EXPECT_EQ(ShowAndAct("q", B::YesNoCancel, I::Information, escape), std::pair(A::Cancel, question));
    EXPECT_EQ(ShowAndAct("q", B::YesNoCancel, I::Information, close), std::pair(A::Cancel, question));
    EXPECT_EQ(ShowAndAct("<b>a & b</b>", B::Ok, I::Exclamation, Press("OK")),
              std::pair(A::Ok, QString("題名|<b>a & b</b>|2|OK||modal")));
    EXPECT_EQ(ShowAndAct("x", B::Ok, I::Information, escape), std::pair(A::Ok, QString("題名|x|1|OK||modal")));
    EXPECT_EQ(ShowAndAct("x", B::Ok, I::None, Press("OK")), std::pair(A::Ok, QString("題名|x|0|OK||modal")));
}

} // namespace
} // namespace lumivert
