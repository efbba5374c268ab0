// Host text on Windows is in the ANSI code page, where a byte may be half
// of a character: the characters are looked at in wide text.
#include "platform/shown_text.h"

#include "platform/code_page.h"

std::string ShownEscaped(std::string_view host, bool keepLineLayout) {
  std::u16string wide;
  for (char16_t c : NarrowToWide(host)) {
    if (ShownAsItIs(c, keepLineLayout)) {
      wide += c;
      continue;
    }
    for (char digit : EscapedCode(c)) wide += char16_t(digit);
  }
  return WideToNarrow(wide);
}
