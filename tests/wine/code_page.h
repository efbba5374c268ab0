// Conversions between UTF-8 and the 8-bit Windows code pages, for comparing
// what a box showed with the bytes the program passed to it.
#ifndef GRAVELHORN_TESTS_WINE_CODE_PAGE_H_
#define GRAVELHORN_TESTS_WINE_CODE_PAGE_H_

#include <string>

// The bytes of utf8 in Windows code page codePage. Throws
// std::runtime_error, naming the text, when a character has no byte there.
std::string Utf8ToCodePage(const std::string& utf8, unsigned codePage);

// The UTF-8 of bytes in Windows code page codePage. Throws
// std::runtime_error for a byte the code page leaves undefined.
std::string CodePageToUtf8(const std::string& bytes, unsigned codePage);

#endif  // GRAVELHORN_TESTS_WINE_CODE_PAGE_H_
