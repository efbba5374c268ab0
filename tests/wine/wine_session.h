// A Wine prefix and a private X display for running the Windows program:
// the prefix is made once with wineboot, the game's registry values are
// written with Wine's own reg command, and every message box the program
// shows is read (caption from the X window, text from Wine's msgbox trace),
// photographed and dismissed with Return.
#ifndef GRAVELHORN_TESTS_WINE_WINE_SESSION_H_
#define GRAVELHORN_TESTS_WINE_WINE_SESSION_H_

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class ChildProcess;
struct CommandResult;

// The programs the session needs: wine64, wineserver, Xvfb, xdotool and
// ImageMagick's screenshot command, import.
struct WineTools {
  std::string wine, wineserver, xvfb, xdotool, import;
};

// Finds the tools on PATH (wine64 and wineserver also in /usr/lib/wine, where
// Debian puts them). Returns an empty string when all are there, otherwise
// the names of the missing ones.
std::string FindWineTools(WineTools* tools);

// A box as the user saw it: caption and text in the ANSI code page of the
// session's locale, LC_ALL=C.UTF-8 (1252), which the test runs in too.
struct WindowsBox {
  std::string caption, text;
};

struct WindowsRun {
  int exitCode = -1;  // 255 for the program's -1
  std::vector<WindowsBox> boxes;
  std::string wineOutput;  // Wine's traces and the program's standard error
};

// More for one run: the program's arguments, what is added to the
// session's WINEDLLOVERRIDES ("uxtheme=n,b") and WINEDEBUG ("+relay"), and
// NAME=VALUE pairs for the program's environment.
struct WineRunOptions {
  std::vector<std::string> arguments;
  std::string dllOverrides, debugChannels;
  std::vector<std::string> environment;
};

class WineSession {
 public:
  // Starts Xvfb on a free display and makes a fresh prefix in folder/prefix,
  // or copies madePrefix there (one that SavePrefix kept), which takes a
  // second where making one takes half a minute. Throws std::runtime_error
  // saying which step failed.
  WineSession(const WineTools& tools, const std::string& folder,
              const std::string& madePrefix = "");
  // Ends the prefix's wineserver and Xvfb, and removes folder.
  ~WineSession();

  // Ends the wineserver and moves the prefix, as yet unused, to path for
  // other sessions to copy; this session has no prefix afterwards.
  void SavePrefix(const std::string& path);

  const std::string& prefix() const { return prefix_; }
  std::string Home() const { return folder_ + "/home"; }  // HOME of every run
  std::string DriveC() const { return prefix_ + "/drive_c"; }

  // Replaces the game's key, HKLM\Software\Quillfern\GHR in the 32-bit
  // view, with one holding these string values (UTF-8) and, if named, an
  // empty subkey.
  void SetGameKey(const std::vector<std::pair<std::string, std::string>>& values,
                  const std::string& subkey = "");
  void DeleteGameKey();
  // Ends the prefix's wineserver and with it every Wine process of the
  // prefix. The server writes the registry to system.reg on its way out,
  // so that the Linux program then reads what Wine holds.
  void EndWineServer();

  // Runs exe under Wine with workingDirectory as its current folder, waits
  // for each box, saves its screenshot as screenshotBase.png (-2.png, ...
  // for later boxes) and presses Return on it. Throws when the program
  // neither shows another box nor ends within a minute (after ending it),
  // or when the box windows seen and the texts Wine traced do not pair up.
  WindowsRun Run(const std::string& exe, const std::string& workingDirectory,
                 const std::string& screenshotBase, const WineRunOptions& options = {});

  // Runs a console program, exe and its arguments, under Wine in
  // workingDirectory with its output in files; with onTerminal, on a
  // terminal of its own (script), which Wine makes the program's console.
  CommandResult RunConsole(const std::vector<std::string>& arguments,
                           const std::string& workingDirectory, bool onTerminal = false);

 private:
  std::vector<std::string> Environment(const std::string& debugChannels,
                                       const std::string& dllOverrides = "") const;
  void Wine(const std::vector<std::string>& arguments, double timeoutSeconds, bool mayFail = false);
  // xdotool or import on the session's display; throws when it fails.
  std::string X(const std::vector<std::string>& arguments, bool mayFail = false) const;

  WineTools tools_;
  std::string folder_, prefix_, display_;
  std::unique_ptr<ChildProcess> xvfb_;
  std::atomic<int> runs_ = 0;  // two runs may be started from two threads
};

#endif  // GRAVELHORN_TESTS_WINE_WINE_SESSION_H_
