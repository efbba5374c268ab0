#include "platform/shown_text.h"

#include <cstdint>

#include "platform/code_page.h"

namespace {

std::string Escaped(unsigned code) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  return std::string("\\x") + kHexDigits[(code >> 4) & 0xF] +
         kHexDigits[code & 0xF];
}

bool Shown(uint32_t code, bool keepLineLayout) {
  if (keepLineLayout && (code == '\t' || code == '\n')) return true;
  return code >= 0x20 && (code < 0x7F || code >= 0xA0);  // not C0, DEL, C1
}

#ifndef _WIN32
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
#endif

}  // namespace

std::string ShownEscaped(std::string_view host, bool keepLineLayout) {
  std::string shown;
#ifdef _WIN32
  // Host text is in the ANSI code page, where a byte may be half of a
  // character: the characters are looked at in wide text.
  std::u16string wide;
  for (char16_t c : NarrowToWide(host)) {
    if (Shown(c, keepLineLayout)) {
      wide += c;
      continue;
    }
    for (char digit : Escaped(c)) wide += char16_t(digit);
  }
  shown = WideToNarrow(wide);
#else
  for (size_t at = 0; at < host.size();) {
    uint32_t code = 0;
    const size_t length = DecodeUtf8(host, at, &code);
    if (length == 0) {
      shown += Escaped(static_cast<unsigned char>(host[at++]));
      continue;
    }
    if (Shown(code, keepLineLayout))
      shown.append(host, at, length);
    else
      shown += Escaped(code);
    at += length;
  }
#endif
  return shown;
}
