#pragma once

// The real program's messages: modal Qt message boxes owned by the window, with Japanese
// button texts whatever the system's locale.

#include "ui/message_boxes.h"

class QWidget;

namespace lumivert {

class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* owner) : owner_(owner) {}

    MessageAnswer Show(const std::string& text, const std::string& title, MessageButtons buttons,
                       MessageIcon icon) override;

private:
    QWidget* owner_;
};

} // namespace lumivert
