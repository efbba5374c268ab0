// The Linux stand-in for the message box: the caption and the text go to
// standard output (plain style) or standard error (error style), converted
// to UTF-8 from the ANSI code page, as Wine shows narrow text; then what
// the program's follower adds (the Linux program's hints). Where the player
// reads the box on a terminal and can answer there (standard input and the
// box's stream both are terminals), the box says so and waits for Enter, as a
// real box waits for OK.
#include "platform/message_box.h"

#include <stdio.h>
#include <unistd.h>

#include <string>

#include "platform/code_page.h"
#include "platform/shown_text.h"

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
  // The text may hold names and values from outside (the game's folder):
  // shown escaped, but for its own tabs and line ends.
  std::string shown = ShownEscaped(NarrowToHost(caption));
  shown += '\n';
  shown += ShownEscaped(NarrowToHost(text), true);
  if (shown.back() != '\n') shown += '\n';
  (void)fwrite(shown.data(), 1, shown.size(), out);
  (void)fflush(out);
  if (MessageBoxFollower follower = CurrentMessageBoxFollower())
    follower(text, caption, style);
  if (isatty(STDIN_FILENO) && isatty(fileno(out))) {
    (void)fputs("[Press Enter to close this message.]\n", out);
    (void)fflush(out);
    WaitForEnter();
  }
}
