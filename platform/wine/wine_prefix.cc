#include "platform/wine/wine_prefix.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "platform/wine/regular_file.h"

namespace {

std::unique_ptr<WinePrefixChoice> chosen;

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string Environment(const char* name) {
  const char* value = getenv(name);
  return value != nullptr ? value : "";
}

// path made absolute against the current folder, without "." and empty
// names, and with ".." taking back the name before it, as the shell's cd
// takes it.
std::string Absolute(const std::string& path) {
  std::string joined = path;
  if (path.empty() || path[0] != '/') {
    char current[PATH_MAX];
    if (getcwd(current, sizeof current) == nullptr) return path;
    joined = std::string(current) + "/" + path;
  }
  std::string absolute;
  for (size_t start = 0; start < joined.size();) {
    size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    const std::string name = joined.substr(start, end - start);
    if (name == "..")
      absolute.erase(absolute.empty() ? 0 : absolute.rfind('/'));
    else if (!name.empty() && name != ".")
      absolute += "/" + name;
    start = end + 1;
  }
  return absolute.empty() ? "/" : absolute;
}

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Steam keeps a Proton game's prefix in steamapps/compatdata/<appid>/pfx;
// the folder <appid> itself holds Proton's own files, not a registry.
bool IsProtonFolder(const std::string& folder) {
  const size_t slash = folder.rfind('/');
  const size_t parentSlash = slash == std::string::npos || slash == 0
                                 ? std::string::npos
                                 : folder.rfind('/', slash - 1);
  if (parentSlash == std::string::npos ||
      folder.compare(parentSlash + 1, slash - parentSlash - 1, "compatdata") !=
          0)
    return false;
  struct stat info;
  return IsFolder(folder + "/pfx") &&
         stat((folder + "/system.reg").c_str(), &info) != 0;
}

// Whether folder can be a Wine server's: a folder (not a link) of this
// user's that no one else may write to, which the Wine server requires of
// its folders. Anything else in the shared temporary folder is another
// user's, and nothing in it counts.
bool OwnFolder(const std::string& folder) {
  struct stat info;
  return lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
         info.st_uid == getuid() && (info.st_mode & 022) == 0;
}

// Whether the lock in a Wine server's folder is held: the server holds it
// as long as it runs.
bool LockHeld(const std::string& serverFolder) {
  size_t size = 0;
  int error = 0;
  const int fd = OpenRegularFile(serverFolder + "/lock", &size, &error);
  if (fd < 0) return false;
  struct flock lock = {};  // the whole file, from its start (SEEK_SET)
  lock.l_type = F_WRLCK;
  const bool held = fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
  close(fd);
  return held;
}

}  // namespace

WinePrefixChoice ChooseWinePrefix(const char* fromCommandLine) {
  WinePrefixChoice choice;
  if (fromCommandLine != nullptr) {
    choice.source = PrefixSource::kCommandLine;
    choice.given = fromCommandLine;
    choice.path = Absolute(choice.given);
  } else if (!Environment("WINEPREFIX").empty()) {
    choice.source = PrefixSource::kEnvironment;
    choice.given = Environment("WINEPREFIX");
    if (choice.given[0] == '/') choice.path = choice.given;
  } else if (!Environment("HOME").empty()) {
    choice.given = Environment("HOME") + "/.wine";
    choice.path = choice.given;
  }
  choice.path = WithoutTrailingSlashes(choice.path);
  if (!choice.path.empty() && IsProtonFolder(choice.path)) {
    choice.path += "/pfx";
    choice.protonFolder = true;
  }
  return choice;
}

void UseWinePrefix(const WinePrefixChoice& choice) {
  chosen.reset(new WinePrefixChoice(choice));
}

WinePrefixChoice CurrentWinePrefix() {
  return chosen != nullptr ? *chosen : ChooseWinePrefix(nullptr);
}

std::string WinePrefixDirectory() { return CurrentWinePrefix().path; }

bool WineServerRunning(const std::string& prefix) {
  struct stat info;
  if (prefix.empty() || stat(prefix.c_str(), &info) != 0) return false;
  // The server's folder is named after the prefix's device and inode, in
  // /tmp/.wine-<uid>; Debian's Wine puts it in a folder of its own under
  // the temporary folder instead, and names that folder in the prefix's
  // file "wineserver".
  char serverName[64];
  (void)snprintf(serverName, sizeof serverName, "/server-%llx-%llx",
                 static_cast<unsigned long long>(info.st_dev),
                 static_cast<unsigned long long>(info.st_ino));
  std::string folders[3] = {"/tmp/.wine-" + std::to_string(getuid())};
  std::string own;
  int error = 0;
  // The file holds a folder's name, a few bytes long.
  if (ReadRegularFile(prefix + "/wineserver", 63, &own, &error) &&
      !own.empty() && own.find('/') == std::string::npos &&
      own.find('\0') == std::string::npos && own != "." && own != "..") {
    const std::string temporary = Environment("TMPDIR");
    folders[1] = "/tmp/" + own;
    if (!temporary.empty())
      folders[2] = WithoutTrailingSlashes(temporary) + "/" + own;
  }
  for (const std::string& folder : folders)
    if (!folder.empty() && OwnFolder(folder) &&
        OwnFolder(folder + serverName) && LockHeld(folder + serverName))
      return true;
  return false;
}
