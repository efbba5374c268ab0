#include "programs/linux/library_folders.h"

#include "platform/wine/regular_file.h"

namespace {

// The quoted texts of one line, at most three (a line of two is a key and
// its value).
std::vector<std::string_view> QuotedTexts(std::string_view line) {
  std::vector<std::string_view> quoted;
  for (size_t at = line.find('"');
       at != std::string_view::npos && quoted.size() < 3;) {
    const size_t end = line.find('"', at + 1);
    if (end == std::string_view::npos) break;
    quoted.push_back(line.substr(at + 1, end - at - 1));
    at = line.find('"', end + 1);
  }
  return quoted;
}

bool IsLibraryKey(std::string_view key) {
  return key == "path" ||
         (!key.empty() &&
          key.find_first_not_of("0123456789") == std::string_view::npos);
}

}  // namespace

std::vector<std::string> LibraryFoldersIn(std::string_view text) {
  std::vector<std::string> libraries;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const std::vector<std::string_view> quoted = QuotedTexts(line);
    if (quoted.size() == 2 && IsLibraryKey(quoted[0]) && !quoted[1].empty() &&
        quoted[1][0] == '/' && quoted[1].find('\0') == std::string_view::npos)
      libraries.emplace_back(quoted[1]);
  }
  return libraries;
}

namespace {

// Steam's own files take a few KiB.
const size_t kLargestSteamFile = size_t(1) << 20;

}  // namespace

std::vector<std::string> ReadLibraryFolders(const std::string& steam) {
  std::string text;
  int error = 0;
  if (!ReadRegularFile(steam + "/steamapps/libraryfolders.vdf",
                       kLargestSteamFile, &text, &error))
    return {};
  return LibraryFoldersIn(text);
}

std::string ReadAppManifestName(const std::string& path) {
  std::string text;
  int error = 0;
  if (!ReadRegularFile(path, kLargestSteamFile, &text, &error)) return "";
  for (std::string_view rest = text; !rest.empty();) {
    const size_t end = rest.find('\n');
    const std::vector<std::string_view> quoted =
        QuotedTexts(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (quoted.size() == 2 && quoted[0] == "name")
      return std::string(quoted[1]);
  }
  return "";
}
