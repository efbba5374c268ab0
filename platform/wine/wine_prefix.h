// The Wine prefix that the Linux program patches, chosen as Wine chooses
// it: the command line's --prefix, else $WINEPREFIX, else $HOME/.wine.
#ifndef GRAVELHORN_PLATFORM_WINE_PREFIX_H_
#define GRAVELHORN_PLATFORM_WINE_PREFIX_H_

#include <string>

// kFound: neither --prefix nor WINEPREFIX named one, ~/.wine does not hold
// the game, and the Linux program found the one prefix that does.
enum class PrefixSource { kCommandLine, kEnvironment, kDefault, kFound };

struct WinePrefixChoice {
  PrefixSource source = PrefixSource::kDefault;
  // The folder as the player named it: --prefix's DIR, $WINEPREFIX, or
  // $HOME/.wine; empty when HOME is not set either.
  std::string given;
  // The prefix, without a trailing slash: given, made absolute when it came
  // from the command line, and its pfx folder when it is Steam's Proton
  // folder compatdata/<appid>. Empty when there is none: nothing given, or
  // a $WINEPREFIX that is not an absolute path, which Wine refuses too.
  std::string path;
  bool protonFolder = false;  // path is given's pfx folder
};

// The prefix that a run with --prefix fromCommandLine (nullptr: none) uses.
// Reads the environment afresh on every call.
WinePrefixChoice ChooseWinePrefix(const char* fromCommandLine);

// Makes choice the prefix of every later call of the two below.
void UseWinePrefix(const WinePrefixChoice& choice);

// The prefix in use: the one UseWinePrefix set, else ChooseWinePrefix
// without a command line.
WinePrefixChoice CurrentWinePrefix();
std::string WinePrefixDirectory();  // CurrentWinePrefix().path

// Whether a Wine server runs for prefix: while one does, Wine may not have
// written the registry's latest changes to system.reg yet. Only a server
// folder that the Wine server itself would use counts (this user's, and no
// one else may write to it or to the folder that holds it), and its files
// are read without waiting (platform/wine/regular_file.h).
bool WineServerRunning(const std::string& prefix);

#endif  // GRAVELHORN_PLATFORM_WINE_PREFIX_H_
