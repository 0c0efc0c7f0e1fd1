#pragma once

// Records every message; answers from the queue, then OK or Cancel; whileShown runs meanwhile.

#include "ui/message_boxes.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace lumivert::testing {

struct ShownMessage {
    std::string text, title;
    ui::MessageButtons buttons;
    ui::MessageIcon icon;
};

class RecordingMessageBoxes final : public ui::MessageBoxes {
public:
    ui::MessageAnswer Show(const std::string& text, const std::string& title, ui::MessageButtons buttons,
                           ui::MessageIcon icon) override {
        shown.push_back({text, title, buttons, icon});
        if (whileShown)
            whileShown();
        const ui::MessageAnswer fallback = buttons == ui::MessageButtons::Ok ? ui::MessageAnswer::Ok : ui::MessageAnswer::Cancel;
        const ui::MessageAnswer answer = answers.empty() ? fallback : answers.front();
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
    std::deque<ui::MessageAnswer> answers;
    std::function<void()> whileShown;
};

} // namespace lumivert::testing
