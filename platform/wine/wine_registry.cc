// Reads values out of the text registry files Wine keeps in a prefix.
//
// The layout, as Wine writes it:
//   WINE REGISTRY Version 2
//   #arch=win64                         (global options, before any key)
//   [Software\\Vendor\\App] 1796580337  (a key: escaped path, timestamp)
//   #time=1d9f0a8b2c3d4e5               (options of that key)
//   "Name"="text"                       (its values, up to the next key)
//   "Blob"=hex:01,02,\                  (long hex data goes on in the next
//     03,04                              line after a final backslash)
// Names and strings use C-like escapes; Wine writes every non-ASCII
// character as \x and its UTF-16 code unit in hex.
#include "platform/wine/wine_registry.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/code_page.h"
#include "platform/wine/regular_file.h"

namespace {

// Splits the first line, without its "\n" or "\r\n", off the text in rest.
bool NextLine(std::string_view* rest, std::string_view* line) {
  if (rest->empty()) return false;
  const size_t end = std::min(rest->find('\n'), rest->size());
  *line = rest->substr(0, end);
  rest->remove_prefix(std::min(end + 1, rest->size()));
  if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
  return true;
}

std::string_view SkipBlanks(std::string_view text) {
  const size_t start = text.find_first_not_of(" \t\r\v\f");
  return start == std::string_view::npos ? std::string_view()
                                         : text.substr(start);
}

// Removes prefix from the front of text if it is there.
bool ConsumePrefix(std::string_view* text, std::string_view prefix) {
  if (text->substr(0, prefix.size()) != prefix) return false;
  text->remove_prefix(prefix.size());
  return true;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads up to maxDigits digits in base 8 or 16 from the front of text.
unsigned ConsumeDigits(std::string_view* text, int base, int maxDigits,
                       int* digitsRead) {
  unsigned number = 0;
  *digitsRead = 0;
  while (*digitsRead < maxDigits && !text->empty()) {
    const int digit = HexDigitValue(text->front());
    if (digit < 0 || digit >= base) break;
    number = number * base + digit;
    text->remove_prefix(1);
    ++*digitsRead;
  }
  return number;
}

// Reads a number of 1 to maxDigits hex digits from the front of text.
bool ConsumeHexNumber(std::string_view* text, int maxDigits, uint32_t* number) {
  int digits;
  *number = ConsumeDigits(text, 16, maxDigits, &digits);
  return digits > 0 && (text->empty() || HexDigitValue(text->front()) < 0);
}

// Decodes the escape after a backslash, leaving text past it. False when
// the character after the backslash simply stands for itself.
bool ConsumeEscape(std::string_view* text, std::u16string* decoded) {
  static const char16_t kControls[] = {'\a', '\b', 0x1B, '\f',
                                       '\n', '\r', '\t', '\v'};
  const char c = text->front();
  const size_t letter = std::string_view("abefnrtv").find(c);
  if (letter != std::string_view::npos) {
    decoded->push_back(kControls[letter]);
    text->remove_prefix(1);
    return true;
  }
  int digits;
  if (c == 'x') {  // a UTF-16 unit in up to four hex digits; "\x" alone is x
    text->remove_prefix(1);
    const unsigned unit = ConsumeDigits(text, 16, 4, &digits);
    decoded->push_back(digits > 0 ? static_cast<char16_t>(unit) : u'x');
    return true;
  }
  if (c >= '0' && c <= '7') {  // up to three octal digits, "\0" among them
    const unsigned unit = ConsumeDigits(text, 8, 3, &digits);
    decoded->push_back(static_cast<char16_t>(unit));
    return true;
  }
  return false;
}

// Appends the unescaped character at the front of text. Wine writes only
// ASCII, but reads UTF-8 from hand-edited files; like Wine, this drops a
// byte sequence that is not valid UTF-8.
void ConsumeCharacter(std::string_view* text, std::u16string* decoded) {
  static const char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
  const unsigned char lead = text->front();
  text->remove_prefix(1);
  if (lead < 0x80) return decoded->push_back(lead);
  if (lead < 0xC0 || lead >= 0xF8) return;  // not a lead byte
  const int continuations = 1 + (lead >= 0xE0) + (lead >= 0xF0);
  char32_t code = lead & (0x7F >> (continuations + 1));
  for (int i = 0; i < continuations; ++i, text->remove_prefix(1)) {
    const unsigned char next = text->empty() ? 0 : text->front();
    if ((next & 0xC0) != 0x80) return;
    code = (code << 6) | (next & 0x3F);
  }
  // Overlong forms and code points past Unicode are not characters.
  if (code < kSmallest[continuations] || code > 0x10FFFF) return;
  if (code <= 0xFFFF) return decoded->push_back(static_cast<char16_t>(code));
  code -= 0x10000;  // a surrogate pair
  decoded->push_back(static_cast<char16_t>(0xD800 | (code >> 10)));
  decoded->push_back(static_cast<char16_t>(0xDC00 | (code & 0x3FF)));
}

// Decodes an escaped key name, value name or string up to its closing
// delimiter and leaves text past it. False when the delimiter is missing.
bool ConsumeEscapedText(std::string_view* text, char delimiter,
                        std::u16string* decoded) {
  std::string_view rest = *text;
  decoded->clear();
  while (!rest.empty() && rest.front() != delimiter) {
    if (rest.front() == '\\') {
      rest.remove_prefix(1);
      if (rest.empty()) return false;
      if (ConsumeEscape(&rest, decoded)) continue;
    }
    ConsumeCharacter(&rest, decoded);
  }
  if (rest.empty()) return false;
  *text = rest.substr(1);
  return true;
}

// Whether a name from the file equals the caller's narrow one, ignoring
// case as Windows does.
bool SameName(const std::u16string& fromFile, const char* wanted) {
  return SameWideNameIgnoringCase(fromFile, NarrowToWide(wanted));
}

// A string stored as UTF-16LE hex, as the narrow interface hands it out. A
// stray odd byte at the end is dropped.
std::string Utf16LeBytesToNarrow(const std::string& bytes) {
  std::u16string text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    text.push_back(
        static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                              static_cast<unsigned char>(bytes[i + 1]) << 8));
  return WideToNarrow(text);
}

// The text after the opening quote of a string value.
bool ParseStringData(std::string_view data, std::string* bytes) {
  std::u16string text;
  if (!ConsumeEscapedText(&data, '"', &text)) return false;
  *bytes = WideToNarrow(text);
  bytes->push_back('\0');  // the stored string includes its terminator
  return true;
}

bool ParseDwordData(std::string_view data, std::string* bytes) {
  uint32_t number;
  if (!ConsumeHexNumber(&data, 8, &number) || !SkipBlanks(data).empty())
    return false;
  for (int shift = 0; shift < 32; shift += 8)
    bytes->push_back(static_cast<char>((number >> shift) & 0xFF));
  return true;
}

// Reads "aa,bb,..." bytes. A line that ends in a backslash goes on in the
// next line of the text in rest (a copy: the caller's place is kept).
bool ParseHexData(std::string_view data, std::string_view rest,
                  std::string* bytes) {
  for (;;) {
    uint32_t byte;
    while (ConsumeHexNumber(&data, 2, &byte)) {
      bytes->push_back(static_cast<char>(byte));
      data = SkipBlanks(data);
      ConsumePrefix(&data, ",");
      data = SkipBlanks(data);
    }
    if (data.empty()) return true;
    if (data.front() != '\\' || !NextLine(&rest, &data)) return false;
    data = SkipBlanks(data);
  }
}

// The bytes a value delivers, from the text after its "=", added to bytes
// (which the one caller passes empty: the parsers above append). rest holds
// the text after the value's line.
bool ParseValueData(std::string_view data, std::string_view rest,
                    std::string* bytes) {
  // Expandable (2) and multi-strings (7) come back as stored, unexpanded.
  for (std::string_view tag : {"\"", "str:\"", "str(2):\"", "str(7):\""})
    if (ConsumePrefix(&data, tag)) return ParseStringData(data, bytes);
  if (ConsumePrefix(&data, "dword:")) return ParseDwordData(data, bytes);
  if (ConsumePrefix(&data, "hex:")) return ParseHexData(data, rest, bytes);
  uint32_t type;
  if (!ConsumePrefix(&data, "hex(") || !ConsumeHexNumber(&data, 8, &type) ||
      !ConsumePrefix(&data, "):") || !ParseHexData(data, rest, bytes))
    return false;
  const bool storedAsUtf16 = type == 1 || type == 2 || type == 7;
  if (storedAsUtf16) *bytes = Utf16LeBytesToNarrow(*bytes);
  return true;
}

// Splits a value line into its name ("" for the default value, "@") and
// the text after "=". False for any other line.
bool ParseValueLine(std::string_view line, std::u16string* name,
                    std::string_view* data) {
  if (ConsumePrefix(&line, "@")) {
    name->clear();
  } else if (!ConsumePrefix(&line, "\"") ||
             !ConsumeEscapedText(&line, '"', name)) {
    return false;
  }
  line = SkipBlanks(line);
  if (!ConsumePrefix(&line, "=")) return false;
  *data = SkipBlanks(line);
  return true;
}

// The path of the key that line opens, or false when it opens none.
bool KeyOfLine(std::string_view line, std::u16string* path) {
  line = SkipBlanks(line);
  // What follows "]" is the key's timestamp.
  return ConsumePrefix(&line, "[") && ConsumeEscapedText(&line, ']', path);
}

// Moves rest past the first line that opens keyPath. A key with subkeys but
// no values of its own has no line: it exists when a subkey's line does,
// and then rest is left empty, as it holds none of its values.
bool SeekKey(std::string_view* rest, const char* keyPath) {
  const std::u16string wanted = NarrowToWide(keyPath);
  const std::u16string parent = wanted + u'\\';
  bool hasSubkey = false;
  std::string_view line;
  std::u16string path;
  while (NextLine(rest, &line)) {
    if (!KeyOfLine(line, &path)) continue;
    if (SameWideNameIgnoringCase(path, wanted)) return true;
    hasSubkey = hasSubkey || (path.size() > parent.size() &&
                              SameWideNameIgnoringCase(
                                  path.substr(0, parent.size()), parent));
  }
  return hasSubkey;
}

}  // namespace

