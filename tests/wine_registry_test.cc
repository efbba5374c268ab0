#include "platform/wine/wine_registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/test_support.h"

namespace {

using std::string_literals::operator""s;

const char kGameKey[] = "Software\\Wow6432Node\\Quillfern\\GHR";

// A system.reg from a 64-bit prefix, laid out as Wine 8 writes one (less
// its #time lines, which GameKeyWith's file holds): the game's key in the
// 32-bit view, next to keys that only look like it.
const std::string kSystemReg = R"reg(WINE REGISTRY Version 2
;; All keys relative to \\Machine

#arch=win64

[Software\\Quillfern\\GHR] 1796580002
"Installpath"="C:\\Program Files\\GHR64"

[Software\\Wow6432Node\\Quillfern\\GHR] 1796580337
@="Default of the game key"
"Installpath"="C:\\Games\\GHR"
"Language"="eng"

[Software\\Wow6432Node\\Quillfern\\GHR\\Odd\]\x00e9] 1796580338
"Name"="odd"

[Software\\Wow6432Node\\Quillfern\\GHR\\Sub] 1796580339
#class="Subclass"
"OnlyInSub"="sub"

[Software\\Wow6432Node\\Quillfern\\GHR2] 1796580340
"Installpath"="C:\\Games\\GHR2"
"OnlyInGhr2"="two"
)reg";

// The bytes read for name under key, or the outcome when nothing was read,
// in which case the destination must be as it was.
std::string ReadValue(const std::string& text, const std::string& key, const std::string& name) {
  RegistryValue value, before;
  std::memset(&before, 0xA5, sizeof before);
  value = before;
  const RegistryStatus status = FindWineRegistryValue(text, key.c_str(), name.c_str(), &value);
  if (status == REGISTRY_VALUE_READ && value.size > kRegistryReadSize)
    return "<size past the buffer>";
  if (status == REGISTRY_VALUE_READ)
    return std::string(reinterpret_cast<const char*>(value.data), value.size);
  if (std::memcmp(&value, &before, sizeof value) != 0) return "<destination written>";
  if (status == REGISTRY_KEY_MISSING) return "<key missing>";
  return status == REGISTRY_VALUE_MISSING ? "<value missing>" : "<too long>";
}

std::string WithCrLf(std::string text) {
  for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2)
    text.insert(at, "\r");
  return text;
}

// A file whose game key holds valueLines, followed by a key named alike.
std::string GameKeyWith(const std::string& valueLines) {
  return "WINE REGISTRY Version 2\n\n"
         "[Software\\\\Wow6432Node\\\\Quillfern\\\\GHR] 1796580337\n"
         "#time=1d9f0a8b2c3d4e5\n" +
         valueLines + "\n[Software\\\\Wow6432Node\\\\Quillfern\\\\GHR3] 1\n";
}

