#include "platform/wine/wine_path.h"

#include <dirent.h>
#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "platform/code_page.h"

namespace {

// One name of a path: narrow text from the Windows path, in the case the
// caller gave, or a host name taken from the current folder as it is.
struct Component {
  std::string name;
  bool onHost;
};

// Where a mapped path starts (root, which ".." never climbs above), the
// names below it, and the drive it is on (0 for none: a current folder that
// no drive of the prefix holds).
struct StartingPoint {
  std::string root;
  std::vector<Component> components;
  char letter = 0;
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

// Appends the names in text, split at either separator, as Windows
// collapses a path: empty and "." names are dropped; ".." removes the last
// name, but stops at the root; a folder name loses one trailing dot, and
// the last name, unless a separator follows it, every trailing dot and
// blank ("GHR." is GHR, "Menu.cfg. " is Menu.cfg). False for a folder name
// that becomes "..", which Windows refuses as an invalid name.
bool AppendComponents(const char* text, std::vector<Component>* components) {
  while (*text != '\0') {
    while (IsSeparator(*text)) ++text;
    const char* end = text;
    while (*end != '\0' && !IsSeparator(*end)) ++end;
    std::string name(text, end);
    text = end;
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      if (!components->empty()) components->pop_back();
      continue;
    }
    if (*end != '\0') {
      if (name.back() == '.') name.pop_back();
      if (name == "..") return false;
    } else {
      name.erase(name.find_last_not_of(". ") + 1);
      if (name.empty()) continue;
    }
    components->push_back(Component{name, false});
  }
  return true;
}

// Appends the names in a host path from index from on. Only '/' separates
// them: a Linux folder name may hold a backslash.
void AppendHostComponents(const std::string& path, size_t from,
                          std::vector<Component>* components) {
  while (from < path.size()) {
    size_t end = path.find('/', from);
    if (end == std::string::npos) end = path.size();
    if (end > from)
      components->push_back(Component{path.substr(from, end - from), true});
    from = end + 1;
  }
}

// The path with every link resolved, or empty when it does not resolve.
std::string ResolvedPath(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return std::string();
  std::string result(resolved);
  free(resolved);
  return result;
}

// The current folder with its links resolved, or empty when unknown.
std::string CurrentFolder() {
  std::vector<char> buffer(256);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return std::string();
    buffer.resize(buffer.size() * 2);
  }
  return ResolvedPath(buffer.data());
}

// True when path is folder itself or lies somewhere below it.
bool FolderHolds(const std::string& folder, const std::string& path) {
  if (folder == "/") return !path.empty() && path[0] == '/';
  return path.compare(0, folder.size(), folder) == 0 &&
         (path.size() == folder.size() || path[folder.size()] == '/');
}

char LowerCase(char letter) {
  return letter >= 'A' && letter <= 'Z' ? static_cast<char>(letter - 'A' + 'a')
                                        : letter;
}

// The host folder drive letter stands for: its dosdevices link. A prefix
// copied without dosdevices (withDosdevices false) is repaired by Wine when
// it next starts, with c: as drive_c and z: as the host's root; until then
// those two stand for what Wine will link. (Wine repairs nothing while
// dosdevices is there.)
std::string DriveRoot(const std::string& prefix, char letter,
                      bool withDosdevices) {
  letter = LowerCase(letter);
  if (!withDosdevices && letter == 'c') return JoinPath(prefix, "drive_c");
  if (!withDosdevices && letter == 'z') return "/";
  return JoinPath(prefix, std::string("dosdevices/") + letter + ":");
}

// Whether prefix has its dosdevices folder (or it cannot tell).
bool HasDosdevices(const std::string& prefix) {
  struct stat info;
  return lstat(JoinPath(prefix, "dosdevices").c_str(), &info) == 0 ||
         errno != ENOENT;
}

// The root of the drive holding the current folder, with the current folder
// as names below that root. Several drives can hold it (z: is "/"); the one
// reaching deepest is taken as current. Without such a drive, the host's
// root and no letter.
StartingPoint CurrentDrive(const std::string& prefix,
                           const std::string& current) {
  StartingPoint drive{"/", {}, 0};
  std::string bestTarget = "/";
  const bool withDosdevices = prefix.empty() || HasDosdevices(prefix);
  for (char letter = 'a'; !prefix.empty() && letter <= 'z'; ++letter) {
    const std::string root = DriveRoot(prefix, letter, withDosdevices);
    // Most letters have no link: one lstat says so, where resolving the
    // path would read every folder above it first.
    struct stat info;
    if (lstat(root.c_str(), &info) != 0) continue;
    const std::string target = ResolvedPath(root);
    if (target.empty() || !FolderHolds(target, current)) continue;
    if (drive.letter != 0 && target.size() <= bestTarget.size()) continue;
    drive.root = root;
    drive.letter = letter;
    bestTarget = target;
  }
  const size_t below = bestTarget == "/" ? 0 : bestTarget.size();
  AppendHostComponents(current, below, &drive.components);
  return drive;
}

