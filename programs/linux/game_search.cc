#include "programs/linux/game_search.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "filesystem/archive_table.h"
#include "installer/patch_check.h"
#include "installer/settings.h"
#include "installer/startup.h"
#include "installer/version_detection.h"
#include "platform/code_page.h"
#include "platform/registry.h"
#include "platform/shown_text.h"
#include "platform/wine/wine_path.h"
#include "platform/wine/wine_prefix.h"
#include "platform/wine/wine_registry.h"
#include "programs/linux/library_folders.h"
#include "programs/linux/program_command.h"

namespace {

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

// Steam's folder and the further libraries its libraryfolders.vdf names.
std::vector<std::string> SteamLibraries(const std::string& steam) {
  std::vector<std::string> libraries = ReadLibraryFolders(steam);
  libraries.insert(libraries.begin(), steam);
  return libraries;
}

// Narrow text from the registry or the game's files, as the terminal may
// show it.
std::string Shown(const std::string& narrow) {
  return ShownEscaped(NarrowToHost(narrow));
}

// Why a run for language from the current folder would end at its check
// before it replaces anything: Patch.dat here lacks a file it copies or
// holds one cut short, or a game file cannot be replaced. "" when it would
// get past it.
std::string WhyARunFromHereFails(const char* installPath,
                                 const std::string& language) {
  char failure[kFileNameSize + 64];
  switch (TryMountArchive("Patch.dat", failure, sizeof failure)) {
    case MountResult::kNotOpened:
      return "this folder holds no Patch.dat that can be read";
    case MountResult::kFailed:
      return "Patch.dat: " + Shown(failure);
    case MountResult::kMounted:
      break;
  }
  PatchFile files[kPatchFileCount];
  ListPatchFiles(language.c_str(), files);
  PatchCheck check;
  const bool passes = CheckPatchFiles(installPath, files, &check);
  ResetArchives();
  if (passes) return "";
  std::string member = files[check.file].source;
  std::replace(member.begin(), member.end(), '\\', '/');
  if (check.destinationFailed) return "\"" + Shown(check.boxText) + "\"";
  switch (check.member.state) {
    case MemberState::kMissing:
      return "Patch.dat has no " + Shown(member);
    case MemberState::kCutShort:
      return "Patch.dat is cut short: " + Shown(member) + " ends at byte " +
             std::to_string(check.member.end) + ", the file holds " +
             std::to_string(check.member.archiveLength) + " bytes";
    default:
      return "Patch.dat holds " + Shown(member) + " of 2 GiB or more";
  }
}

// Steam's name for the game whose Proton prefix is prefix
// (LIBRARY/steamapps/compatdata/APPID/pfx), from the library's
// appmanifest_APPID.acf, as "NAME (Steam app APPID)"; "" for another prefix
// or where Steam keeps no name.
std::string SteamGameName(const std::string& prefix) {
  const std::string tail = "/pfx";
  if (prefix.size() <= tail.size() ||
      prefix.compare(prefix.size() - tail.size(), tail.size(), tail) != 0)
    return "";
  const std::string app = prefix.substr(0, prefix.size() - tail.size());
  const size_t slash = app.rfind('/');
  const std::string appid = app.substr(slash + 1);
  const std::string compatdata = "/steamapps/compatdata";
  if (slash == std::string::npos || slash < compatdata.size() ||
      app.compare(slash - compatdata.size(), compatdata.size(), compatdata) !=
          0 ||
      appid.empty() ||
      appid.find_first_not_of("0123456789") != std::string::npos)
    return "";
  const std::string name =
      ReadAppManifestName(app.substr(0, slash - compatdata.size()) +
                          "/steamapps/appmanifest_" + appid + ".acf");
  return name.empty() ? "" : ShownEscaped(name) + " (Steam app " + appid + ")";
}

// The game's folder as the key names it, and where that is on this
// computer, links resolved.
std::string ShownFolder(const GameInPrefix& game) {
  const std::string& folder = game.key.installPath.text;
  std::string host;
  if (game.key.installPath.tooLong ||
      !MapWindowsPath(folder.c_str(), game.prefix, &host))
    return Shown(folder);
  return Shown(folder) + " (" + ShownEscaped(WithoutLinks(host)) +
         (Exists(host) ? "" : ", missing") + ")";
}

}  // namespace

std::string WithoutLinks(const std::string& path) {
  for (size_t end = path.size(); end != std::string::npos && end > 0;
       end = path.rfind('/', end - 1)) {
    char* resolved = realpath(path.substr(0, end).c_str(), nullptr);
    if (resolved == nullptr) continue;
    std::string result = resolved;
    free(resolved);
    // Past a link to the root, such as drive z:, the rest brings its slash.
    if (result == "/" && end < path.size()) result.clear();
    return result + path.substr(end);
  }
  return path;
}

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
  const GameKey& key = game.key;
  if (!key.found) return "unknown (the prefix does not hold the game's key)";
  // The run ends at start-up with the registry's box.
  if (key.installPath.tooLong || key.language.tooLong)
    return "unknown (a value of the game's key is longer than the patch "
           "reads)";
  // The registry read holds at most 255 bytes: a folder ends in a
  // backslash within the buffer.
  char installPath[kInstallPathSize] = {};
  (void)snprintf(installPath, sizeof installPath - 1, "%s",
                 key.installPath.text.c_str());
  NormaliseInstallPath(installPath, sizeof installPath);
  UseWinePrefix(ChooseWinePrefix(game.prefix.c_str()));
  char label[kBaseVersionSize];
  char failure[kFileNameSize + 64];
  switch (JudgeBaseVersion(installPath, label, sizeof label, failure,
                           sizeof failure)) {
    case VersionVerdict::kAccepted: {
      const std::string why =
          WhyARunFromHereFails(installPath, key.language.text);
      return Shown(label) +
             (why.empty() ? " (the patch applies)"
                          : " (the patch upgrades it, but a run from this "
                            "folder fails: " +
                                why + ")");
    }
    case VersionVerdict::kRefused:
      return (label[0] != '\0' ? Shown(label) : "none") +
             " (not one this patch upgrades)";
    case VersionVerdict::kNoMenu:
      break;
    case VersionVerdict::kFailed:
      return "unknown (" + Shown(failure) + ")";
  }
  return "unknown (Cfg\\Menu.cfg is in none of the game's archives)";
}

