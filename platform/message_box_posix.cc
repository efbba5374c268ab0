// The Linux stand-in for the message box: the caption and the text go to
// standard output (plain style) or standard error (error style), converted
// to UTF-8 from the current code page. When standard input is a terminal the
// box waits for Enter, as a real box waits for OK.
#include <errno.h>
#include <iconv.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "platform/message_box.h"

namespace {

// Converts 8-bit text in Windows code page codePage to UTF-8. A byte that
// the code page leaves undefined becomes '?', so a box never loses the rest
// of its text.
std::string ToUtf8(const char* text, unsigned codePage) {
  char fromCode[16];
  snprintf(fromCode, sizeof fromCode, "CP%u", codePage);
  iconv_t converter = iconv_open("UTF-8", fromCode);
  if (converter == reinterpret_cast<iconv_t>(-1)) return text;

  std::string result;
  char* input = const_cast<char*>(text);
  size_t inputLeft = strlen(text);
  char block[1024];
  while (inputLeft > 0) {
    char* output = block;
    size_t outputLeft = sizeof block;
    size_t status = iconv(converter, &input, &inputLeft, &output, &outputLeft);
    result.append(block, static_cast<size_t>(output - block));
    if (status == static_cast<size_t>(-1) && errno != E2BIG) {
      result += '?';  // EILSEQ or EINVAL: a byte with no character
      ++input;
      --inputLeft;
    }
  }
  iconv_close(converter);
  return result;
}

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
  std::string shown = ToUtf8(caption, MessageCodePage());
  shown += '\n';
  shown += ToUtf8(text, MessageCodePage());
  if (shown.back() != '\n') shown += '\n';
  fwrite(shown.data(), 1, shown.size(), out);
  fflush(out);
  if (isatty(STDIN_FILENO)) WaitForEnter();
}
