#include "platform/wine_registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using std::string_literals::operator""s;

const char kGameKey[] = "Software\\Wow6432Node\\Quillfern\\GHR";

// A system.reg from a 64-bit prefix, laid out as Wine 8 writes one: the
// game's key in the 32-bit view, next to keys that only look like it.
const std::string kSystemReg = R"reg(WINE REGISTRY Version 2
;; All keys relative to \\Machine

#arch=win64

[Software\\Classes\\.txt] 1796580001
#time=1d9f0a8b2c3d4e1
@="txtfile"
"Content Type"="text/plain"

[Software\\Quillfern\\GHR] 1796580002
#time=1d9f0a8b2c3d4e2
"Installpath"="C:\\Program Files\\GHR64"

[Software\\Wow6432Node\\Quillfern\\GHR] 1796580337
#time=1d9f0a8b2c3d4e5
@="Default of the game key"
"Blob"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\
  17,18,19,1a,1b,1c,1d,1e,ff
"Escapes"="a\\b\"c\n\r\t|\x00e9|\x151|\x20ac|\x00e9e|\q|\x|\e"
"Installpath"="C:\\Games\\GHR"
"Language"="eng"
"MultiDirs"=str(7):"C:\\One\0D:\\Two\0"
"Octal"="\101\0012"
"SavePath"=str(2):"%USERPROFILE%\\GHR\\Saves"
"Version"=dword:0001e240
"WideExpand"=hex(2):25,00,41,00,ac,20,51,01,e9,00,00,00
"WideMulti"=hex(7):61,00,00,00,62,00,00,00,00,00
"Zero"=hex:

[Software\\Wow6432Node\\Quillfern\\GHR\\Odd\]\x00e9] 1796580338
#time=1d9f0a8b2c3d4e6
"Name"="odd"

[Software\\Wow6432Node\\Quillfern\\GHR\\Sub] 1796580339
#time=1d9f0a8b2c3d4e7
#class="Subclass"
"OnlyInSub"="sub"

[Software\\Wow6432Node\\Quillfern\\GHR2] 1796580340
#time=1d9f0a8b2c3d4e8
"Installpath"="C:\\Games\\GHR2"
"OnlyInGhr2"="two"
)reg";

// The bytes read for name under key, or the outcome when nothing was read.
std::string ReadValue(const std::string& text, const char* key,
                      const char* name) {
  RegistryValue value;
  std::memset(&value, 0xA5, sizeof value);
  switch (FindWineRegistryValue(text, key, name, &value)) {
    case REGISTRY_VALUE_READ:
      if (value.size > kRegistryReadSize) return "<size past the buffer>";
      return std::string(reinterpret_cast<const char*>(value.data), value.size);
    case REGISTRY_KEY_MISSING:
      return "<key missing>";
    case REGISTRY_VALUE_MISSING:
      return "<value missing>";
    case REGISTRY_VALUE_TOO_LONG:
      return "<too long>";
  }
  return "<unknown status>";
}

std::string WithCrLf(const std::string& text) {
  std::string converted;
  for (char c : text) {
    if (c == '\n') converted += '\r';
    converted += c;
  }
  return converted;
}

std::string GameKeyWith(const std::string& valueLines) {
  return "WINE REGISTRY Version 2\n\n"
         "[Software\\\\Wow6432Node\\\\Quillfern\\\\GHR] 1796580337\n"
         "#time=1d9f0a8b2c3d4e5\n" +
         valueLines + "\n[Software\\\\Wow6432Node\\\\Quillfern\\\\GHR3] 1\n";
}

