// Text from outside the program (a file or folder name, a registry value,
// an argument) as a terminal or a pipe may show it.
#ifndef GRAVELHORN_PLATFORM_SHOWN_TEXT_H_
#define GRAVELHORN_PLATFORM_SHOWN_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

// host (the host's text: UTF-8 on Linux, the ANSI code page on Windows)
// with every control character (C0, DEL and C1) and every byte that is not
// valid host text shown as \xHH, so that a name can neither drive the
// terminal nor break or forge a line. With keepLineLayout, tab and line
// feed stay as they are, for a text of several lines.
std::string ShownEscaped(std::string_view host, bool keepLineLayout = false);

// What both systems' ShownEscaped share: whether the character code is
// shown as it is, and "\xHH" for the low byte of one that is not.
bool ShownAsItIs(uint32_t code, bool keepLineLayout);
std::string EscapedCode(unsigned code);

#endif  // GRAVELHORN_PLATFORM_SHOWN_TEXT_H_