bool ReadWineRegistryFile(const std::string& path, std::string* text,
                          int* error) {
  // Wine's own registry files take a few MiB; anything past this is no
  // prefix's.
  const size_t kLargestRegistryFile = size_t(1) << 30;
  return ReadRegularFile(path, kLargestRegistryFile, text, error);
}

std::string KeyPathInView(const std::string& fileText, const char* keyPath,
                          bool thirtyTwoBit) {
  static const char kSoftware[] = "Software\\";
  const size_t length = sizeof kSoftware - 1;
  std::string path = keyPath;
  if (!thirtyTwoBit || !WineRegistryIsWin64(fileText) ||
      path.size() <= length ||
      !SameWideNameIgnoringCase(NarrowToWide(path.substr(0, length)),
                                NarrowToWide(kSoftware)))
    return path;
  return path.substr(0, length) + "Wow6432Node\\" + path.substr(length);
}

bool WineRegistryIsWin64(const std::string& fileText) {
  std::string_view rest = fileText;
  std::string_view line;
  while (NextLine(&rest, &line)) {
    line = SkipBlanks(line);
    if (ConsumePrefix(&line, "[")) return false;  // options precede the keys
    if (line == "#arch=win64") return true;
  }
  return false;
}

RegistryStatus FindWineRegistryValue(const std::string& fileText,
                                     const char* keyPath, const char* valueName,
                                     RegistryValue* value) {
  std::string_view rest = fileText;
  if (!SeekKey(&rest, keyPath)) return REGISTRY_KEY_MISSING;
  std::string_view line;
  while (NextLine(&rest, &line)) {
    line = SkipBlanks(line);
    if (ConsumePrefix(&line, "[")) break;  // the next key: ours has ended
    std::u16string name;
    std::string_view data;
    std::string bytes;
    // Options ("#time=...") and comments fail to parse as values. So does a
    // malformed value line, which then does not count as the value.
    if (!ParseValueLine(line, &name, &data) || !SameName(name, valueName) ||
        !ParseValueData(data, rest, &bytes))
      continue;
    if (bytes.size() > kRegistryReadSize) return REGISTRY_VALUE_TOO_LONG;
    std::memcpy(value->data, bytes.data(), bytes.size());
    value->size = bytes.size();
    return REGISTRY_VALUE_READ;
  }
  return REGISTRY_VALUE_MISSING;
}
