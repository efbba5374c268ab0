#include "tools/member_name.h"

#include <cstring>
#include <vector>

#include "filesystem/ascii_case.h"
#include "filesystem/fff_format.h"

namespace {

// The parts between the slashes, after the one leading '/' that is allowed.
std::vector<std::string_view> PathParts(std::string_view name) {
  if (!name.empty() && name[0] == '/') name.remove_prefix(1);
  std::vector<std::string_view> parts;
  for (size_t slash; (slash = name.find('/')) != std::string_view::npos;
       name.remove_prefix(slash + 1))
    parts.push_back(name.substr(0, slash));
  parts.push_back(name);
  return parts;
}

// CON, PRN, AUX, NUL, COM0 to COM9 and LPT0 to LPT9, in any letter case.
bool IsWindowsDeviceName(std::string_view base) {
  for (const char* device : {"CON", "PRN", "AUX", "NUL"})
    if (EqualIgnoringAsciiCase(base, device)) return true;
  return base.size() == 4 && base[3] >= '0' && base[3] <= '9' &&
         (EqualIgnoringAsciiCase(base.substr(0, 3), "COM") ||
          EqualIgnoringAsciiCase(base.substr(0, 3), "LPT"));
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
  for (unsigned char c : name) {
    if (c < 0x20)
      return "it holds a control character, which Windows does not allow "
             "in file names";
    if (c != '\0' && std::strchr("<>\"|?*", c) != nullptr)
      return "it holds a '" + std::string(1, char(c)) +
             "', which Windows does not allow in file names";
  }
  for (std::string_view part : PathParts(name)) {
    // "nul.txt" and "NUL .txt" are the device too.
    std::string_view base = part.substr(0, part.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    if (IsWindowsDeviceName(base))
      return "'" + std::string(part) +
             "' is a device on Windows (CON, PRN, AUX, NUL, COM0 to COM9, "
             "LPT0 to LPT9), not a file";
  }
  return std::string();
}