// Where a path with no drive letter starts: the current drive's root for
// "\name"; for a relative name, the current folder under its drive, so that
// ".." stops at that drive's root as it would on Windows. A current folder
// that no drive holds (or that is gone) has no drive root: a relative name
// starts at the folder itself, off every drive.
StartingPoint StartWithoutDrive(bool fromRoot, const std::string& prefix) {
  const std::string current = CurrentFolder();
  if (current.empty()) return StartingPoint{"", {}, 0};
  StartingPoint start = CurrentDrive(prefix, current);
  if (fromRoot) start.components.clear();
  return start;
}

// Where "X:name" starts: the current folder when the current drive is X,
// as Windows keeps a current folder per drive; otherwise X's root.
StartingPoint StartOnDrive(char letter, bool fromRoot,
                           const std::string& prefix) {
  letter = LowerCase(letter);
  if (!fromRoot) {
    const std::string current = CurrentFolder();
    if (!current.empty()) {
      StartingPoint start = CurrentDrive(prefix, current);
      if (start.letter == letter) return start;
    }
  }
  return StartingPoint{
      DriveRoot(prefix, letter, HasDosdevices(prefix)), {}, letter};
}

// The entry of folder that the narrow name stands for: the name in host
// text when that exists, else the first entry (in name order) equal to it
// but for letter case, as Windows compares names. Empty when there is none.
std::string MatchEntry(const std::string& folder, const std::string& name) {
  std::string hostName = NarrowToHost(name);
  struct stat info;
  if (lstat(JoinPath(folder, hostName).c_str(), &info) == 0) return hostName;
  DIR* directory = opendir(folder.empty() ? "." : folder.c_str());
  if (directory == nullptr) return std::string();
  const std::u16string wanted = NarrowToWide(name);
  std::vector<std::string> candidates;
  while (const dirent* entry = readdir(directory)) {
    if (SameWideNameIgnoringCase(HostToWide(entry->d_name), wanted))
      candidates.push_back(entry->d_name);
  }
  closedir(directory);
  if (candidates.empty()) return std::string();
  return *std::min_element(candidates.begin(), candidates.end());
}

// Joins the names to the root, each in the case found on disk. Past the
// first name that matches nothing, the rest cannot exist either, so they
// are kept as given (a file being written is created under that name).
std::string MatchCase(const StartingPoint& start) {
  std::string path = start.root;
  bool matching = true;
  for (const Component& component : start.components) {
    std::string entry = component.onHost ? component.name
                        : matching       ? MatchEntry(path, component.name)
                                         : std::string();
    if (entry.empty()) {
      matching = false;
      entry = NarrowToHost(component.name);
    }
    path = JoinPath(path, entry);
  }
  return path;
}

}  // namespace

bool MapWindowsPath(const char* windowsPath, const std::string& prefix,
                    std::string* hostPath, bool* onDrive) {
  if (windowsPath == nullptr || *windowsPath == '\0' || hostPath == nullptr)
    return false;
  // "\\server\share", "\\?\..." and "\\.\...": never a file of the
  // prefix's drives, and never one of the host's.
  if (IsSeparator(windowsPath[0]) && IsSeparator(windowsPath[1])) return false;
  StartingPoint start;
  const char* rest = windowsPath;
  if (IsAsciiLetter(windowsPath[0]) && windowsPath[1] == ':') {
    if (prefix.empty()) return false;
    rest = windowsPath + 2;
    start = StartOnDrive(windowsPath[0], IsSeparator(*rest), prefix);
  } else {
    const bool fromRoot = IsSeparator(windowsPath[0]);
    start = StartWithoutDrive(fromRoot, prefix);
    // Wine would take "\name" from such a folder as a name below the first
    // folder of its host path: refused, as it lies on no drive.
    if (fromRoot && start.letter == 0) return false;
  }
  if (!AppendComponents(rest, &start.components)) return false;
  *hostPath = MatchCase(start);
  if (onDrive != nullptr) *onDrive = start.letter != 0;
  return true;
}

std::string WhyUnmapped(const char* windowsPath, const std::string& prefix) {
  if (windowsPath == nullptr || *windowsPath == '\0') return "no file name";
  if (IsSeparator(windowsPath[0]) && IsSeparator(windowsPath[1]))
    return "a network path, never a file of this computer";
  if (prefix.empty()) return "there is no Wine prefix";
  if (IsSeparator(windowsPath[0]))
    return "the current folder lies on no drive of the prefix";
  return "a name that Windows refuses";
}