TEST(WineRegistryTest, ReadsTheGameKeyInTheThirtyTwoBitView) {
  EXPECT_EQ("C:\\Games\\GHR\0"s,
            ReadValue(kSystemReg, kGameKey, "Installpath"));
  EXPECT_EQ("eng\0"s, ReadValue(kSystemReg, kGameKey, "Language"));
  EXPECT_EQ("C:\\Program Files\\GHR64\0"s,
            ReadValue(kSystemReg, "Software\\Quillfern\\GHR", "Installpath"));
  EXPECT_EQ("C:\\Games\\GHR2\0"s,
            ReadValue(kSystemReg, "Software\\Wow6432Node\\Quillfern\\GHR2",
                      "Installpath"));
  // The default value is "@", not a value named by the text after it.
  EXPECT_EQ("Default of the game key\0"s, ReadValue(kSystemReg, kGameKey, ""));
  EXPECT_EQ("text/plain\0"s,
            ReadValue(kSystemReg, "Software\\Classes\\.txt", "Content Type"));
  // Key names are unescaped before they are compared.
  EXPECT_EQ(
      "odd\0"s,
      ReadValue(kSystemReg, "Software\\Wow6432Node\\Quillfern\\GHR\\Odd]\xE9",
                "Name"));
}

TEST(WineRegistryTest, ComparesKeyAndValueNamesWithoutAsciiCase) {
  EXPECT_EQ("C:\\Games\\GHR\0"s,
            ReadValue(kSystemReg, "SOFTWARE\\wow6432node\\QuillFern\\ghr",
                      "INSTALLPATH"));
  EXPECT_EQ("eng\0"s, ReadValue(kSystemReg, kGameKey, "language"));
  EXPECT_EQ("", ReadValue(kSystemReg, kGameKey, "zERO"));
}

TEST(WineRegistryTest, KeepsToTheKeyAndNotToKeysNamedAlike) {
  EXPECT_EQ("<value missing>", ReadValue(kSystemReg, kGameKey, "OnlyInSub"));
  EXPECT_EQ("<value missing>", ReadValue(kSystemReg, kGameKey, "OnlyInGhr2"));
  EXPECT_EQ("sub\0"s,
            ReadValue(kSystemReg, "Software\\Wow6432Node\\Quillfern\\GHR\\Sub",
                      "OnlyInSub"));

  // Only a longer key and a subkey: the key itself is not there.
  const std::string lookalikes = R"reg(WINE REGISTRY Version 2
[Software\\Wow6432Node\\Quillfern\\GHR2] 1796580340
"Installpath"="C:\\Games\\GHR2"

[Software\\Wow6432Node\\Quillfern\\GHR\\Sub] 1796580339
"Installpath"="C:\\Games\\Sub"
)reg";
  EXPECT_EQ("<key missing>", ReadValue(lookalikes, kGameKey, "Installpath"));
  EXPECT_EQ("<key missing>",
            ReadValue(kSystemReg, "Software\\Wow6432Node\\Quillfern\\GH",
                      "Installpath"));
  EXPECT_EQ("<key missing>", ReadValue("", kGameKey, "Installpath"));
}

TEST(WineRegistryTest, DecodesStringEscapesToCp1252) {
  // \x takes at most four digits; a backslash before anything else keeps it.
  EXPECT_EQ(
      "a\\b\"c\n\r\t|\xE9|?|\x80|\xE9"
      "e|q|x|\x1B\0"s,
      ReadValue(kSystemReg, kGameKey, "Escapes"));
  // Octal takes at most three digits.
  EXPECT_EQ(
      "A\x01"
      "2\0"s,
      ReadValue(kSystemReg, kGameKey, "Octal"));
  // Wine reads raw UTF-8 in a file edited by hand.
  EXPECT_EQ("caf\xE9 \x80\0"s,
            ReadValue(GameKeyWith("\"Utf8\"=\"caf\xC3\xA9 \xE2\x82\xAC\""),
                      kGameKey, "Utf8"));
  // A character past U+FFFF is two UTF-16 units, so two '?'; bytes that are
  // not UTF-8 (a stray continuation, an overlong '/') are dropped.
  EXPECT_EQ(
      "a??z\0"s,
      ReadValue(GameKeyWith("\"Utf8\"=\"a\xF0\x9F\x98\x80\x80\xC0\xAFz\""),
                kGameKey, "Utf8"));
}

