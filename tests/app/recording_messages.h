#pragma once

// Messages for the window tests: every box is recorded with the pointer in force while it
// was shown, and answered from a queue.

#include "app/message_boxes.h"

#include <QCursor>
#include <QGuiApplication>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace lumivert::testing {

struct RecordedMessage {
    std::string text;
    std::string title;
    MessageButtons buttons;
    MessageIcon icon;
    bool hourglass; // the wait pointer was set while the box was up
};

class RecordingMessages : public MessageBoxes {
public:
    std::vector<RecordedMessage> shown;
    std::deque<MessageAnswer> answers; // when empty: OK, or Cancel for a question
    std::function<void()> whileShown;  // runs while a box is up, as a user could

    MessageAnswer Show(const std::string& text, const std::string& title, MessageButtons buttons,
                       MessageIcon icon) override {
        const QCursor* pointer = QGuiApplication::overrideCursor();
        shown.push_back({text, title, buttons, icon, pointer && pointer->shape() == Qt::WaitCursor});
        if (whileShown)
            whileShown();
        if (answers.empty())
            return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

} // namespace lumivert::testing