std::vector<PrefixPlace> PrefixPlaces() {
  const char* homeVariable = getenv("HOME");
  if (homeVariable == nullptr || *homeVariable == '\0') return {};
  const std::string home = homeVariable;
  const char* dataVariable = getenv("XDG_DATA_HOME");
  const std::string data = dataVariable != nullptr && *dataVariable == '/'
                               ? dataVariable
                               : home + "/.local/share";
  const std::string flatpak = home + "/.var/app/";
  std::vector<PrefixPlace> places = {{home + "/.wine", "", false}};
  std::vector<std::string> steams = {
      data + "/Steam",
      home + "/.steam/steam",
      home + "/.steam/root",
      flatpak + "com.valvesoftware.Steam/.local/share/Steam",
      flatpak + "com.valvesoftware.Steam/data/Steam",
      home + "/snap/steam/common/.local/share/Steam"};
  const char* steamDir = getenv("STEAM_DIR");
  if (steamDir != nullptr && *steamDir == '/') steams.push_back(steamDir);
  for (const std::string& steam : steams)
    for (const std::string& library : SteamLibraries(steam))
      places.push_back({library + "/steamapps/compatdata", "/pfx", true});
  for (const std::string& folder :
       {home + "/Games", home + "/Games/Heroic/Prefixes",
        home + "/Games/Heroic/Prefixes/default", data + "/bottles/bottles",
        flatpak + "com.usebottles.bottles/data/bottles/bottles",
        home + "/.PlayOnLinux/wineprefix"})
    places.push_back({folder, "", true});
  // Last, so that a launcher's name for the same folder wins.
  const WinePrefixChoice named = ChooseWinePrefix(nullptr);
  if (named.source == PrefixSource::kEnvironment && !named.path.empty())
    places.push_back({named.path, "", false});
  return places;
}

std::vector<std::string> LauncherPrefixes() {
  std::vector<std::string> candidates;
  for (const PrefixPlace& place : PrefixPlaces()) {
    if (place.subfolders)
      AddSubfolders(place.folder, place.suffix, &candidates);
    else
      candidates.push_back(place.folder);
  }

  // Each prefix once, however many links or mounts lead to it
  // (~/.steam/steam is Steam's folder; a library may be mounted twice).
  std::vector<std::string> prefixes;
  std::set<std::pair<dev_t, ino_t>> seen;
  for (const std::string& candidate : candidates) {
    struct stat info;
    if (stat(candidate.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        !seen.insert({info.st_dev, info.st_ino}).second)
      continue;
    if (Exists(candidate + "/system.reg")) prefixes.push_back(candidate);
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

WinePrefixChoice ChoosePrefixForRun(const char* fromCommandLine) {
  WinePrefixChoice choice = ChooseWinePrefix(fromCommandLine);
  if (choice.source != PrefixSource::kDefault || choice.path.empty() ||
      ReadGameInPrefix(choice.path).key.found)
    return choice;
  const std::vector<GameInPrefix> games = PrefixesWithTheGame();
  if (games.size() != 1) return choice;
  choice.source = PrefixSource::kFound;
  choice.path = games[0].prefix;
  return choice;
}

int ListGamePrefixes(FILE* out) {
  const std::vector<GameInPrefix> games = PrefixesWithTheGame();
  for (const GameInPrefix& game : games) {
    const GameKey& key = game.key;
    const std::string steamName = SteamGameName(game.prefix);
    const std::string listed =
        ShownEscaped(game.prefix) +
        (steamName.empty() ? "" : "\n  game:     " + steamName) +
        "\n  folder:   " +
        (key.installPath.present ? ShownFolder(game)
                                 : "none (the key has no Installpath value)") +
        "\n  language: " +
        (key.language.present ? Shown(key.language.text)
                              : "none (the key has no Language value)") +
        "\n  version:  " + InstalledVersion(game) +
        "\n  patch it: " + ProgramCommand() + " --prefix " +
        ShownEscaped(ShellQuoted(game.prefix)) + "\n\n";
    (void)fputs(listed.c_str(), out);
  }
  if (games.empty()) {
    std::string looked;
    for (const PrefixPlace& place : PrefixPlaces()) {
      const std::string line =
          "patch_installer:   " +
          ShownEscaped(place.folder + (place.subfolders ? "/*" : "") +
                       place.suffix) +
          "\n";
      if (looked.find(line) == std::string::npos) looked += line;
    }
    (void)fprintf(stderr,
                  "patch_installer: no Wine prefix holds the game's registry "
                  "key (HKEY_LOCAL_MACHINE\\%s); it looked through:\n%s",
                  kGameRegistryKey, looked.c_str());
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
