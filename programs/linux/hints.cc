#include "programs/linux/hints.h"

#include <ctype.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "filesystem/archive_table.h"
#include "installer/messages.h"
#include "installer/patch_files.h"
#include "installer/settings.h"
#include "installer/startup.h"
#include "installer/version_detection.h"
#include "platform/code_page.h"
#include "platform/shown_text.h"
#include "platform/wine/file_failures.h"
#include "platform/wine/regular_file.h"
#include "platform/wine/wine_path.h"
#include "platform/wine/wine_prefix.h"
#include "programs/linux/game_search.h"
#include "programs/linux/program_command.h"

namespace {

class Hints {
 public:
  explicit Hints(FILE* out) : out_(out) {}
  // Every line is shown escaped: most name a folder, a file or a value
  // from outside, which must neither drive the terminal nor forge a line.
  void Line(const std::string& text) {
    (void)fprintf(out_, "patch_installer: %s\n", ShownEscaped(text).c_str());
  }

 private:
  FILE* out_;
};

bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

std::string Resolved(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string result = resolved;
  free(resolved);
  return result;
}

std::string PatchCommand(const std::string& prefix) {
  return ProgramCommand() + " --prefix " + ShellQuoted(prefix);
}

std::string Described(const WinePrefixChoice& choice) {
  const std::string kSources[] = {
      "from --prefix", "from WINEPREFIX", "WINEPREFIX is not set",
      "WINEPREFIX is not set and " + choice.given +
          " does not hold the game; the only prefix that " + ProgramCommand() +
          " --list finds it in"};
  std::string source = kSources[static_cast<int>(choice.source)];
  if (choice.protonFolder) source += "; Proton keeps it in pfx";
  return "Wine prefix: " + choice.path + " (" + source + ")";
}

// The prefixes --list shows, but for the one in use.
void ShowPrefixesWithTheGame(Hints& hints, const std::string& inUse) {
  bool any = false;
  for (const GameInPrefix& game : PrefixesWithTheGame()) {
    if (!inUse.empty() && Resolved(game.prefix) == Resolved(inUse)) continue;
    hints.Line("the game's key is in the prefix " + game.prefix + ": " +
               PatchCommand(game.prefix));
    any = true;
  }
  if (!any)
    hints.Line("no prefix that " + ProgramCommand() +
               " --list looks through holds the game's key");
}

// A ~ that the shell left alone, as in WINEPREFIX='~/.wine'.
void ShowUnexpandedTilde(Hints& hints, const WinePrefixChoice& choice) {
  const char* home = getenv("HOME");
  if (choice.given.compare(0, 2, "~/") != 0 || home == nullptr) return;
  hints.Line("the shell expands ~ only outside quotes: did you mean " +
             std::string(home) + choice.given.substr(1) + "?");
}

// The prefix's registry as its running Wine server has not saved it yet.
void ShowServerRunning(Hints& hints, const std::string& prefix) {
  hints.Line(
      "a Wine server is running for this prefix, and Wine writes the registry "
      "to system.reg only now and then and when it ends: close the prefix's "
      "programs or run WINEPREFIX=" +
      ShellQuoted(prefix) + " wineserver -w, then run " + ProgramCommand() +
      " again");
}

// What keeps the prefix from being read at all; false when it can be.
bool ShowPrefixFaults(Hints& hints, const WinePrefixChoice& choice) {
  const std::string& prefix = choice.path;
  struct stat info;
  if (prefix.empty() || stat(prefix.c_str(), &info) != 0) {
    if (!prefix.empty())
      hints.Line("cannot open the prefix " + prefix + ": " + strerror(errno));
    ShowUnexpandedTilde(hints, choice);
    if (choice.source == PrefixSource::kDefault)
      hints.Line("name the game's prefix: " + ProgramCommand() +
                 " --prefix DIR");
    return true;
  }
  if (!S_ISDIR(info.st_mode)) {
    hints.Line("the prefix " + prefix + " is not a folder");
    return true;
  }
  const GameInPrefix game = ReadGameInPrefix(prefix);
  if (game.readError == ENOENT) {
    // A new prefix has none until its Wine server first saves the registry.
    if (WineServerRunning(prefix))
      ShowServerRunning(hints, prefix);
    else
      hints.Line(prefix + " has no system.reg: it is not a Wine prefix");
    if (Exists(prefix + "/pfx/system.reg"))
      hints.Line(prefix + "/pfx has one: " + PatchCommand(prefix + "/pfx"));
    for (std::string folder = prefix; folder.size() > 1;) {
      folder = folder.substr(0, std::max<size_t>(folder.rfind('/'), 1));
      if (Exists(folder + "/system.reg")) {
        hints.Line(prefix + " lies inside the prefix " + folder + ": " +
                   PatchCommand(folder));
        break;
      }
    }
    return true;
  }
  if (game.readError != 0) {
    hints.Line("cannot read " + prefix +
               "/system.reg: " + FileErrorText(game.readError));
    return true;
  }
  return false;
}

void ShowKeyFaults(Hints& hints, const GameInPrefix& game) {
  const std::string key = std::string("HKLM\\") + kGameRegistryKey;
  if (game.otherView.found) {
    hints.Line("the game's key is only in the registry's 64-bit view (" + key +
               "), not in the 32-bit view where the game's setup writes it and "
               "the patch "
               "reads it; to register it in the 32-bit view:");
    const std::string add = "  WINEPREFIX=" + ShellQuoted(game.prefix) +
                            " wine reg add " + ShellQuoted(key);
    const GameKey& other = game.otherView;
    if (other.installPath.present)
      hints.Line(add + " /v Installpath /d " +
                 ShellQuoted(NarrowToHost(other.installPath.text)) +
                 " /reg:32 /f");
    if (other.language.present)
      hints.Line(add + " /v Language /d " +
                 ShellQuoted(NarrowToHost(other.language.text)) +
                 " /reg:32 /f");
    if (!other.installPath.present && !other.language.present)
      hints.Line(add + " /reg:32 /f");
  }
  if (WineServerRunning(game.prefix)) ShowServerRunning(hints, game.prefix);
}

void ShowValueFaults(Hints& hints, const GameInPrefix& game) {
  const GameKey& key = game.key;
  if (!key.installPath.present)
    hints.Line(
        "the game's key has no Installpath value: the game's folder is "
        "unknown");
  if (!key.language.present) hints.Line("the game's key has no Language value");
  if (key.installPath.tooLong)
    hints.Line(
        "the game's Installpath value is longer than the 255 characters the "
        "patch reads");
  if (key.language.tooLong)
    hints.Line(
        "the game's Language value is longer than the 15 characters the patch "
        "reads "
        "(" +
        CatalogueCodes() + ")");
  std::string host;
  struct stat info;
  if (!key.installPath.present || key.installPath.tooLong ||
      !MapWindowsPath(key.installPath.text.c_str(), game.prefix, &host) ||
      stat(host.c_str(), &info) == 0)
    return;
  const std::string reason = strerror(errno);
  hints.Line("the game's folder " + NarrowToHost(key.installPath.text) +
             " is " + WithoutLinks(host) + ": " + reason);
}

// Where the game's menu is not on disk, the run looked for it in the game's
// archives: which of them are missing in the game's folder. False when the
// registry names no folder to look in.
bool ShowMenuNotInArchives(Hints& hints, const GameInPrefix& game) {
  const GameValue& path = game.key.installPath;
  std::string folder;
  if (!game.key.found || !path.present || path.tooLong ||
      !MapWindowsPath(path.text.c_str(), game.prefix, &folder))
    return false;
  std::string missing, all;
  for (const char* name : GameArchiveNames) {
    std::string host;
    struct stat info;
    if (!MapWindowsPath((path.text + "\\" + name).c_str(), game.prefix,
                        &host) ||
        stat(host.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
      missing += (missing.empty() ? "" : ", ") + std::string(name);
    all += (all.empty() ? "" : ", ") + std::string(name);
  }
  const std::string where = " the game's folder " + NarrowToHost(path.text) +
                            " (" + WithoutLinks(folder) + "): ";
  hints.Line(missing.empty()
                 ? "Cfg\\Menu.cfg is in none of the game's archives in" +
                       where + all
                 : "Cfg\\Menu.cfg is read from the game's archives, missing "
                   "in" +
                       where + missing);
  return true;
}

// Whether text names the file name as a word of its own: "\\x.exe" does not
// name "\x.exe".
bool NamedIn(const std::string& box, const std::string& name) {
  for (size_t at = box.find(name); at != std::string::npos;
       at = box.find(name, at + 1)) {
    const size_t end = at + name.size();
    if ((at == 0 || isspace(static_cast<unsigned char>(box[at - 1]))) &&
        (end == box.size() || isspace(static_cast<unsigned char>(box[end]))))
      return true;
  }
  return false;
}

// After the box that refuses the installed version: where that is the
// version this patch makes, the game is patched already.
void ShowPatchedAlready(Hints& hints, const std::string& box) {
  if (box != MessageText(MESSAGE_PATCH_TOO_OLD)) return;
  char label[kBaseVersionSize];
  char failure[kFileNameSize + 64];
  if (JudgeBaseVersion(InstallPath, label, sizeof label, failure,
                       sizeof failure) == VersionVerdict::kRefused &&
      strstr(label, kPatchedVersion) != nullptr)
    hints.Line("the game reads as " + NarrowToHost(label) + ", the version " +
               "this patch makes: it is patched already, and nothing needs "
               "doing");
}

// Whether the run has Patch.dat mounted: only then can it lack a file.
bool PatchDatMounted() {
  for (int32_t s = 0; s < Archives.registeredCount; ++s)
    if (strcmp(Archives.slots[s].fileName, "Patch.dat") == 0) return true;
  return false;
}

// A file of the run that Patch.dat lacks or holds cut short (a download
// that stopped part-way): the box names the file, the fault is Patch.dat's.
void ShowPatchDatFaults(Hints& hints, const std::string& box) {
  PatchFile files[kPatchFileCount];
  ListPatchFiles(LanguageValue, files);
  for (const PatchFile& file : files) {
    const MemberFinding found = FindRegisteredMember(file.source);
    if (!NamedIn(box, file.source) || !PatchDatMounted() ||
        found.state == MemberState::kWhole)
      continue;
    std::string member = NarrowToHost(file.source);
    std::replace(member.begin(), member.end(), '\\', '/');
    std::string host = "Patch.dat";
    std::string mapped;
    if (MapWindowsPath("Patch.dat", CurrentWinePrefix().path, &mapped))
      host += " (" + WithoutLinks(mapped) + ")";
    const std::string fix =
        ": the patch needs a whole Patch.dat; download it again";
    if (found.state == MemberState::kMissing)
      hints.Line(host + " has no " + member + ", which the run installs" + fix);
    else if (found.state == MemberState::kCutShort)
      hints.Line(host + " is cut short: " + member + " ends at byte " +
                 std::to_string(found.end) + ", but the file holds " +
                 std::to_string(found.archiveLength) + " bytes" + fix);
    else
      hints.Line(host + " holds " + member +
                 " with a size of 2 GiB or more, which the patch cannot copy" +
                 fix);
  }
}

}  // namespace

void PrintHints(FILE* out, const char* boxText, bool afterError) {
  Hints hints(out);
  const WinePrefixChoice choice = CurrentWinePrefix();
  if (!choice.path.empty())
    hints.Line(Described(choice));
  else if (choice.source == PrefixSource::kEnvironment)
    hints.Line(
        "no Wine prefix: WINEPREFIX is not an absolute path, which Wine "
        "refuses: " +
        choice.given);
  else
    hints.Line("no Wine prefix: neither WINEPREFIX nor HOME is set");
  if (!afterError) return;

  GameInPrefix game;
  if (ShowPrefixFaults(hints, choice)) {
    ShowPrefixesWithTheGame(hints, "");
  } else {
    game = ReadGameInPrefix(choice.path);
    struct stat info;
    if (stat((choice.path + "/dosdevices").c_str(), &info) == 0 &&
        lstat((choice.path + "/dosdevices/c:").c_str(), &info) != 0)
      hints.Line(
          choice.path +
          "/dosdevices has no c: link, without which Wine cannot start: " +
          "ln -s ../drive_c " + ShellQuoted(choice.path + "/dosdevices/c:") +
          " puts it back");
    if (!game.key.found) {
      ShowKeyFaults(hints, game);
      ShowPrefixesWithTheGame(hints, choice.path);
    } else {
      ShowValueFaults(hints, game);
    }
  }
  for (const FileFailure& failure : FileFailures())
    if (failure.windowsPath == "Patch.dat")
      hints.Line("Patch.dat is " + WithoutLinks(failure.hostPath) + ": " +
                 failure.reason + ": run " + ProgramCommand() +
                 " in the folder that holds Patch.dat");
  const std::string box = boxText != nullptr ? boxText : "";
  ShowPatchDatFaults(hints, box);
  ShowPatchedAlready(hints, box);
  for (const FileFailure& failure : FileFailures()) {
    if (!NamedIn(box, failure.windowsPath)) continue;
    const std::string name = NarrowToHost(failure.windowsPath);
    // The menu that is not on disk where the run started comes from the
    // game's archives: that is where it is missing.
    if (failure.windowsPath == "Cfg\\Menu.cfg" && !failure.hostPath.empty() &&
        !Exists(failure.hostPath) && ShowMenuNotInArchives(hints, game))
      continue;
    if (failure.folder)
      hints.Line("the folder " + WithoutLinks(failure.hostPath) + ", where " +
                 name + " goes, cannot be written: " + failure.reason);
    else
      hints.Line(failure.hostPath.empty()
                     ? name + ": " + failure.reason
                     : name + " is " + WithoutLinks(failure.hostPath) + ": " +
                           failure.reason);
  }
  (void)fflush(out);
}
