#include "tests/wine/code_page.h"

#include <errno.h>
#include <iconv.h>
#include <stdio.h>

#include <stdexcept>

namespace {

std::string Convert(const std::string& text, const char* from, const char* to) {
  iconv_t converter = iconv_open(to, from);
  if (converter == reinterpret_cast<iconv_t>(-1))
    throw std::runtime_error(std::string("no conversion from ") + from + " to " + to);
  std::string result;
  char* input = const_cast<char*>(text.data());
  size_t inputLeft = text.size();
  char block[1024];
  while (inputLeft > 0) {
    char* output = block;
    size_t outputLeft = sizeof block;
    size_t status = iconv(converter, &input, &inputLeft, &output, &outputLeft);
    result.append(block, static_cast<size_t>(output - block));
    if (status == static_cast<size_t>(-1) && errno != E2BIG) {
      iconv_close(converter);
      throw std::runtime_error(std::string("cannot convert from ") + from +
                               " to " + to + ": \"" + text + "\"");
    }
  }
  iconv_close(converter);
  return result;
}

std::string CodePageName(unsigned codePage) {
  char name[16];
  snprintf(name, sizeof name, "CP%u", codePage);
  return name;
}

}  // namespace

std::string Utf8ToCodePage(const std::string& utf8, unsigned codePage) {
  return Convert(utf8, "UTF-8", CodePageName(codePage).c_str());
}

std::string CodePageToUtf8(const std::string& bytes, unsigned codePage) {
  return Convert(bytes, CodePageName(codePage).c_str(), "UTF-8");
}
