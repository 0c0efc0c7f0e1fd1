#pragma once

// The real program's messages: modal Qt message boxes owned by the window, with Japanese
// button texts whatever the system's locale.

#include "report/message_boxes.h"

class QWidget;

namespace lumivert {

class QtMessageBoxes : public report::MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* owner) : owner_(owner) {}

    report::MessageAnswer Show(const std::string& text, const std::string& title, report::MessageButtons buttons,
                       report::MessageIcon icon) override;

private:
    QWidget* owner_;
};

} // namespace lumivert
