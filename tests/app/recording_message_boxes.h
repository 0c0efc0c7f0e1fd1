#pragma once

// Records every message; answers from the queue, then OK or Cancel; whileShown runs meanwhile.

#include "report/message_boxes.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace lumivert::testing {

struct ShownMessage {
    std::string text, title;
    report::MessageButtons buttons;
    report::MessageIcon icon;
};

class RecordingMessageBoxes final : public report::MessageBoxes {
public:
    report::MessageAnswer Show(const std::string& text, const std::string& title, report::MessageButtons buttons,
                           report::MessageIcon icon) override {
        shown.push_back({text, title, buttons, icon});
        if (whileShown)
            whileShown();
        const report::MessageAnswer fallback = buttons == report::MessageButtons::Ok ? report::MessageAnswer::Ok : report::MessageAnswer::Cancel;
        const report::MessageAnswer answer = answers.empty() ? fallback : answers.front();
        if (!answers.empty())
            answers.pop_front();
        return answer;
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& message : shown)
            texts.push_back(message.text);
        return texts;
    }

    std::vector<ShownMessage> shown;
    std::deque<report::MessageAnswer> answers;
    std::function<void()> whileShown;
};

} // namespace lumivert::testing
