// Whole runs of the installer as data: each scenario is a prefix (the
// registry, a game folder, a Patch.dat), where the run starts, and what the
// player sees and finds afterwards. Two runners read the table: the Linux
// program in the native suite, and the Windows program under Wine, which is
// also held to agree with the Linux program.
#ifndef GRAVELHORN_TESTS_SCENARIOS_H_
#define GRAVELHORN_TESTS_SCENARIOS_H_

#include <ostream>

#include "tests/support/test_support.h"  // and <optional>, <string>, <vector>

// The game's key: with both values (or registryLines); without
// Installpath; missing; only through a subkey; and (Linux only) no
// system.reg at all, only in the 64-bit view (with both values, or
// registryLines), or a system.reg that is a folder or a fifo.
enum class Key {
  kValues,
  kNoInstallpath,
  kMissing,
  kOnlySubkey,
  kNoRegistry,
  kIn64BitView,
  kUnreadable,
  kFifoRegistry
};
enum class Mount { kNone, kSmallDisk, kReadOnly };  // Linux only
// Linux only: a Wine server for the prefix as Debian's Wine lays it out (the
// prefix's file "wineserver" names its folder in the temporary folder):
// running, or what another user could have planted there instead.
enum class Server {
  kNone,
  kRunning,
  kNameIsAFifo,
  kLockIsAFifo,
  kFolderOfAnotherUser,
  kFolderOpenToOthers
};
enum class Again { kNever, kRefused, kPatchedWithRoom };

const char kTitle[] = "Gravelhorn Patch Installer";
// The English summary box's text.
std::string EnglishSummary(const std::string& installPath = "C:\\Games\\GHR\\",
                           const std::string& baseVersion = "v1.1");

struct Scenario {
  const char* name;
  // The game's registry key and its two values, UTF-8; registryLines, when
  // given, are the key's value lines of system.reg instead (Linux only).
  std::string installPath = "C:\\Games\\GHR";
  std::string language = "eng";
  Key key = Key::kValues;
  std::string registryLines = "";
  // The v1.1 game below drive_c (UTF-8), its Cfg/Menu.cfg in Game.cod, and
  // one in Patch12.cod when patch12Menu is given. prepare changes the laid
  // out game folder further; patchDat damages the sample Patch.dat.
  std::string gameFolder = "Games/GHR";
  std::string menu = "[Menu]\r\nversion=0\r\n[Version]\r\nversion=v1.1\r\n";
  std::string patch12Menu = "";
  void (*prepare)(const std::string& gameFolder) = nullptr;
  // More that the game folder must show after each run, in gtest checks.
  void (*check)(const std::string& gameFolder) = nullptr;
  std::string (*patchDat)(std::string sample) = nullptr;
  const char* largeMember = nullptr;    // a Patch.dat member of largeSize bytes
  size_t largeSize = 200 * 1024;        // more than a full disk has room for
  std::string workingFolder = "Patch";  // below drive_c; holds Patch.dat
  Mount mount = Mount::kNone;
  // The one box (narrow text in code page 1252, the one of LC_ALL=C.UTF-8)
  // and the exit code: the English summary of the game in C:\Games\GHR by
  // default. A row that gives error shows it in an "ERROR" box, exit code
  // 255 (Scenarios() fills in the three). A text of "" expects no box at
  // all (standard output's reader gone).
  int exitCode = 0;
  std::string caption = kTitle;
  std::string text = EnglishSummary();
  std::string error = "";
  // How many of the files a run installs for the row's language are new
  // after the run, the first ones in the order they are installed
  // (tests/support/sample_patch.h names them, and their members);
  // when not given: all of them when the run succeeds, none when it fails.
  std::optional<int> newFiles = std::nullopt;
  Again again = Again::kNever;  // what a second run does
  bool onWindows = false;       // run the Windows program too
  // Linux only: how the run names the prefix (an environment variable, or
  // --prefix and its folder; "" for neither; a bare name unsets that
  // variable), and its locale, compiled into a private LOCPATH unless it is
  // C.UTF-8. <prefix> and <home> stand for the prefix and the home folder.
  std::string prefixGiven = "WINEPREFIX=<prefix>";
  const char* locale = "C.UTF-8";
  Server server = Server::kNone;
  // The program runs as "$@" of this sh line ($0 names a scratch file).
  const char* shell = nullptr;
  // The lines after the box, on standard error: exactly these (<prefix>
  // and <home> as above), or, when not given, lines that each begin with
  // "patch_installer: ".
  std::optional<std::string> hints = std::nullopt;
};

const std::vector<Scenario>& Scenarios();
const Scenario& ScenarioNamed(const std::string& name);     // throws if none
void PrintTo(const Scenario& scenario, std::ostream* out);  // its name

// Lays out the scenario's game and patch below driveC (after removing what
// an earlier scenario left there) and returns the game folder's files.
FolderFiles LayOutScenario(const Scenario& scenario, const std::string& driveC);

// The game folder's files after the run, from those before it.
FolderFiles ExpectedGameFiles(const Scenario& scenario, const FolderFiles& before);

// The error text of a run of scenario that cannot write game file number
// index, in the order the installer copies them (0 to 2 the edition's
// executables, 3 Patch12.cod).
std::string CannotWriteText(const Scenario& scenario, int index);
// The game folder after a run of scenario that stopped at game file
// `stopped` (4: after all): the files before it replaced and, when
// temporaryLeft, its new bytes under its temporary name.
FolderFiles StoppedGameFiles(const Scenario& scenario, const FolderFiles& before, int stopped,
                             bool temporaryLeft);

// The box of a second run that is refused, and the English box of a run
// that finds no menu in the game's archives.
const char kTooOldText[] = "This patch is older than your current version of Gravelhorn!";
const char kNoMenu[] = "File not found:\tCfg\\Menu.cfg\n\nUnable to update the files. \n";

// What the Linux program prints for a box: caption and text in UTF-8, shown
// escaped but for the text's tabs and line feeds, and a line feed unless
// the text ends in one.
std::string PrintedBox(const std::string& caption, const std::string& text);

// "PATH=" with program's folder first, for starting it by its bare name.
std::string PathTo(const std::string& program);

// text with each name in it (such as "<prefix>") replaced by its path.
std::string WithPaths(std::string text, const std::map<std::string, std::string>& paths);
// A fifo in place of the file path.
void Fifo(const std::string& path);
// bytes with the 32-bit field at offset set to value.
std::string With32(std::string bytes, size_t offset, uint32_t value);

// Expects the Linux program's output: the box on standard output (exit
// code 0) or standard error, and after it on standard error the hints
// (WithPaths filled in), or where there are none, lines that each begin
// with "patch_installer: "; and no control character but tab and line feed
// on either stream.
void ExpectPrinted(const CommandResult& result, int exitCode, const std::string& box,
                   const std::optional<std::string>& hints = std::nullopt,
                   const std::string& prefix = "", const std::string& home = "");

#endif  // GRAVELHORN_TESTS_SCENARIOS_H_
