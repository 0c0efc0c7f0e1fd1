#pragma once

// The program's log: one line on standard error for each failure whose reason the user's
// message box does not show. The boxes keep their fixed texts; the log keeps the reason.

#include <string_view>

namespace report {

// Writes "lumivert: <where>: <reason>" and a line end to standard error.
void LogFailure(std::string_view where, std::string_view reason);

} // namespace report
