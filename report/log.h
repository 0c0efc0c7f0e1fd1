#pragma once

// The program's log: one line on standard error for each failure whose reason the user's
// message box does not show, and one for each message box shown. The boxes keep their fixed
// texts; the log keeps the reason, and what the user was told.

#include <string_view>

namespace report {

// Writes "lumivert: <where>: <reason>" and a line end to standard error.
void LogFailure(std::string_view where, std::string_view reason);

// Writes "lumivert: message box: <title>: <text>" for a box the user is shown, its line
// breaks written as \n and backslashes doubled, so that the log holds what the user was told.
void LogMessageBox(std::string_view title, std::string_view text);

} // namespace report
