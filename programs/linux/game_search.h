// The game in the Wine prefixes of this computer: what one prefix's
// registry says of it, and which of the prefixes that the Linux launchers
// keep hold it. Nothing here writes anything.
#ifndef GRAVELHORN_PROGRAMS_LINUX_GAME_SEARCH_H_
#define GRAVELHORN_PROGRAMS_LINUX_GAME_SEARCH_H_

#include <cstdio>
#include <string>
#include <vector>

#include "platform/wine/wine_prefix.h"

// One value of the game's key: narrow text, as the Windows program reads
// it; too long when the installer cannot take it (the registry read's 255
// bytes, or the 15 of a language code).
struct GameValue {
  bool present = false;
  bool tooLong = false;
  std::string text;
};

// The game's registry key in one view of the registry.
struct GameKey {
  bool found = false;
  GameValue installPath;
  GameValue language;
};

struct GameInPrefix {
  std::string prefix;
  int readError = 0;  // errno when system.reg cannot be read, else 0
  bool win64 = false;
  GameKey key;        // where the Windows program looks: the 32-bit view
  GameKey otherView;  // the 64-bit view, in a 64-bit prefix only
};

// Reads prefix/system.reg as the Windows program reads the registry.
GameInPrefix ReadGameInPrefix(const std::string& prefix);

// The installed version and whether the patch applies, as a run on the
// game's prefix from the current folder would find them: the run's own
// version detection and its check of Patch.dat and the game's files,
// without their boxes. Makes game's prefix the one in use
// (UseWinePrefix). Text as --list shows it, in the host's text.
std::string InstalledVersion(const GameInPrefix& game);

// A place where Wine or a launcher keeps prefixes: the folder itself, or
// each of its subfolders with suffix appended.
struct PrefixPlace {
  std::string folder;
  const char* suffix;
  bool subfolders;
};

// The places, below $HOME and $XDG_DATA_HOME: ~/.wine, Steam's
// steamapps/compatdata/*/pfx in each of its libraries (native, Flatpak,
// Snap, and $STEAM_DIR), Lutris's ~/Games/*, Bottles' bottles (native and
// Flatpak), PlayOnLinux's ~/.PlayOnLinux/wineprefix/*, Heroic's
// ~/Games/Heroic/Prefixes; and $WINEPREFIX. None without HOME.
std::vector<PrefixPlace> PrefixPlaces();

// Every prefix (a folder with a system.reg) in those places. Sorted, each
// folder once (by device and inode), whatever links or mounts lead to it.
std::vector<std::string> LauncherPrefixes();

// Those of LauncherPrefixes() whose registry holds the game's key.
std::vector<GameInPrefix> PrefixesWithTheGame();

// The prefix a run uses: as ChooseWinePrefix chooses it, but where neither
// --prefix (fromCommandLine) nor WINEPREFIX names one and ~/.wine does not
// hold the game's key, the one prefix of PrefixesWithTheGame (source
// kFound). Where several hold it, nothing is guessed: ~/.wine, as Wine.
WinePrefixChoice ChoosePrefixForRun(const char* fromCommandLine);

// The --list command: prints each prefix with the game, Steam's name for
// the game, its folder (and where that is on this computer), language and
// installed version and the command that patches it, every name and value
// shown escaped (platform/shown_text.h). Finding none, it says so on
// standard error with the places it looked through. Returns the exit code:
// 0 when it found the game, 1 when not.
int ListGamePrefixes(FILE* out);

// The host path without links (drives are links): the longest part that
// exists, resolved, and the rest as it is.
std::string WithoutLinks(const std::string& path);

// text quoted for a POSIX shell.
std::string ShellQuoted(const std::string& text);

#endif  // GRAVELHORN_PROGRAMS_LINUX_GAME_SEARCH_H_