// Values in a file laid out as Wine writes it; value lines as Wine reads
// them, and lines it cannot read, which are skipped.
TEST(WineRegistryTest, DecodesWhatWineReadsAndSkipsTheRest) {
  const std::string sub = kGameKey + "\\Sub"s;
  std::string hex256 = "\"Value\"=hex:";
  for (int i = 0; i < 256; ++i) hex256 += i % 24 == 23 ? "ab,\\\n  " : "ab,";
  hex256.pop_back();
  const std::string x254(254, 'x');
  std::string blob;
  for (int i = 0; i < 0x1F; ++i) blob += static_cast<char>(i);
  blob += '\xFF';
  // A key and a subkey of it named alike, where only the subkey has values.
  const std::string longer = "[Software\\\\Wow6432Node\\\\Quillfern\\\\GHR2] 1\n\"Value\"=\"2\"\n";
  const std::string subkey =
      "[Software\\\\Wow6432Node\\\\Quillfern\\\\GHR\\\\Sub] 2\n\"Value\"=\"s\"\n";
  const std::string root = "[Software\\\\Quillfern", quillfern = "Software\\Quillfern";
  const struct {
    std::string text;  // the game key's value lines, unless whole is set
    std::string expected;
    bool whole = false;  // text is the whole file
    std::string key = kGameKey;
    const char* name = "Value";
  } cases[] = {
      {kSystemReg, "C:\\Games\\GHR\0"s, true, kGameKey, "Installpath"},
      // Keys and values named alike are not confused.
      {kSystemReg, "C:\\Program Files\\GHR64\0"s, true, "Software\\Quillfern\\GHR", "Installpath"},
      {kSystemReg, "C:\\Games\\GHR2\0"s, true, kGameKey + "2"s, "Installpath"},
      {kSystemReg, "sub\0"s, true, sub, "OnlyInSub"},
      {kSystemReg, "<value missing>", true, kGameKey, "OnlyInSub"},
      {kSystemReg, "<key missing>", true, "Software\\Wow6432Node\\Quillfern\\GH", "Installpath"},
      // Names compare without regard to ASCII case.
      {kSystemReg, "C:\\Games\\GHR\0"s, true, "SOFTWARE\\wow6432node\\QuillFern\\ghr",
       "INSTALLPATH"},
      // The default value is "@"; a key's name is unescaped before it is
      // compared.
      {kSystemReg, "Default of the game key\0"s, true, kGameKey, ""},
      {kSystemReg, "odd\0"s, true, kGameKey + "\\Odd]\xE9"s, "Name"},
      // \x takes at most four digits and gives one UTF-16 unit, '?' where
      // code page 1252 has none; a backslash before anything else keeps it;
      // octal takes at most three digits.
      {R"("Value"="a\\b\"c\n\r\t|\x00e9|\x151|\x20ac|\x00e9e|\q|\x|\x9z|\e")",
       "a\\b\"c\n\r\t|\xE9|o|\x80|\xE9"
       "e|q|x|\tz|\x1B\0"s},
      {R"("Value"="\101\0012\7")",
       "A\x01"
       "2\a\0"s},
      // Strings of the expandable and multi kinds come back as stored; as
      // UTF-16LE hex, one code page 1252 byte per unit.
      {R"("Value"=str(2):"%USERPROFILE%\\GHR\\Saves")", "%USERPROFILE%\\GHR\\Saves\0"s},
      {R"("Value"=str(7):"C:\\One\0D:\\Two\0")", "C:\\One\0D:\\Two\0\0"s},
      {R"("Value"=hex(2):25,00,41,00,ac,20,51,01,e9,00,00,00)", "%A\x80o\xE9\0"s},
      {R"("Value"=hex(7):61,00,00,00,62,00,00,00,00,00)", "a\0b\0\0"s},
      {R"("Value"=dword:0001e240)", "\x40\xE2\x01\x00"s},
      {R"("Value"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\
  17,18,19,1a,1b,1c,1d,1e,ff)",
       blob},
      // Raw UTF-8 in a file edited by hand; a character past U+FFFF is two
      // UTF-16 units, so two '?'; bytes that are not UTF-8 are dropped (F8
      // leads nothing).
      {"\"Value\"=\"caf\xC3\xA9 \xE2\x82\xAC\"", "caf\xE9 \x80\0"s},
      {"\"Value\"=\"a\xF0\x9F\x98\x80\x80\xC0\xAF\xF8\xBF\xBF\xBFz\"", "a??z\0"s},
      // Overlong forms are dropped, the smallest and largest of each length
      // kept (1252 has none of them: '?'); hex digits in either case.
      {"\"Value\"=\"\xC1\xBF|\xC2\x80|\xDF\xBF|\xE0\x9F\xBF|\xE0\xA0\x80|\xEF\xBF\xBF|"
       "\xF0\x8F\xBF\xBF|\xF0\x90\x80\x80\"",
       "|?|?||?|?||??\0"s},
      {"\"Value\"=dword:0000ABCD", "\xCD\xAB\0\0"s},
      // UTF-16 strings with a stray odd byte (the type in up to eight
      // digits); no type is raw bytes.
      {"\"Value\"=hex(00000001):41,00,42", "A"s},
      {"\"Value\"=hex(0):41,00", "A\0"s},
      // The decoded length counts against the 256 bytes, not the escaped.
      {"\"Value\"=\"" + x254 + "\\x00e9\"", x254 + "\xE9\0"s},
      {"\"Value\"=\"" + x254 + "xy\"", "<too long>"},
      {hex256, std::string(256, '\xAB')},
      {hex256 + ",cd", "<too long>"},
      // Broken lines are not the value; a good one after one still is.
      {"\"Value\"=\"C:\\\\Games\n", "<value missing>"},
      {"\"Value=\"x\"\n", "<value missing>"},
      {"\"Value\" \"x\"\n", "<value missing>"},
      {"\"Value\"=dword:xyz\n", "<value missing>"},
      {"\"Value\"=dword:123456789\n", "<value missing>"},
      {"\"Value\"=hex:01,zz\n", "<value missing>"},
      {"\"Value\"=hex:100\n", "<value missing>"},
      {"\"Value\"=hex(zz):01\n", "<value missing>"},
      {"\"Value\"=float:1.5\n", "<value missing>"},
      {"\"Value\"=hex:01,\\", "<value missing>"},
      {"garbage line\n\"Value\"=dword:zz\n\"Value\"=\"eng\"", "eng\0"s},
      // Text that stops in the middle of a line.
      {root + "]\n\"Value\"=\"abc\\", "<value missing>", true, quillfern},
      {root + "]\n\"Value\"=\"abc", "<value missing>", true, quillfern},
      {root + "]\n\"Va", "<value missing>", true, quillfern},
      {root + "]\n\"Value\"=hex:01,\\", "<value missing>", true, quillfern},
      {root + "]\n\"Value\"=\"\\x", "<value missing>", true, quillfern},
      {root + " 1\n\"Value\"=\"x\"\n", "<key missing>", true, quillfern},
      {" \t" + root + "] 1\n\"Value\"=\"x\"\n", "x\0"s, true, quillfern},  // blanks before it
      {"", "<key missing>", true},
      // A longer key is another key; a subkey's line alone shows the key, as
      // Wine saves a key that has subkeys but no values: it opens, empty.
      {longer, "<key missing>", true},
      {longer + subkey, "<value missing>", true},
      {subkey, "<value missing>", true, "software\\WOW6432NODE\\Quillfern"},
  };
  for (const auto& c : cases) {
    const std::string text = c.whole ? c.text : GameKeyWith(c.text);
    EXPECT_EQ(c.expected, ReadValue(text, c.key, c.name)) << c.name << " in " << c.text;
    EXPECT_EQ(c.expected, ReadValue(WithCrLf(text), c.key, c.name)) << "with CR LF: " << c.text;
  }
  // Where the code page is UTF-8 (65001, kk_KZ's), a raw character past
  // U+FFFF comes back whole from its two UTF-16 units.
  const std::string locales = CompiledLocale("kk_KZ.UTF-8");
  if (locales.empty()) GTEST_SKIP() << "localedef cannot compile kk_KZ.UTF-8 (package locales)";
  ScopedEnvironment locpath("LOCPATH", locales.c_str()), lcAll("LC_ALL", "kk_KZ.UTF-8");
  EXPECT_EQ("a\xF0\x9F\x98\x80z\0"s,
            ReadValue(GameKeyWith("\"Value\"=\"a\xF0\x9F\x98\x80z\""), kGameKey, "Value"));
}

TEST(WineRegistryTest, TellsA64BitPrefixByItsArchLine) {
  EXPECT_TRUE(WineRegistryIsWin64(kSystemReg));
  EXPECT_TRUE(WineRegistryIsWin64(WithCrLf(kSystemReg)));
  // Only a whole line before the first key counts.
  for (const char* text : {"WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
                           "#arch=win32\n\n[Software] 1\n",
                           "WINE REGISTRY Version 2\n\n[Software] 1\n",
                           "WINE REGISTRY Version 2\n[Software] 1\n#arch=win64\n",
                           "WINE REGISTRY Version 2\n#arch=win64x\n;#arch=win64\n", ""})
    EXPECT_FALSE(WineRegistryIsWin64(text)) << text;
}

}  // namespace
