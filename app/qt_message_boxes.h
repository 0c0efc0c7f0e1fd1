#pragma once

// The real program's messages: modal Qt message boxes owned by the window, with Japanese
// button texts whatever the system's locale.

#include "ui/message_boxes.h"

class QWidget;

namespace lumivert {

class QtMessageBoxes : public ui::MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* owner) : owner_(owner) {}

    ui::MessageAnswer Show(const std::string& text, const std::string& title, ui::MessageButtons buttons,
                       ui::MessageIcon icon) override;

private:
    QWidget* owner_;
};

} // namespace lumivert
