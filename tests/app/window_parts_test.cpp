// The parts of the window that need no saver: the quality box's rule, the placement's
// rounding, the lock of the single running copy, the real message boxes.

#include "app/jpg_quality.h"
#include "app/qt_message_boxes.h"
#include "app/single_instance.h"
#include "app/window_placement.h"
#include "tests/app/loaded_window.h"

#include <QDateTime>
#include <QMessageBox>
#include <QPushButton>
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

TEST(SingleInstance, LockOfALongRunningCopyDoesNotExpire) {
    QTemporaryDir folder;
    const QString lock = folder.filePath("program.lock");
    SingleInstance first(lock);
    ASSERT_FALSE(first.PrevInstance());
    QFile file(lock); // the running copy took its lock an hour ago
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-3600), QFileDevice::FileModificationTime));
    file.close();
    EXPECT_TRUE(SingleInstance(lock).PrevInstance());
}

TEST(SingleInstance, LockThatCannotBeMadeDoesNotKeepTheProgramFromRunning) {
    EXPECT_FALSE(SingleInstance("/nonexistent-folder/program.lock").PrevInstance());
    EXPECT_FALSE(SingleInstance("/proc/version/program.lock").PrevInstance()); // a file where a folder should be
}

// The real message boxes: modal, owned by the window, Japanese buttons, and the answer of
// the button pressed (closing a question counts as Cancel).
struct SeenBox {
    QStringList buttons;
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget* owner = nullptr;
    bool modal = false;
    QString defaultButton;
};

// Shows a box and lets act() answer it once it is up; returns what the box looked like.
SeenBox ShowAndAct(QWidget& owner, const std::function<void(QMessageBox&)>& act, ui::MessageAnswer& answer,
                   const std::string& text, ui::MessageButtons buttons, ui::MessageIcon icon) {
    SeenBox seen;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* button : box->buttons())
            seen.buttons << button->text();
        seen.text = box->text();
        seen.title = box->windowTitle();
        seen.icon = box->icon();
        seen.owner = box->parentWidget();
        seen.modal = box->isModal();
        seen.defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
        act(*box);
    });
    QtMessageBoxes messages(&owner);
    answer = messages.Show(text, "題名", buttons, icon);
    return seen;
}

void ClickButton(QMessageBox& box, const QString& text) {
    for (QAbstractButton* button : box.buttons())
        if (button->text() == text)
            button->click();
}

TEST(QtMessageBoxes, QuestionHasJapaneseButtonsAndAnswersTheOnePressed) {
    testing::EnsureApplication();
    QWidget owner;
    ui::MessageAnswer answer{};
    const SeenBox seen = ShowAndAct(owner, [](QMessageBox& box) { ClickButton(box, "いいえ"); }, answer,
                                    "一行目\r\n\r\n三行目", ui::MessageButtons::YesNoCancel, ui::MessageIcon::Information);
    EXPECT_EQ(answer, ui::MessageAnswer::No);
    EXPECT_EQ(seen.buttons.size(), 3);
    EXPECT_TRUE(seen.buttons.contains("はい"));
    EXPECT_TRUE(seen.buttons.contains("いいえ"));
    EXPECT_TRUE(seen.buttons.contains("キャンセル"));
    EXPECT_EQ(seen.defaultButton, "はい");
    EXPECT_EQ(seen.text, "一行目\n\n三行目");
    EXPECT_EQ(seen.title, "題名");
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_EQ(seen.owner, &owner);
    EXPECT_TRUE(seen.modal);

    ShowAndAct(owner, [](QMessageBox& box) { ClickButton(box, "はい"); }, answer, "q", ui::MessageButtons::YesNoCancel,
               ui::MessageIcon::Information);
    EXPECT_EQ(answer, ui::MessageAnswer::Yes);
    ShowAndAct(owner, [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, answer, "q",
               ui::MessageButtons::YesNoCancel, ui::MessageIcon::Information);
    EXPECT_EQ(answer, ui::MessageAnswer::Cancel);
    ShowAndAct(owner, [](QMessageBox& box) { box.close(); }, answer, "q", ui::MessageButtons::YesNoCancel,
               ui::MessageIcon::Information);
    EXPECT_EQ(answer, ui::MessageAnswer::Cancel);
}

TEST(QtMessageBoxes, NoticeHasOneOkButtonAndItsIcon) {
    testing::EnsureApplication();
    QWidget owner;
    ui::MessageAnswer answer{};
    SeenBox seen = ShowAndAct(owner, [](QMessageBox& box) { ClickButton(box, "OK"); }, answer, "<b>a & b</b>",
                              ui::MessageButtons::Ok, ui::MessageIcon::Exclamation);
    EXPECT_EQ(answer, ui::MessageAnswer::Ok);
    EXPECT_EQ(seen.buttons, QStringList{"OK"});
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.text, "<b>a & b</b>");
    seen = ShowAndAct(owner, [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, answer, "x",
                      ui::MessageButtons::Ok, ui::MessageIcon::Information);
    EXPECT_EQ(answer, ui::MessageAnswer::Ok);
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    seen = ShowAndAct(owner, [](QMessageBox& box) { ClickButton(box, "OK"); }, answer, "x", ui::MessageButtons::Ok,
                      ui::MessageIcon::None);
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
}

} // namespace
} // namespace lumivert
