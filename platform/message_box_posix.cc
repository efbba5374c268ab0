// The Linux stand-in for the message box: the caption and the text go to
// standard output (plain style) or standard error (error style), converted
// to UTF-8 from the ANSI code page, as Wine shows narrow text. When standard
// input is a terminal the box waits for Enter, as a real box waits for OK.
#include <stdio.h>
#include <unistd.h>

#include <string>

#include "platform/code_page.h"
#include "platform/message_box.h"

namespace {

void WaitForEnter() {
  int c;
  do {
    c = getchar();
  } while (c != '\n' && c != EOF);
}

}  // namespace

void ShowPlatformMessage(const char* text, const char* caption,
                         unsigned style) {
  FILE* out = style == MESSAGE_STYLE_PLAIN ? stdout : stderr;
  std::string shown = NarrowToHost(caption);
  shown += '\n';
  shown += NarrowToHost(text);
  if (shown.back() != '\n') shown += '\n';
  fwrite(shown.data(), 1, shown.size(), out);
  fflush(out);
  if (isatty(STDIN_FILENO)) WaitForEnter();
}
