#include "tests/wine/message_box_trace.h"

#include <sstream>
#include <stdexcept>

namespace {

const char kMarker[] = ":MSGBOX_OnInit L\"";

// A character of the Basic Multilingual Plane, the only ones a box built
// from 8-bit code-page text can hold.
void AppendUtf8(std::string& out, unsigned codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | codePoint >> 6);
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | codePoint >> 12);
    out += static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

[[noreturn]] void Undecodable(const std::string& line, const char* why) {
  throw std::runtime_error(std::string("cannot decode the box trace (") + why +
                           "): " + line);
}

// Decodes the quoted text that starts at line[at], up to its closing quote.
std::string DecodeQuoted(const std::string& line, size_t at) {
  std::string text;
  while (at < line.size()) {
    char c = line[at++];
    if (c == '"') {
      if (line.compare(at, 3, "...") == 0) Undecodable(line, "text cut short");
      return text;
    }
    if (c != '\\') {
      text += c;
      continue;
    }
    if (at >= line.size()) break;
    char escaped = line[at++];
    switch (escaped) {
      case 'n': text += '\n'; continue;
      case 'r': text += '\r'; continue;
      case 't': text += '\t'; continue;
      case '"': text += '"'; continue;
      case '\\': text += '\\'; continue;
      default: break;
    }
    --at;
    unsigned unit = 0;
    for (int i = 0; i < 4; ++i, ++at) {
      int digit = at < line.size() ? HexDigit(line[at]) : -1;
      if (digit < 0) Undecodable(line, "bad escape");
      unit = unit << 4 | static_cast<unsigned>(digit);
    }
    if (unit >= 0xD800 && unit < 0xE000) Undecodable(line, "surrogate");
    AppendUtf8(text, unit);
  }
  Undecodable(line, "no closing quote");
}

}  // namespace

std::vector<std::string> MessageBoxTextsFromTrace(const std::string& trace) {
  std::vector<std::string> texts;
  std::istringstream lines(trace);
  std::string line;
  while (std::getline(lines, line)) {
    size_t marker = line.find(kMarker);
    if (marker == std::string::npos) continue;
    texts.push_back(DecodeQuoted(line, marker + sizeof kMarker - 1));
  }
  return texts;
}