TEST(WineRegistryTest, DeliversStringKindsAsStored) {
  EXPECT_EQ("%USERPROFILE%\\GHR\\Saves\0"s,
            ReadValue(kSystemReg, kGameKey, "SavePath"));
  EXPECT_EQ("C:\\One\0D:\\Two\0\0"s,
            ReadValue(kSystemReg, kGameKey, "MultiDirs"));
  // Strings stored as UTF-16LE hex come back one cp1252 byte per unit.
  EXPECT_EQ("%A\x80?\xE9\0"s, ReadValue(kSystemReg, kGameKey, "WideExpand"));
  EXPECT_EQ("a\0b\0\0"s, ReadValue(kSystemReg, kGameKey, "WideMulti"));
}

TEST(WineRegistryTest, DeliversDwordAndBinaryBytes) {
  EXPECT_EQ("\x40\xE2\x01\x00"s, ReadValue(kSystemReg, kGameKey, "Version"));
  std::string blob;
  for (int i = 0; i < 0x1F; ++i) blob += static_cast<char>(i);
  blob += '\xFF';
  EXPECT_EQ(blob, ReadValue(kSystemReg, kGameKey, "Blob"));
  EXPECT_EQ("", ReadValue(kSystemReg, kGameKey, "Zero"));
  // Types other than the string ones come back raw.
  EXPECT_EQ("\x01\x00\x00\x00\x00\x00\x00\x00"s,
            ReadValue(GameKeyWith("\"Qword\"=hex(b):01,00,00,00,00,00,00,00"),
                      kGameKey, "Qword"));
}

TEST(WineRegistryTest, ReadsFilesWithCrLfLineEnds) {
  const std::string crlf = WithCrLf(kSystemReg);
  EXPECT_TRUE(WineRegistryIsWin64(crlf));
  EXPECT_EQ("C:\\Games\\GHR\0"s, ReadValue(crlf, kGameKey, "Installpath"));
  EXPECT_EQ(ReadValue(kSystemReg, kGameKey, "Blob"),
            ReadValue(crlf, kGameKey, "Blob"));
  EXPECT_EQ("\x40\xE2\x01\x00"s, ReadValue(crlf, kGameKey, "Version"));
}

TEST(WineRegistryTest, LeavesTheValueUntouchedWhenNotRead) {
  const struct {
    const char* key;
    const char* name;
    RegistryStatus status;
  } cases[] = {
      {kGameKey, "Missing", REGISTRY_VALUE_MISSING},
      {"Software\\Wow6432Node\\Quillfern\\Nothing", "Installpath",
       REGISTRY_KEY_MISSING},
  };
  for (const auto& lookup : cases) {
    RegistryValue value;
    std::memset(value.data, 0x5C, sizeof value.data);
    value.size = 1234;
    EXPECT_EQ(lookup.status, FindWineRegistryValue(kSystemReg, lookup.key,
                                                   lookup.name, &value));
    EXPECT_EQ(1234u, value.size);
    EXPECT_EQ(
        std::string(sizeof value.data, '\x5C'),
        std::string(reinterpret_cast<char*>(value.data), sizeof value.data));
  }
}

TEST(WineRegistryTest, RefusesValuesLongerThanTheReadBuffer) {
  const std::string fits(255, 'x');
  EXPECT_EQ(fits + '\0', ReadValue(GameKeyWith("\"Path\"=\"" + fits + "\""),
                                   kGameKey, "Path"));
  // The decoded length counts, not the escaped one.
  EXPECT_EQ(std::string(254, 'x') + "\xE9\0"s,
            ReadValue(GameKeyWith("\"Path\"=\"" + std::string(254, 'x') +
                                  "\\x00e9\""),
                      kGameKey, "Path"));

  const std::string text = GameKeyWith("\"Path\"=\"" + fits + "y\"");
  RegistryValue value;
  std::memset(value.data, 0x5C, sizeof value.data);
  value.size = 1234;
  EXPECT_EQ(REGISTRY_VALUE_TOO_LONG,
            FindWineRegistryValue(text, kGameKey, "Path", &value));
  EXPECT_EQ(1234u, value.size);
  EXPECT_EQ(
      std::string(sizeof value.data, '\x5C'),
      std::string(reinterpret_cast<char*>(value.data), sizeof value.data));

  std::string hex256 = "\"Blob\"=hex:";
  for (int i = 0; i < 256; ++i) hex256 += i % 24 == 23 ? "ab,\\\n  " : "ab,";
  EXPECT_EQ(std::string(256, '\xAB'),
            ReadValue(GameKeyWith(hex256.substr(0, hex256.size() - 1)),
                      kGameKey, "Blob"));
  EXPECT_EQ("<too long>",
            ReadValue(GameKeyWith(hex256 + "cd"), kGameKey, "Blob"));
}

