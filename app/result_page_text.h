#pragma once

// The texts of the result page: the time text, the page file, the body markup, and the
// page file's Shift_JIS bytes.

#include "app/tick_span.h"

#include <string>

namespace lumivert {

// The elapsed time of span, taken with wrap-around arithmetic so that a tick counter
// passing 2^31 between the readings still gives the true span: up to 999 ms as
// "<n>ミリ秒", above that in seconds as the shortest decimal text (at most 15 significant
// digits, decimalSeparator between the whole and the fraction) followed by "秒".
std::string ResultTimeText(const TickSpan& span, const std::string& decimalSeparator);

// The page file's text (UTF-8, CR LF line ends, the final CR LF included). imageName is
// the bare file name of the picture, or empty when the picture file does not exist.
std::string ResultPageFileText(const std::string& appFolder, const std::string& path, const std::string& description,
                               const std::string& timeText, const std::string& pageColour,
                               const std::string& imageName);

// The markup put into a page's body: the same lines, the picture named by its full path.
std::string ResultBodyText(const std::string& path, const std::string& description, const std::string& timeText);

// Text made safe for HTML: &, <, > and " become character references.
std::string EscapeHtml(const std::string& text);

// A file name or path made safe as a URL in an HTML attribute: %, # and ? (which would
// end or change the path part of a URL) are percent-encoded, then the text is escaped.
std::string EscapeUrlAttribute(const std::string& path);

// UTF-8 text as Shift_JIS (Windows code page 932); a character Shift_JIS cannot hold
// becomes a numeric character reference such as "&#128512;", an invalid byte "&#65533;".
std::string EncodeShiftJis(const std::string& utf8);

} // namespace lumivert
