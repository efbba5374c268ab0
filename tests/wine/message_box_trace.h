// Reading a message box's text out of Wine's debug output.
//
// With WINEDEBUG=+msgbox, Wine writes one line per box as the box is set up:
//   0024:trace:msgbox:MSGBOX_OnInit L"Path:\t C:\\Games\\ \00e9t\00e9"
// The text is quoted with \n, \r, \t, \" and \\ escaped and every other
// character outside printable ASCII as a backslash and four hex digits of
// its UTF-16 code unit. A text too long for the trace ends in '"...'.
#ifndef GRAVELHORN_TESTS_WINE_MESSAGE_BOX_TRACE_H_
#define GRAVELHORN_TESTS_WINE_MESSAGE_BOX_TRACE_H_

#include <string>
#include <vector>

// The texts of every box in the trace, in the order shown, as narrow text
// in the ANSI code page. Throws std::runtime_error, naming the line, for a
// line it cannot decode whole.
std::vector<std::string> MessageBoxTextsFromTrace(const std::string& trace);

#endif  // GRAVELHORN_TESTS_WINE_MESSAGE_BOX_TRACE_H_
