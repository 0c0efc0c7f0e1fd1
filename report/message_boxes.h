#pragma once

// Every message the program shows to the user goes through this one interface: the real
// program shows modal Qt message boxes, tests record the messages and answer them.

#include <string>

namespace report {

enum class MessageButtons { Ok, YesNoCancel };
enum class MessageIcon { None, Information, Exclamation };
enum class MessageAnswer { Ok, Yes, No, Cancel };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows text with title, the buttons and the icon; returns the button pressed
    // (closing the box counts as Cancel with Yes/No/Cancel, as OK with OK alone).
    virtual MessageAnswer Show(const std::string& text, const std::string& title, MessageButtons buttons,
                               MessageIcon icon) = 0;
};

} // namespace report
