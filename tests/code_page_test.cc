// The Linux program's code page, chosen from the locale as Wine chooses it,
// and what narrow text becomes on the way to and from it; names and values
// shown on a terminal: valid UTF-8 as it is, up to the edges of each
// sequence length and of Unicode; control characters and every byte of a
// sequence that is not valid UTF-8 as \xHH.
#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/shown_text.h"
#include "tests/support/test_support.h"

namespace {

using std::string_literals::operator""s;

TEST(CodePage, FollowsTheLocaleAsWineDoes) {
  // Locales compiled into a folder of the test's own: a locale that is not
  // installed counts as C, as it does for Wine. Each row converts a text
  // each way: the decoders of 1255 and 1258 hold the last letter back until
  // the conversion is flushed (1255 a Hebrew one, 1258 a Latin one), and
  // the look-alikes are the code page's own (1255 has none for A with
  // grave, 1250 does).
  std::string locales;
  for (const char* name : {"hu_HU.UTF-8", "kk_KZ.UTF-8", "he_IL.UTF-8", "vi_VN.UTF-8"})
    if ((locales = CompiledLocale(name)).empty()) break;
  TempDir noLocales;  // stands for a machine without them, whatever this one has
  const struct {
    const char *lcAll, *lcCtype, *lang;
    bool installed;
    unsigned codePage;
    std::string narrow = "", host = "";  // narrow text, and what the host sees
    std::u16string wide = u"";
    std::string narrowOfWide = "";  // what the registry read gives for wide
  } rows[] = {
      {"hu_HU.UTF-8", nullptr, nullptr, true, 1250, "\xF5", "\xC5\x91", u"\u00C0\u0151", "A\xF5"},
      {nullptr, "hu_HU.UTF-8", "C", true, 1250},
      {nullptr, nullptr, "hu_HU.UTF-8", true, 1250},
      {"C", "hu_HU.UTF-8", "hu_HU.UTF-8", true, 1252},  // LC_ALL wins
      {"", "", "hu_HU.UTF-8", true, 1250},              // empty is unset
      {"hu_HU.UTF-8", nullptr, nullptr, false, 1252},
      {nullptr, nullptr, nullptr, false, 1252},
      // 1252: the look-alike letter where it lacks one, else '?', one for
      // each half of a pair; the bytes it leaves undefined stand for the
      // characters of their numbers.
      {"C.UTF-8", nullptr, nullptr, false, 1252, "K\xFC\x80", "K\xC3\xBC\xE2\x82\xAC",
       u"\u00FC|\u0151|\u0141|\u0110|\u0111|\u20AC|\u201C|\u4E2D|\U0001F600|\u03A9mega|\uFF21|"
       u"\u0081",
       "\xFC|o|L|\xD0|d|\x80|\x93|?|??|Omega|A|\x81"},
      // UTF-8: a byte that is no character is U+FFFD, a lone surrogate too,
      // at either edge of each range of halves.
      {"kk_KZ.UTF-8", nullptr, nullptr, true, 65001, "\xC3\xA9\xFF", "\xC3\xA9\xEF\xBF\xBD",
       u"\u00E9\xD800\U0001F600\xDC00\xDC01\xD800\xDBFF",
       "\xC3\xA9\xEF\xBF\xBD\xF0\x9F\x98\x80\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"he_IL.UTF-8", nullptr, nullptr, true, 1255, "GHR\xE0", "GHR\xD7\x90", u"\u00C0\uFF21\u05D0",
       "?A\xE0"},
      {"vi_VN.UTF-8", nullptr, nullptr, true, 1258, "ERROR", "ERROR", u"\u00C3\u00C2\uFF21",
       "?\xC2\x41"},
  };
  for (const auto& row : rows) {
    if (row.installed && locales.empty()) continue;
    SCOPED_TRACE("row " + std::to_string(&row - rows));
    ScopedEnvironment locpath("LOCPATH", (row.installed ? locales : noLocales.path()).c_str()),
        lcAll("LC_ALL", row.lcAll), lcCtype("LC_CTYPE", row.lcCtype), lang("LANG", row.lang);
    EXPECT_EQ(row.codePage, AnsiCodePage());
    EXPECT_EQ(row.host, NarrowToHost(row.narrow));
    std::string narrow;  // UTF-8 is what the host sees, U+FFFD included
    EXPECT_TRUE(HostToNarrow(row.host, &narrow));
    EXPECT_EQ(row.codePage == 65001 ? row.host : row.narrow, narrow);
    EXPECT_EQ(row.narrowOfWide, WideToNarrow(row.wide));
  }
  if (locales.empty()) GTEST_SKIP() << "localedef could not compile the locales (package locales)";
}

// Every locale glibc supports in UTF-8, with the code page Wine 8 gave it
// (GetACP), as scripts/best_fit/measure_locales.py measured them.
TEST(CodePage, IsWhatWineGivesEachLocale) {
  std::ifstream measured(WINE_CODE_PAGES);
  size_t rows = 0;
  for (std::string line, locale; std::getline(measured, line);) {
    unsigned codePage = 0;
    if (line[0] == '#' || !(std::istringstream(line) >> locale >> codePage)) continue;
    EXPECT_EQ(codePage, CodePageOfLocale(locale)) << locale;
    ++rows;
  }
  EXPECT_GT(rows, 300u) << WINE_CODE_PAGES;
}

TEST(ShownEscaped, KeepsValidUtf8AndEscapesControlsAndStrayBytes) {
  const struct {
    std::string host, shown;
  } rows[] = {
      // The first shown after C1, the last of two bytes.
      {"\xC2\xA0\xDF\xBF", "\xC2\xA0\xDF\xBF"},
      // The first and a late one of three bytes.
      {"\xE0\xA0\x80\xEF\xBF\xBD", "\xE0\xA0\x80\xEF\xBF\xBD"},
      // Four bytes, up to U+10FFFF, and at the very end.
      {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      // C0, DEL, C1 by their code; overlong forms; past U+10FFFF, a
      // surrogate; cut short, stray, at the end.
      {"\x1F\x7F\xC2\x80\xC2\x9F", "\\x1F\\x7F\\x80\\x9F"},
      {"\xC1\xBF\xE0\x9F\xBF\xF0\x8F\xBF\xBF", "\\xC1\\xBF\\xE0\\x9F\\xBF\\xF0\\x8F\\xBF\\xBF"},
      {"\xF4\x90\x80\x80\xED\xA0\x80", "\\xF4\\x90\\x80\\x80\\xED\\xA0\\x80"},
      {"\xC3(\xBFx\xE2\x82", "\\xC3(\\xBFx\\xE2\\x82"},
      {"a\tb\n", "a\\x09b\\x0A"},
  };
  for (const auto& row : rows) EXPECT_EQ(row.shown, ShownEscaped(row.host)) << row.shown;
  EXPECT_EQ("a\tb\n\\x0D", ShownEscaped("a\tb\n\r", true));
}

}  // namespace
