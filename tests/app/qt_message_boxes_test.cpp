// The real message boxes: modal, owned by the window, Japanese buttons, and the answer of
// the button pressed (closing a question counts as Cancel).

#include "app/qt_message_boxes.h"
#include "tests/app/qt_application.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace lumivert {
namespace {

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
