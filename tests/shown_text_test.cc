// Names and values shown on a terminal: valid UTF-8 as it is, up to the
// edges of each sequence length and of Unicode; control characters and
// every byte of a sequence that is not valid UTF-8 as \xHH.
#include "platform/shown_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ShownEscaped, KeepsValidUtf8AndEscapesControlsAndStrayBytes) {
  const struct {
    std::string host, shown;
  } rows[] = {
      // clang-format off
      {"\xC2\xA0\xDF\xBF", "\xC2\xA0\xDF\xBF"},                     // the first shown after C1, the last of two bytes
      {"\xE0\xA0\x80\xEF\xBF\xBD", "\xE0\xA0\x80\xEF\xBF\xBD"},     // the first and a late one of three bytes
      {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},  // four bytes, up to U+10FFFF
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},                     // four bytes at the very end
      {"\x1F\x7F\xC2\x80\xC2\x9F", "\\x1F\\x7F\\x80\\x9F"},           // C0, DEL, C1 by their code
      {"\xC1\xBF\xE0\x9F\xBF", "\\xC1\\xBF\\xE0\\x9F\\xBF"},           // overlong forms
      {"\xF4\x90\x80\x80\xED\xA0\x80", "\\xF4\\x90\\x80\\x80\\xED\\xA0\\x80"},  // past U+10FFFF, a surrogate
      {"\xC3(\xBFx\xE2\x82", "\\xC3(\\xBFx\\xE2\\x82"},               // cut short, stray, at the end
      {"a\tb\n", "a\\x09b\\x0A"},
      // clang-format on
  };
  for (const auto& row : rows) EXPECT_EQ(row.shown, ShownEscaped(row.host)) << row.shown;
  EXPECT_EQ("a\tb\n\\x0D", ShownEscaped("a\tb\n\r", true));
}

}  // namespace
