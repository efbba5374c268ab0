#include "programs/fff/member_name.h"

#include <cstdint>
#include <unordered_map>

#include "filesystem/ascii_case.h"
#include "filesystem/fff_format.h"
#include "platform/code_page.h"
#include "platform/shown_text.h"

namespace {

// The longest name of one file or folder that Linux file systems allow.
const size_t kLinuxNameBytes = 255;

// The parts between the slashes, after the one leading '/' that is allowed.
template <typename Text>
std::vector<Text> PathParts(Text name) {
  if (!name.empty() && name[0] == '/') name.remove_prefix(1);
  std::vector<Text> parts;
  for (size_t slash; (slash = name.find('/')) != Text::npos;
       name.remove_prefix(slash + 1))
    parts.push_back(name.substr(0, slash));
  parts.push_back(name);
  return parts;
}

// Wide text in UTF-8, the way the host's conversion writes it: half of a
// surrogate pair alone becomes U+FFFD.
std::string Utf8(std::u16string_view wide) {
  std::string bytes;
  for (size_t i = 0; i < wide.size(); ++i) {
    uint32_t c = wide[i];
    const bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size() &&
                      wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000;
    if (pair)
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
    else if (c >= 0xD800 && c < 0xE000)
      c = 0xFFFD;
    const int trailing = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    static const unsigned char kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
    bytes += static_cast<char>(kLead[trailing] | (c >> (6 * trailing)));
    for (int shift = 6 * (trailing - 1); shift >= 0; shift -= 6)
      bytes += static_cast<char>(0x80 | ((c >> shift) & 0x3F));
  }
  return bytes;
}

// Whether text is word (upper-case ASCII) in any letter case.
bool SameAsciiWord(std::u16string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if ((text[i] >= u'a' && text[i] <= u'z' ? text[i] - 32 : text[i]) !=
        char16_t(word[i]))
      return false;
  return true;
}

// The device names Windows keeps in every folder, in any letter case.
bool IsWindowsDeviceName(std::u16string_view base) {
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (SameAsciiWord(base, device)) return true;
  if (base.size() != 4 || !(SameAsciiWord(base.substr(0, 3), "COM") ||
                            SameAsciiWord(base.substr(0, 3), "LPT")))
    return false;
  const char16_t digit = base[3];
  return (digit >= u'0' && digit <= u'9') || digit == u'\u00B9' ||
         digit == u'\u00B2' || digit == u'\u00B3';
}

}  // namespace

std::string MemberNameProblem(std::string_view name) {
  if (name.empty()) return "the name is empty";
  if (name.size() >= kDirectoryNameSize)
    return "the name is " + std::to_string(name.size()) +
           " bytes long; it must be shorter than 128";
  if (name.find('\\') != std::string_view::npos)
    return "it holds a '\\', a name the installer never looks up (it turns "
           "every '\\' into '/')";
  if (name.find(':') != std::string_view::npos)
    return "it holds a ':' (a drive such as 'C:', or a Windows stream)";
  for (std::string_view part : PathParts(name)) {
    if (part.empty())
      return "it has an empty part (a '//', or a '/' at its end)";
    if (part == "." || part == "..")
      return "it has a '" + std::string(part) + "' part";
    if (part.back() == '.' || part.back() == ' ')
      return "a part ends in '" + std::string(1, part.back()) +
             "', which Windows drops";
  }
  return std::string();
}

std::string WindowsFileNameProblem(std::string_view name) {
  // Looked at as Windows sees it: a byte of a double-byte character may be
  // a '|' or a control byte that is no such character.
  const std::u16string wide = NarrowToWide(name);
  for (char16_t c : wide) {
    if (c < 0x20)
      return "it holds a control character, which Windows does not allow "
             "in file names";
    if (c < 0x80 &&
        std::string_view("<>\"|?*").find(char(c)) != std::string_view::npos)
      return "it holds a '" + std::string(1, char(c)) +
             "', which Windows does not allow in file names";
  }
  const std::vector<std::string_view> narrowParts = PathParts(name);
  const std::vector<std::u16string_view> parts =
      PathParts(std::u16string_view(wide));
  for (size_t i = 0; i < parts.size() && i < narrowParts.size(); ++i) {
    // "nul.txt" and "NUL .txt" are the device too.
    std::u16string_view base = parts[i].substr(0, parts[i].find(u'.'));
    while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
    if (IsWindowsDeviceName(base))
      return "'" + ShownEscaped(NarrowToHost(narrowParts[i])) +
             "' is a device on Windows (CON, PRN, AUX, NUL, CONIN$, CONOUT$, "
             "COM0 to COM9 and LPT0 to LPT9, also with a superscript 1, 2 or "
             "3), not a file";
  }
  return std::string();
}

std::string LinuxFileNameProblem(std::string_view name) {
  for (std::string_view part : PathParts(name)) {
    const size_t bytes = Utf8(NarrowToWide(part)).size();
    if (bytes > kLinuxNameBytes)
      return "a part is " + std::to_string(bytes) +
             " bytes long in UTF-8, longer than the " +
             std::to_string(kLinuxNameBytes) +
             " bytes Linux allows for one name";
  }
  return std::string();
}

std::string WindowsNameKey(std::string_view name) {
  if (!name.empty() && name[0] == '/') name.remove_prefix(1);
  return Utf8(UpperCaseWideName(NarrowToWide(name)));
}

std::vector<NameClash> FindNameClashes(const std::vector<std::string>& keys) {
  std::vector<NameClash> clashes;
  std::unordered_map<std::string, size_t> fileWithKey;
  std::vector<bool> landsOnAnother(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    auto added = fileWithKey.emplace(keys[i], i);
    landsOnAnother[i] = !added.second;
    if (landsOnAnother[i]) clashes.push_back({i, added.first->second, 0});
  }
  // A path that one member needs as a folder cannot be another's file.
  for (size_t i = 0; i < keys.size(); ++i) {
    size_t parts = 0;
    for (size_t slash = keys[i].find('/');
         !landsOnAnother[i] && slash != std::string::npos;
         slash = keys[i].find('/', slash + 1)) {
      ++parts;
      auto file = fileWithKey.find(keys[i].substr(0, slash));
      if (file != fileWithKey.end())
        clashes.push_back({i, file->second, parts});
    }
  }
  return clashes;
}

std::string LeadingParts(const std::string& path, size_t parts) {
  size_t end = 0;
  for (size_t i = 0; i < parts; ++i) end = path.find('/', end + (i > 0));
  return path.substr(0, end);
}
