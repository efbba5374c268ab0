#include "programs/linux/game_search.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "config/config_reader.h"
#include "filesystem/archive_directory.h"
#include "installer/settings.h"
#include "installer/startup.h"
#include "installer/version_detection.h"
#include "platform/code_page.h"
#include "platform/registry.h"
#include "platform/wine/wine_path.h"
#include "platform/wine/wine_registry.h"

namespace {

const char kMenuMember[] = "Cfg/Menu.cfg";
// A menu larger than this is no game's: it is not read.
const uint32_t kLargestMenu = 1 << 20;

GameKey ReadGameKey(const std::string& fileText, bool thirtyTwoBit) {
  GameKey key;
  const std::string path =
      KeyPathInView(fileText, kGameRegistryKey, thirtyTwoBit);
  const struct {
    const char* name;
    GameValue* value;
    size_t longest;
  } values[] = {{"Installpath", &key.installPath, kRegistryReadSize - 1},
                {"Language", &key.language, size_t(kLanguageValueSize - 1)}};
  for (const auto& wanted : values) {
    RegistryValue value;
    const RegistryStatus status =
        FindWineRegistryValue(fileText, path.c_str(), wanted.name, &value);
    if (status == REGISTRY_KEY_MISSING) return key;
    key.found = true;
    wanted.value->present = status != REGISTRY_VALUE_MISSING;
    if (status != REGISTRY_VALUE_READ) {
      wanted.value->tooLong = status == REGISTRY_VALUE_TOO_LONG;
      continue;
    }
    const char* data = reinterpret_cast<const char*>(value.data);
    wanted.value->text = std::string(data, strnlen(data, value.size));
    wanted.value->tooLong = wanted.value->text.size() > wanted.longest;
  }
  return key;
}

// The bytes of Cfg/Menu.cfg in the archive at hostPath, read with the
// installer's own directory reader and lookup. False when the archive
// cannot be read or holds no such member.
bool ReadMenu(const std::string& hostPath, std::string* menu) {
  FILE* stream = fopen(hostPath.c_str(), "rb");
  if (stream == nullptr) return false;
  struct stat info;
  ArchiveDirectory directory;
  bool found = false;
  if (fstat(fileno(stream), &info) == 0 && S_ISREG(info.st_mode) &&
      ReadArchiveDirectory(stream, info.st_size, &directory) ==
          DirectoryError::kNone) {
    const int32_t index =
        FindDirectoryEntry(directory, kMenuMember, NameHash(kMenuMember));
    if (index >= 0) {
      const uint32_t offset = EntryOffset(directory.entries[index]);
      const uint32_t size = EntrySize(directory.entries[index]);
      menu->assign(std::min(size, kLargestMenu), '\0');
      found = uint64_t(offset) + size <= uint64_t(info.st_size) &&
              fseeko(stream, offset, SEEK_SET) == 0 &&
              fread(&(*menu)[0], 1, menu->size(), stream) == menu->size();
    }
  }
  (void)fclose(stream);
  return found;
}

// The version as version detection reads it: "version", else "Version",
// in the section [Version], cut to the 255 bytes the installer keeps.
std::string VersionInMenu(const std::string& menu) {
  ConfigReader reader;
  reader.textSize = uint32_t(menu.size());
  reader.text = static_cast<char*>(calloc(menu.size() + 1, 1));
  if (reader.text == nullptr) return "";
  memcpy(reader.text, menu.data(), menu.size());
  for (const char* key : {"version=", "Version="}) {
    reader.sectionPattern = strdup("[Version]");
    reader.keyPattern = strdup(key);
    const bool found = reader.sectionPattern != nullptr &&
                       reader.keyPattern != nullptr &&
                       reader.FindValue(reader.textSize);
    free(reader.sectionPattern);
    free(reader.keyPattern);
    reader.sectionPattern = reader.keyPattern = nullptr;
    if (found && reader.value[0] != '\0')
      return std::string(reader.value, strnlen(reader.value, 255));
  }
  return "";
}

bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

// Each folder in folder (hidden ones too, but for "." and ".."), with
// suffix appended.
void AddSubfolders(const std::string& folder, const char* suffix,
                   std::vector<std::string>* paths) {
  DIR* directory = opendir(folder.c_str());
  if (directory == nullptr) return;
  while (const dirent* entry = readdir(directory)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..")
      paths->push_back(folder + "/" + name + suffix);
  }
  closedir(directory);
}

// Steam's folder and the further libraries its libraryfolders.vdf names:
// lines such as   "path"    "/mnt/games/SteamLibrary"   (older files
// number them: "1" "/mnt/...").
std::vector<std::string> SteamLibraries(const std::string& steam) {
  std::vector<std::string> libraries = {steam};
  FILE* file = fopen((steam + "/steamapps/libraryfolders.vdf").c_str(), "rb");
  if (file == nullptr) return libraries;
  char line[4096];
  while (fgets(line, sizeof line, file) != nullptr) {
    std::vector<std::string> quoted;
    for (const char* at = strchr(line, '"');
         at != nullptr && quoted.size() < 3;) {
      const char* end = strchr(at + 1, '"');
      if (end == nullptr) break;
      quoted.emplace_back(at + 1, end);
      at = strchr(end + 1, '"');
    }
    if (quoted.size() == 2 && !quoted[1].empty() && quoted[1][0] == '/' &&
        (quoted[0] == "path" ||
         quoted[0].find_first_not_of("0123456789") == std::string::npos))
      libraries.push_back(quoted[1]);
  }
  (void)fclose(file);
  return libraries;
}

std::string Shown(const std::string& narrow) { return NarrowToHost(narrow); }

}  // namespace