TEST(WineRegistryTest, SkipsMalformedLinesSafely) {
  const std::string broken = GameKeyWith(
      "\"Unterminated\"=\"C:\\\\Games\n"
      "\"NoClosingQuote=\"x\"\n"
      "\"NoEquals\" \"x\"\n"
      "\"BadDword\"=dword:xyz\n"
      "\"LongDword\"=dword:123456789\n"
      "\"BadHex\"=hex:01,zz\n"
      "\"BigHex\"=hex:100\n"
      "\"BadType\"=hex(zz):01\n"
      "\"Unknown\"=float:1.5\n"
      "garbage line\n"
      "\"Language\"=dword:zz\n"
      "\"Language\"=\"eng\"\n"
      "\"CutHex\"=hex:01,\\");
  for (const char* name :
       {"Unterminated", "NoClosingQuote", "NoEquals", "BadDword", "LongDword",
        "BadHex", "BigHex", "BadType", "Unknown", "CutHex"})
    EXPECT_EQ("<value missing>", ReadValue(broken, kGameKey, name)) << name;
  // A broken line is not the value; a good one after it still is.
  EXPECT_EQ("eng\0"s, ReadValue(broken, kGameKey, "Language"));

  // Text that stops in the middle of a line.
  for (const char* ending : {"\"Path\"=\"abc\\", "\"Path\"=\"abc", "\"Pa",
                             "\"Path\"=hex:01,\\", "\"Path\"=\"\\x"})
    EXPECT_EQ("<value missing>",
              ReadValue("[Software\\\\Quillfern]\n"s + ending,
                        "Software\\Quillfern", "Path"))
        << ending;
  EXPECT_EQ("<key missing>",
            ReadValue("[Software\\\\Quillfern 1\n\"Path\"=\"x\"\n",
                      "Software\\Quillfern", "Path"));
}

TEST(WineRegistryTest, UsesTheFirstOfRepeatedKeys) {
  const std::string repeated = R"reg(WINE REGISTRY Version 2
[Software\\Quillfern\\GHR] 1
"Installpath"="first"

[Software\\Quillfern\\GHR] 2
"Installpath"="second"
)reg";
  EXPECT_EQ("first\0"s,
            ReadValue(repeated, "Software\\Quillfern\\GHR", "Installpath"));
}

TEST(WineRegistryTest, TellsA64BitPrefixByItsArchLine) {
  EXPECT_TRUE(WineRegistryIsWin64(kSystemReg));
  EXPECT_FALSE(WineRegistryIsWin64(
      "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
      "#arch=win32\n\n[Software] 1\n"));
  EXPECT_FALSE(
      WineRegistryIsWin64("WINE REGISTRY Version 2\n\n[Software] 1\n"));
  // Only a whole line before the first key counts.
  EXPECT_FALSE(WineRegistryIsWin64(
      "WINE REGISTRY Version 2\n[Software] 1\n#arch=win64\n"));
  EXPECT_FALSE(WineRegistryIsWin64(
      "WINE REGISTRY Version 2\n#arch=win64x\n;#arch=win64\n"));
  EXPECT_FALSE(WineRegistryIsWin64(""));
}

}  // namespace
