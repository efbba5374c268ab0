#include "tests/wine/message_box_trace.h"

#include <sstream>
#include <stdexcept>

#include "platform/code_page.h"

namespace {

const char kMarker[] = ":MSGBOX_OnInit L\"";

[[noreturn]] void Undecodable(const std::string& line, const char* why) {
  throw std::runtime_error(std::string("cannot decode the box trace (") + why + "): " + line);
}

// Decodes the quoted text that starts at line[at], up to its closing quote.
std::string DecodeQuoted(const std::string& line, size_t at) {
  std::u16string text;
  while (at < line.size()) {
    const char c = line[at++];
    if (c == '"') {
      if (line.compare(at, 3, "...") == 0) Undecodable(line, "text cut short");
      return WideToNarrow(text);
    }
    if (c != '\\' || at >= line.size()) {
      text += char16_t(static_cast<unsigned char>(c));
      continue;
    }
    const size_t escape = std::string("nrt\"\\").find(line[at]);
    if (escape != std::string::npos) {
      text += u"\n\r\t\"\\"[escape];
      ++at;
      continue;
    }
    size_t digits = 0;
    const unsigned long unit = std::stoul(line.substr(at, 4), &digits, 16);
    if (digits != 4) Undecodable(line, "bad escape");
    text += char16_t(unit);
    at += 4;
  }
  Undecodable(line, "no closing quote");
}

}  // namespace

std::vector<std::string> MessageBoxTextsFromTrace(const std::string& trace) {
  std::vector<std::string> texts;
  std::istringstream lines(trace);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t marker = line.find(kMarker);
    if (marker != std::string::npos)
      texts.push_back(DecodeQuoted(line, marker + sizeof kMarker - 1));
  }
  return texts;
}