GameInPrefix ReadGameInPrefix(const std::string& prefix) {
  GameInPrefix game;
  game.prefix = prefix;
  std::string text;
  if (!ReadWineRegistryFile(prefix + "/system.reg", &text, &game.readError))
    return game;
  game.win64 = WineRegistryIsWin64(text);
  game.key = ReadGameKey(text, true);
  if (game.win64) game.otherView = ReadGameKey(text, false);
  return game;
}

std::string InstalledVersion(const GameInPrefix& game) {
  if (!game.key.found) return "";
  for (const char* name : GameArchiveNames) {
    // A doubled backslash, where the folder ends in one, reads as one.
    const std::string path = game.key.installPath.text + "\\" + name;
    std::string host, menu;
    if (MapWindowsPath(path.c_str(), game.prefix, &host) &&
        ReadMenu(host, &menu))
      return VersionInMenu(menu);
  }
  return "";
}

std::vector<std::string> LauncherPrefixes() {
  const char* homeVariable = getenv("HOME");
  if (homeVariable == nullptr || *homeVariable == '\0') return {};
  const std::string home = homeVariable;
  const char* dataVariable = getenv("XDG_DATA_HOME");
  const std::string data = dataVariable != nullptr && *dataVariable == '/'
                               ? dataVariable
                               : home + "/.local/share";
  const std::string flatpak = home + "/.var/app/";
  std::vector<std::string> candidates = {home + "/.wine"};
  for (const std::string& steam :
       {data + "/Steam", home + "/.steam/steam", home + "/.steam/root",
        flatpak + "com.valvesoftware.Steam/.local/share/Steam",
        flatpak + "com.valvesoftware.Steam/data/Steam"})
    for (const std::string& library : SteamLibraries(steam))
      AddSubfolders(library + "/steamapps/compatdata", "/pfx", &candidates);
  for (const std::string& folder :
       {home + "/Games", home + "/Games/Heroic/Prefixes",
        home + "/Games/Heroic/Prefixes/default", data + "/bottles/bottles",
        flatpak + "com.usebottles.bottles/data/bottles/bottles",
        home + "/.PlayOnLinux/wineprefix"})
    AddSubfolders(folder, "", &candidates);

  // Each prefix once, however many links lead to it (~/.steam/steam is
  // Steam's folder).
  std::vector<std::string> prefixes;
  std::set<std::string> seen;
  for (const std::string& candidate : candidates) {
    char* resolved = realpath(candidate.c_str(), nullptr);
    if (resolved == nullptr) continue;
    const bool fresh = seen.insert(resolved).second;
    free(resolved);
    if (fresh && Exists(candidate + "/system.reg"))
      prefixes.push_back(candidate);
  }
  std::sort(prefixes.begin(), prefixes.end());
  return prefixes;
}

std::vector<GameInPrefix> PrefixesWithTheGame() {
  std::vector<GameInPrefix> games;
  for (const std::string& prefix : LauncherPrefixes()) {
    GameInPrefix game = ReadGameInPrefix(prefix);
    if (game.key.found) games.push_back(game);
  }
  return games;
}

int ListGamePrefixes(FILE* out) {
  const std::vector<GameInPrefix> games = PrefixesWithTheGame();
  for (const GameInPrefix& game : games) {
    const std::string version = InstalledVersion(game);
    bool applies = false;
    for (const char* label : AcceptedBaseVersions)
      applies = applies || version.find(label) != std::string::npos;
    (void)fprintf(
        out,
        "%s\n  folder:   %s\n  language: %s\n  version:  %s\n  patch it: "
        "patch_installer --prefix %s\n\n",
        game.prefix.c_str(),
        game.key.installPath.present
            ? Shown(game.key.installPath.text).c_str()
            : "none (the key has no Installpath value)",
        game.key.language.present ? Shown(game.key.language.text).c_str()
                                  : "none (the key has no Language value)",
        version.empty()
            ? "unknown (Cfg\\Menu.cfg is in none of the game's archives)"
            : (Shown(version) + (applies ? " (the patch applies)"
                                         : " (not one this patch upgrades)"))
                  .c_str(),
        ShellQuoted(game.prefix).c_str());
  }
  if (games.empty()) {
    (void)fprintf(
        out,
        "No Wine prefix in the places where Wine and the launchers keep "
        "them holds the "
        "game's registry key (HKEY_LOCAL_MACHINE\\%s).\n",
        kGameRegistryKey);
    return 1;
  }
  (void)fprintf(out, "Run the command in the folder that holds Patch.dat.\n");
  return 0;
}

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}
