#include "app/qt_message_boxes.h"

#include "report/log.h"

#include <QMessageBox>
#include <QPushButton>

namespace lumivert {

namespace {

QMessageBox::Icon IconOf(report::MessageIcon icon) {
    switch (icon) {
    case report::MessageIcon::Information:
        return QMessageBox::Information;
    case report::MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case report::MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

report::MessageAnswer QtMessageBoxes::Show(const std::string& text, const std::string& title, report::MessageButtons buttons,
                                   report::MessageIcon icon) {
    report::LogMessageBox(title, text);
    // Message texts break lines with CR LF; a Qt label breaks on LF alone.
    const QString shownText = QString::fromStdString(text).replace("\r\n", "\n");
    QMessageBox box(IconOf(icon), QString::fromStdString(title), shownText, QMessageBox::NoButton, owner_);
    box.setTextFormat(Qt::PlainText); // paths and descriptions are shown as they are
    box.setWindowModality(Qt::ApplicationModal);
    if (buttons == report::MessageButtons::YesNoCancel) {
        box.addButton(QMessageBox::Yes)->setText("はい");
        box.addButton(QMessageBox::No)->setText("いいえ");
        box.addButton(QMessageBox::Cancel)->setText("キャンセル");
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel); // closing the box answers Cancel
    } else {
        box.addButton(QMessageBox::Ok)->setText("OK");
        box.setEscapeButton(QMessageBox::Ok);
    }
    const int answer = box.exec();
    switch (answer) {
    case QMessageBox::Yes:
        return report::MessageAnswer::Yes;
    case QMessageBox::No:
        return report::MessageAnswer::No;
    case QMessageBox::Cancel:
        return report::MessageAnswer::Cancel;
    default:
        return buttons == report::MessageButtons::YesNoCancel ? report::MessageAnswer::Cancel : report::MessageAnswer::Ok;
    }
}

} // namespace lumivert
