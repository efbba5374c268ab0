// Letter case as the file system and language selection see it: only the
// ASCII letters A to Z and a to z fold; every other byte, 0x80 and up
// included, compares exactly.
#ifndef GRAVELHORN_FILESYSTEM_ASCII_CASE_H_
#define GRAVELHORN_FILESYSTEM_ASCII_CASE_H_

#include <string_view>

inline unsigned char UpperCaseAscii(unsigned char c) {
  return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c;
}

inline bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpperCaseAscii(static_cast<unsigned char>(a[i])) !=
        UpperCaseAscii(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

#endif  // GRAVELHORN_FILESYSTEM_ASCII_CASE_H_
