#include "platform/shown_text.h"

std::string EscapedCode(unsigned code) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  return std::string("\\x") + kHexDigits[(code >> 4) & 0xF] +
         kHexDigits[code & 0xF];
}

bool ShownAsItIs(uint32_t code, bool keepLineLayout) {
  if (keepLineLayout && (code == '\t' || code == '\n')) return true;
  return code >= 0x20 && (code < 0x7F || code >= 0xA0);  // not C0, DEL, C1
}
