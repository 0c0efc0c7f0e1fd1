#include "app/qt_message_boxes.h"

#include "ui/log.h"

#include <QPushButton>
#include <QMessageBox>

namespace lumivert {

namespace {

QMessageBox::Icon IconOf(ui::MessageIcon icon) {
    switch (icon) {
    case ui::MessageIcon::Information:
        return QMessageBox::Information;
    case ui::MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case ui::MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

ui::MessageAnswer QtMessageBoxes::Show(const std::string& text, const std::string& title, ui::MessageButtons buttons,
                                   ui::MessageIcon icon) {
    ui::LogMessageBox(title, text);
    // Message texts break lines with CR LF; a Qt label breaks on LF alone.
    const QString shownText = QString::fromStdString(text).replace("\r\n", "\n");
    QMessageBox box(IconOf(icon), QString::fromStdString(title), shownText, QMessageBox::NoButton, owner_);
    box.setTextFormat(Qt::PlainText); // paths and descriptions are shown as they are
    box.setWindowModality(Qt::ApplicationModal);
    if (buttons == ui::MessageButtons::YesNoCancel) {
        box.addButton(QMessageBox::Yes)->setText("はい");
        box.addButton(QMessageBox::No)->setText("いいえ");
        box.addButton(QMessageBox::Cancel)->setText("キャンセル");
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel); // closing the box answers Cancel
    } else {
        box.addButton(QMessageBox::Ok)->setText("OK");
        box.setEscapeButton(QMessageBox::Ok);
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return ui::MessageAnswer::Yes;
    case QMessageBox::No:
        return ui::MessageAnswer::No;
    case QMessageBox::Cancel:
        return ui::MessageAnswer::Cancel;
    default:
        return buttons == ui::MessageButtons::YesNoCancel ? ui::MessageAnswer::Cancel : ui::MessageAnswer::Ok;
    }
}

} // namespace lumivert
