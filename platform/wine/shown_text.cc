// Host text on Linux is UTF-8: each character is looked at whole.
#include "platform/shown_text.h"

#include <cstdint>

namespace {

// The length of the UTF-8 sequence at text[at] and its code point; 0 when
// it is not a valid one (a stray byte, an overlong form, a surrogate).
size_t DecodeUtf8(std::string_view text, size_t at, uint32_t* code) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) {
    *code = lead;
    return 1;
  }
  size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || at + length > text.size()) return 0;
  uint32_t value = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF ||
      (value >= 0xD800 && value < 0xE000))
    return 0;
  *code = value;
  return length;
}

}  // namespace

std::string ShownEscaped(std::string_view host, bool keepLineLayout) {
  std::string shown;
  for (size_t at = 0; at < host.size();) {
    uint32_t code = 0;
    const size_t length = DecodeUtf8(host, at, &code);
    if (length == 0) {
      shown += EscapedCode(static_cast<unsigned char>(host[at++]));
      continue;
    }
    if (ShownAsItIs(code, keepLineLayout))
      shown.append(host, at, length);
    else
      shown += EscapedCode(code);
    at += length;
  }
  return shown;
}
