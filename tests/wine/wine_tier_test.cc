// The Windows program players run, build/win64/patch_installer.exe, under
// Wine with the real registry and real message boxes, on the scenarios
// marked for it. Every run is repeated with the Linux program on the same
// prefix, registry and game, and the two must agree: exit code, box text
// after code-page conversion, and every byte written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <future>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>

#include "tests/support/sample_patch.h"
#include "tests/support/scenarios.h"
#include "tests/wine/wine_session.h"

namespace {

// The tier's folder and programs: the build's, unless the environment names
// another folder, installer (sign_test.sh runs a signed copy) or Linux
// program. The Windows test build's file replacement calls fail or end the
// run where GRAVELHORN_FAULTS says (injected_faults_win32.cc).
std::string FromEnvironment(const char* variable, const char* fallback) {
  const char* value = getenv(variable);
  return value != nullptr && *value != '\0' ? value : fallback;
}
const std::string tierFolder = FromEnvironment("WINE_TIER_DIR", WINE_TIER_DIR);
const std::string windowsInstaller =
    FromEnvironment("WINDOWS_PATCH_INSTALLER", WIN64_BUILD_DIR "/patch_installer.exe");
const std::string linuxInstaller = FromEnvironment("PATCH_INSTALLER", LINUX_PATCH_INSTALLER);
const std::string windowsFff = WIN64_BUILD_DIR "/fff.exe";
const std::string windowsTestBuild = WIN64_BUILD_DIR "/patch_installer_faults.exe";
const std::string windowsFffFaults = WIN64_BUILD_DIR "/fff_faults.exe";
const std::string screenshots = tierFolder + "/screenshots/";
// The prefix made once for the tier (by the CTest fixture wine_prefix, which
// runs WinePrefix.IsSavedForTheRows below), which each process copies.
const std::string madePrefix = FromEnvironment("WINE_TIER_PREFIX", "");
// A box as "caption|text": a second run's, refused.
const std::string kRefused = "ERROR|" + std::string(kTooOldText);

// One prefix and one display for the whole process (a shard of the tier).
std::string skipReason, setUpError;
std::unique_ptr<WineSession> session;

struct WineTier : ::testing::Environment {
  void SetUp() override {
    WineTools tools;
    if (!(skipReason = FindWineTools(&tools)).empty())
      skipReason += " not found (scripts/setup.sh installs wine64, xvfb, xdotool and imagemagick)";
    else if (!FileExists(windowsInstaller))
      skipReason = windowsInstaller + " is not built (scripts/build.sh win64 builds it)";
    else
      try {
        session.reset(
            new WineSession(tools, tierFolder + "/run-" + std::to_string(getpid()), madePrefix));
      } catch (const std::exception& error) {
        setUpError = error.what();
      }
  }
  void TearDown() override { session.reset(); }
};
::testing::Environment* const wineTier = ::testing::AddGlobalTestEnvironment(new WineTier);

// Where every test of the tier starts: skipped, with the reason, when the
// tier cannot run here.
template <typename Row>
struct Tier : ::testing::TestWithParam<Row> {
  void SetUp() override {
    if (!skipReason.empty()) GTEST_SKIP() << "Wine tier skipped: " << skipReason;
    ASSERT_EQ("", setUpError) << "the Wine tier could not be set up";
    MakeFolders(screenshots);
  }
};

// Lays out the scenario's game and patch and writes its key; returns the
// game folder's files.
FolderFiles LayOut(const Scenario& s) {
  const FolderFiles files = LayOutScenario(s, session->DriveC());
  if (s.key == Key::kMissing) session->SetGameKey({});
  if (s.key == Key::kOnlySubkey) session->SetGameKey({}, "Options");
  if (s.key == Key::kValues)
    session->SetGameKey({{"Installpath", s.installPath}, {"Language", s.language}});
  if (s.key == Key::kNoInstallpath) session->SetGameKey({{"Language", s.language}});
  return files;
}

// Expects a run's exit code and its boxes, each as "caption|text"; of a
// box that the trace cuts short, as much as it shows.
void ExpectRun(const WindowsRun& run, int exitCode, std::vector<std::string> boxes) {
  EXPECT_EQ(exitCode, run.exitCode) << "Wine's output:\n" << WineSession::Tail(run.wineOutput);
  for (size_t i = 0; i < boxes.size() && i < run.boxes.size(); ++i)
    if (run.boxes[i].ends_with(kCutShort) && run.boxes[i].size() < boxes[i].size() + 4)
      boxes[i] = boxes[i].substr(0, run.boxes[i].size() - 4) + kCutShort;
  EXPECT_EQ(boxes, run.boxes) << "Wine's output:\n" << WineSession::Tail(run.wineOutput);
}

// The Linux program's environment on the session's prefix.
std::vector<std::string> LinuxEnvironment() {
  return {"WINEPREFIX=" + session->prefix(), "LC_ALL=C.UTF-8", "HOME=" + session->Home(),
          "XDG_DATA_HOME", PathTo(linuxInstaller)};
}

// Run by the CTest fixture wine_prefix alone, which names the folder: the
// session's fresh prefix, kept for the tier's processes to copy.
class WinePrefix : public Tier<int> {};
TEST_F(WinePrefix, IsSavedForTheRows) {
  const std::string saveAs = FromEnvironment("WINE_TIER_SAVE_PREFIX", "");
  if (saveAs.empty()) GTEST_SKIP() << "only for the CTest fixture wine_prefix";
  session->SavePrefix(saveAs);
}

// The Windows program, then the Linux program on the same prefix from the
// same game (laid out again, with its file modes, after the first run;
// restored to what it was before a second): the box, exit code and files
// expected of each run, from both programs alike. A second run may be
// refused.
class WindowsProgram : public Tier<Scenario> {};
TEST_P(WindowsProgram, AgreesWithTheLinuxProgram) {
  const Scenario& s = GetParam();
  const std::string game = session->DriveC() + "/" + s.gameFolder;
  const std::string working = session->DriveC() + "/" + s.workingFolder;
  const FolderFiles expected = ExpectedGameFiles(s, LayOut(s));
  for (const bool again : {false, true}) {
    if (again && s.again != Again::kRefused) break;
    SCOPED_TRACE(again ? "the second run" : "the first run");
    const int exitCode = again ? 255 : s.exitCode;
    const std::string caption = again ? "ERROR" : s.caption, text = again ? kTooOldText : s.text;
    const FolderFiles before = FolderTree(game);
    ExpectRun(
        session->Run(windowsInstaller, working, screenshots + s.name + (again ? "-again" : "")),
        exitCode, {caption + "|" + text});
    const FolderFiles windowsFiles = FolderTree(game);
    EXPECT_EQ(expected, windowsFiles);
    if (s.check != nullptr) s.check(game);

    if (again)
      RestoreFolderFiles(game, before);
    else
      LayOutScenario(s, session->DriveC());
    session->EndWineServer();  // which writes system.reg
    const CommandResult linux =
        RunCommand({"/usr/bin/env", "patch_installer"}, working, LinuxEnvironment());
    SCOPED_TRACE("the Linux program's exit code, box and hints");
    ExpectPrinted(linux, exitCode, PrintedBox(caption, text), again ? std::nullopt : s.hints,
                  session->prefix(), session->Home());
    EXPECT_EQ(windowsFiles, FolderTree(game)) << "the files the Linux program wrote";
  }
}
std::vector<Scenario> WindowsScenarios() {
  std::vector<Scenario> rows;
  std::ranges::copy_if(Scenarios(), std::back_inserter(rows), &Scenario::onWindows);
  return rows;
}
INSTANTIATE_TEST_SUITE_P(Scenarios, WindowsProgram, ::testing::ValuesIn(WindowsScenarios()),
                         [](const auto& info) { return std::string(info.param.name); });

// The tests below run on the English row only, for the tier's set-up.
class OnEnglish : public Tier<Scenario> {};
INSTANTIATE_TEST_SUITE_P(Scenarios, OnEnglish, ::testing::Values(ScenarioNamed("English")),
                         [](const auto& info) { return std::string(info.param.name); });

// A DLL saved beside both programs in Downloads, named like uxtheme.dll,
// which Wine's boxes load on demand, with the override that makes Wine
// prefer it to its own: neither program ever loads it, in a whole run to
// the summary, in a run to an error box, or for --help. fff.exe loads no
// DLL on demand there, so for it Wine's relay trace shows the restriction
// itself. The same installer with its restriction turned off loads it.
TEST_P(OnEnglish, PlantedDllIsNeverLoaded) {
  if (std::string(PLANTED_DLL).empty()) GTEST_SKIP() << "no mingw-w64 to build the planted DLL";
  // Turned off: the name the installer looks up is changed, so that only
  // the fallback runs, which leaves the program's own folder in the search.
  std::string unrestricted = ReadFileBytes(windowsInstaller);
  const size_t name = unrestricted.find("SetDefaultDllDirectories");
  ASSERT_NE(std::string::npos, name);
  unrestricted[name + 23] = 'Z';
  const std::string downloads = session->DriveC() + "/Downloads";
  RestoreFolderFiles(downloads, {{"patch_installer.exe", ReadFileBytes(windowsInstaller)},
                                 {"fff.exe", ReadFileBytes(windowsFff)},
                                 {"uxtheme.dll", ReadFileBytes(PLANTED_DLL)},
                                 {"unrestricted.exe", unrestricted}});
  const Scenario& english = GetParam();
  LayOut(english);
  // {program, arguments, exit code, boxes, loads the DLL}; the second run
  // of the installer is refused, the game being v1.2. --help runs under
  // Wine's relay trace too.
  const std::tuple<const char*, std::vector<std::string>, int, std::vector<std::string>, bool>
      rows[] = {{"patch_installer.exe", {}, 0, {english.caption + "|" + english.text}, false},
                {"patch_installer.exe", {}, 255, {kRefused}, false},
                {"fff.exe", {"--help"}, 0, {}, false},
                {"unrestricted.exe", {}, 255, {kRefused}, true}};
  for (const auto& [program, arguments, exitCode, boxes, loads] : rows) {
    SCOPED_TRACE(program);
    std::filesystem::remove(downloads + "/uxtheme.dll.loaded");
    const bool relay = !arguments.empty();
    const WindowsRun run = session->Run(
        downloads + "/" + program, session->DriveC() + "/Patch",
        screenshots + "PlantedDll-" + program + "-" + std::to_string(exitCode), arguments,
        {"WINEDLLOVERRIDES=mscoree,mshtml=;uxtheme=n,b",
         "WINEDEBUG=fixme-all,+msgbox" + std::string(relay ? ",+relay" : "")});
    ExpectRun(run, exitCode, boxes);
    EXPECT_EQ(loads, FileExists(downloads + "/uxtheme.dll.loaded"));
    // With the relay trace, the restriction itself.
    EXPECT_EQ(relay, run.wineOutput.find("Call KERNEL32.SetDefaultDllDirectories(00000800)") !=
                         std::string::npos);
  }
  std::filesystem::remove_all(downloads);
}

// fff.exe run with arguments in folder: its exit code and standard error,
// or what the regular expression pattern matches whole. With faults, its
// test build, whose calls fail where GRAVELHORN_FAULTS says.
void ExpectFff(std::vector<std::string> arguments, const std::string& folder, int exitCode,
               const std::string& err, bool pattern = false, const std::string& faults = "") {
  arguments.insert(arguments.begin(), faults.empty() ? windowsFff : windowsFffFaults);
  const CommandResult result =
      session->RunConsole(arguments, folder, false, {"GRAVELHORN_FAULTS=" + faults});
  EXPECT_EQ(exitCode, result.exitCode) << CommandLine(arguments);
  if (pattern)
    EXPECT_TRUE(std::regex_match(result.err, std::regex(err))) << result.err;
  else
    EXPECT_EQ(err, result.err) << CommandLine(arguments);
}

// The archive tool's Windows build, fff.exe, in the same prefix: names
// Windows takes for one, and devices, are refused before anything is
// written; a fifo is refused at once; and a console shows every letter.
// Text redirected to a file is in the ANSI code page, 1252 here.
//
// Under Wine a Unix link shows as a plain file or folder and Wine follows
// it, even to remove it; fff.exe finds one, as the installer does, by where
// it turns out to be. It never writes through a linked folder nor replaces
// an archive that is a link; a link where a file belongs is replaced, not
// what it points to; and of a killed extract's leftovers it clears the
// files but a link, which stays with what it points to.
TEST_P(OnEnglish, FffExeRefusesWhatWindowsCannotWriteBeforeWritingAnything) {
  const std::string device =
      "' is a device on Windows (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0 to COM9 and LPT0 to "
      "LPT9, also with a superscript 1, 2 or 3), not a file\r\n";
  TempDir dir;
  const std::string archive = BuildFffArchive(
      {{"a.txt", "a"}, {"\xC9.txt", "1"}, {"\xE9.txt", "2"}, {"COM\xB9", "c"}, {"d/CONOUT$", "c"}});
  dir.Write("a.fff", archive);
  ExpectFff({"extract", "a.fff", "-C", "out"}, dir.path(), 1,
            "fff: a.fff: refusing entry 4 'COM\xB9': 'COM\xB9" + device +
                "fff: a.fff: refusing entry 5 'd/CONOUT$': 'CONOUT$" + device +
                "fff: a.fff: refusing entry 3 '\xE9.txt': it would land on the same file as entry "
                "2 '\xC9.txt'\r\n");
  EXPECT_EQ((FolderFiles{{"a.fff", archive}}), FolderTree(dir.path()));
  ASSERT_EQ(0, mkfifo((dir.path() + "/fifo").c_str(), 0666));
  ExpectFff({"list", "fifo"}, dir.path(), 1,
            "fff: fifo: cannot read the archive: it is a pipe, not a file\r\n");
  ExpectFff({"list", "NUL"}, dir.path(), 1,
            "fff: NUL: cannot read the archive: it is a device, not a file\r\n");
  // A new archive is put in place; the system's own words for a failure
  // come without their line end and full stop; a path Windows cannot take
  // is refused by its length.
  ExpectFff({"create", "n.fff", "a.fff"}, dir.path(), 0, "");
  // Extracted again, over the file it made: that file is not the archive.
  for (int time = 0; time < 2; ++time)
    ExpectFff({"extract", "n.fff", "-C", "n"}, dir.path(), 0, "");
  EXPECT_EQ((FolderFiles{{"a.fff", archive}}), FolderTree(dir.path() + "/n"));
  dir.Write("long.fff", BuildFffArchive({{std::string(120, 'y'), "y"}}));
  ExpectFff({"create", "none\\x.fff", "a.fff"}, dir.path(), 1,
            R"(fff: none\\x\.fff: cannot create 'none\\x\.fff\.tmp\d+': Path not found\r\n)", true);
  // Calls that fail in the test build: the message says which, and every
  // file that it does not name as changed is as it was.
  TempDir failing;
  failing.Write("t.fff", BuildFffArchive({{"a.txt", "a"}, {"b.txt", "b"}}));
  const FolderFiles before = FolderTree(failing.path());
  const std::pair<std::string, std::string> createFailures[] = {
      {"CreateFileA#1=112", "cannot create 'n\\.fff\\.tmp\\d+': Disk full"},
      {"FlushFileBuffers#1=5", "writing 'n\\.fff\\.tmp\\d+' failed: Access denied"},
      {"MoveFileExA#1=5", "cannot rename 'n\\.fff\\.tmp\\d+' into place: Access denied"}};
  for (const auto& [faults, problem] : createFailures) {
    ExpectFff({"create", "n.fff", "t.fff"}, failing.path(), 1, "fff: n\\.fff: " + problem + "\r\n",
              true, faults);
    EXPECT_EQ(before, FolderTree(failing.path())) << faults;
  }
  ExpectFff({"extract", "t.fff", "-C", "out"}, failing.path(), 1,
            "fff: t.fff: cannot put 'out/b.txt' in its place: Access denied; the members before "
            "it were extracted, it and those after it not\r\n",
            false, "MoveFileExA#2=5");
  FolderFiles extracted = before;
  extracted.insert({{"out", kFolderEntry}, {"out/a.txt", "a"}});
  EXPECT_EQ(extracted, FolderTree(failing.path()));
  // A path from the drive's root or with a drive is no member's name; one
  // below the current folder, with either separator, is.
  failing.Write("sub/x.txt", "x");
  ExpectFff({"create", "abs.fff", "\\x.txt", "sub\\x.txt", "C:\\y.txt"}, failing.path(), 1,
            "fff: abs.fff: member '/x.txt': the name is an absolute path; name the member with "
            "NAME=FILE\r\nfff: abs.fff: member '/x.txt': cannot read '\\x.txt': No such file or "
            "directory\r\nfff: abs.fff: member 'C:/y.txt': the name is an absolute path; name the "
            "member with NAME=FILE\r\nfff: abs.fff: member 'C:/y.txt': cannot read 'C:\\y.txt': No "
            "such file or directory\r\n");
  // Z:\<the folder>\<140 o>\<120 y>
  const std::string longest = std::to_string(2 + dir.path().size() + 1 + 140 + 1 + 120);
  ExpectFff({"extract", "long.fff", "-C", std::string(140, 'o')}, dir.path(), 1,
            R"(fff: long\.fff: .*'y+': its path would be )" + longest +
                R"( characters long, and Windows allows 259\r\n)",
            true);
  // On a console the letter comes out as itself; as bytes the console
  // would read it in its OEM code page. What Windows can write, it writes,
  // a one-letter name too.
  dir.Write("m.fff", BuildFffArchive({{"Men\xFC.txt", "u"}, {"d/x", "x"}, {"b", "b"}}));
  const CommandResult console =
      session->RunConsole({windowsFff, "list", "m.fff"}, dir.path(), true);
  EXPECT_EQ(0, console.exitCode);
  // (Tabs come out as spaces.)
  EXPECT_TRUE(std::regex_search(console.out, std::regex("436 +1 +Men\xC3\xBC\\.txt")))
      << console.out;
  ExpectFff({"extract", "m.fff", "-C", "out"}, dir.path(), 0, "");
  EXPECT_EQ((FolderFiles{{"Menü.txt", "u"}, {"d", kFolderEntry}, {"d/x", "x"}, {"b", "b"}}),
            FolderTree(dir.path() + "/out"));

  TempDir links;
  links.Write("a.fff", BuildFffArchive({{"a.txt", "a"}, {"sub/x.txt", "x"}}));
  links.Write("outside/keep", "k");
  links.Write("out/.fff0000abcd.tmp", "left");
  for (const auto& [target, link] : {std::pair<const char*, const char*>{"../outside", "out/sub"},
                                     {"../outside/keep", "out/.fff99999999.tmp"},
                                     {"../outside/keep", "out/a.txt"},
                                     {"outside/keep", "l.fff"}})
    ASSERT_EQ(0, symlink(target, (links.path() + "/" + link).c_str()));
  FolderFiles files = FolderTree(links.path());
  ExpectFff({"extract", "a.fff", "-C", "out"}, links.path(), 1,
            "fff: a.fff: refusing entry 2 'sub/x.txt': 'out/sub' is a link that Windows programs "
            "see as a plain folder here (a Unix link under Wine): extract neither follows nor "
            "replaces it\r\n");
  EXPECT_EQ(files, FolderTree(links.path()));
  ExpectFff({"create", "l.fff", "a.fff"}, links.path(), 1,
            "fff: l.fff: refusing to replace 'l.fff': it is a link, not a file; create writes "
            "only a new file or over a regular file\r\n");
  EXPECT_EQ(files, FolderTree(links.path()));
  ExpectFff({"extract", "a.fff", "-C", "out", "a.txt"}, links.path(), 0, "");
  files.erase("out/.fff0000abcd.tmp");
  files["out/a.txt"] = "a";
  EXPECT_EQ(files, FolderTree(links.path()));
}

// The Windows test build, run one fault list after another on one game:
// exit code 9 is a killed run, which shows no box. stopped is the game file
// the run stopped at (4: after all four; -1: the game folder stays as it
// was), temporaryLeft whether that file's new bytes stay under its
// temporary name, temporaryNamed whether the box names that name. The
// waits the run asked for add up to between waited's two bounds
// (milliseconds). before changes the game folder before the run.
// "" runs the program players run.
using Hook = void (*)(const std::string& gameFolder);
struct FaultRun {
  std::string faults;
  int exitCode, stopped;
  bool temporaryLeft, temporaryNamed = false;
  std::pair<unsigned long, unsigned long> waited = {0, ~0ul};  // any, unless given
  Hook before = nullptr;
};
struct FaultCase {
  std::string name;
  const char* scenario;  // its game, registry and summary
  std::vector<FaultRun> runs;
  Hook prepare = nullptr, check = nullptr;  // check: after the last run
};

// The German edition's first executable, which the game does not have.
std::string NewExecutable(const std::string& game) {
  return game + "/" + InstalledFiles("ger").at(0).gameFile;
}
void HideLeftoverOfNewExecutable(const std::string& game) {
  ASSERT_EQ(0, setxattr((NewExecutable(game) + ".tmp").c_str(), "user.DOSATTRIB", "0x2", 3, 0));
}
void ExpectNewExecutableWithoutAttributes(const std::string& game) {
  // Asked for its size, an attribute of any length shows.
  EXPECT_GT(0, getxattr(NewExecutable(game).c_str(), "user.DOSATTRIB", nullptr, 0));
}

std::vector<FaultCase> FaultCases() {
  std::vector<FaultCase> cases = {
      // A new file that can be neither moved nor removed stays beside the
      // old one until the next run.
      {"MoveAndCleanUpFail",
       "English",
       {{"MoveFileExA#2=17,DeleteFileA#1=5", 255, 1, true}, {"", 0, 4, false}}},
      // One that the game did not have stays, the only copy, for a later run
      // to move. Another program holds it without sharing reading: it is not
      // removed unread, and the box names it. Held sharing reading and
      // deletion (and made hidden meanwhile), it is read and moved into
      // place, and the new executable has no attributes.
      {"LeftoverOfANewFile",
       "GermanEdition",
       {{"MoveFileExA#1=17", 255, 0, true},
        {"lockedleftover", 255, 0, true, true},
        {"heldleftover", 0, 4, false, false, {}, HideLeftoverOfNewExecutable}},
       nullptr,
       ExpectNewExecutableWithoutAttributes},
      // A stand-in virus scanner holds each new file for a moment, and
      // creating one meets a busy file three times: all are tried again.
      {"BusyForAMoment",
       "English",
       {{"scanner,CreateFileA#1=32,CreateFileA#2=33,CreateFileA#3=5", 0, 4, false}}},
      // No other program can write into a new file while the run makes it.
      {"NoOneWritesIntoANewFile", "English", {{"intruder", 0, 4, false}}},
      // Waiting from 10 ms, twice as long each time, a file busy for 600 ms
      // is still replaced, or put where the game has none yet; one busy for
      // good is given up after exactly 2000 ms of waits (as the test build
      // records them), as it was; a name that stays busy but free is not
      // said to be in the way.
      {"BusyFor600ms",
       "GermanEdition",
       {{"MoveFileExA#1+=32/600", 0, 4, false, false, {600, 1500}}}},
      {"BusyForGood",
       "English",
       {{"MoveFileExA#1+=32", 255, 0, false, false, {2000, 2000}},
        {"CreateFileA#1+=32", 255, 0, false}}},
      // Under Wine deleting a link deletes its target (here a game file): a
      // link under a temporary name stays, and the run ends at its file,
      // named as the box names it. (The Linux program removes the link.)
      {"LinkLeftOver",
       "English",
       {{"", 255, -1, false, true}},
       [](const std::string& game) {
         std::filesystem::create_symlink("Language.cod", game + "/Gravelhorn_d3d.exe.tmp");
       }},
      // A leftover that is not the new file, held by another program, cannot
      // be cleared in time: the box names it.
      {"HeldLeftoverInTheWay",
       "English",
       {{"heldleftover", 255, 0, false, true}, {"", 0, 4, false}},
       [](const std::string& game) {
         WriteFileBytes(game + "/Gravelhorn_d3d.exe.tmp", "left over");
       }},
      // Other bytes where a file the game lacks goes are read, let go of and
      // removed, and the new file is made in their place at once, with no
      // wait (the test build, given a fault that never comes, counts them).
      {"OtherBytesWhereANewFileGoes",
       "GermanEdition",
       {{"CreateFileA#99=5", 0, 4, false, false, {0, 0}}},
       [](const std::string& game) { WriteFileBytes(NewExecutable(game) + ".tmp", "left over"); }}};
  // Each step of putting a file in place (its name, the call, the error or
  // the kill) fails at each of the four files in turn, each run after the
  // run before; the program players run then completes the patch. A run
  // killed after the move has its file in place; one killed before leaves
  // the new bytes under the temporary name.
  std::istringstream steps(
      "CreateFails CreateFileA 112  WriteFails WriteFile 112  FlushFails FlushFileBuffers 1117  "
      "CloseFails CloseHandle 112  MoveFails MoveFileExA 17  KilledBeforeTheMove MoveFileExA kill  "
      "KilledAfterTheMove MoveFileExA killafter");
  for (std::string name, call, what; steps >> name >> call >> what;) {
    const bool killed = what[0] == 'k', after = what == "killafter";
    cases.push_back({name, "English", {}});
    for (int file = 1; file <= 4; ++file)
      cases.back().runs.push_back({call + "#" + std::to_string(file) + "=" + what, killed ? 9 : 255,
                                   file - 1 + after, killed && !after});
    cases.back().runs.push_back({"", after ? 255 : 0, 4, false});
  }
  return cases;
}

// Each fault case is a trace of its own: its runs follow one another on one
// game. Each case is a test, so that the tier's shards share them out.
class WindowsTestBuild : public Tier<FaultCase> {};
TEST_P(WindowsTestBuild, NeverLosesAGameFile) {
  const FaultCase& c = GetParam();
  Scenario s = ScenarioNamed(c.scenario);
  s.prepare = c.prepare;
  const FolderFiles before = LayOut(s);
  const std::string game = session->DriveC() + "/" + s.gameFolder;
  const std::string working = session->DriveC() + "/" + s.workingFolder;
  const std::string waits = working + "/waits.txt";
  for (size_t i = 0; i < c.runs.size(); ++i) {
    const FaultRun& run = c.runs[i];
    SCOPED_TRACE(c.name + ", run " + std::to_string(i + 1) + ": GRAVELHORN_FAULTS=" + run.faults);
    if (run.before != nullptr) run.before(game);
    std::filesystem::remove(waits);
    std::vector<std::string> boxes;  // none for a killed run
    if (run.exitCode == 0) boxes = {s.caption + "|" + s.text};
    if (run.exitCode == 255)
      boxes = {"ERROR|" + (run.stopped == 4 ? kTooOldText
                                            : CannotWriteText(s, std::max(run.stopped, 0)) +
                                                  (run.temporaryNamed ? ".tmp" : ""))};
    ExpectRun(session->Run(run.faults.empty() ? windowsInstaller : windowsTestBuild, working,
                           screenshots + "Faults-" + c.name + "-" + std::to_string(i + 1), {},
                           {"GRAVELHORN_FAULTS=" + run.faults, "GRAVELHORN_WAITS=waits.txt"}),
              run.exitCode, boxes);
    EXPECT_EQ(
        run.stopped < 0 ? before : StoppedGameFiles(s, before, run.stopped, run.temporaryLeft),
        FolderTree(game));
    const unsigned long waited = FileExists(waits) ? std::stoul(ReadFileBytes(waits)) : 0;
    EXPECT_TRUE(run.waited.first <= waited && waited <= run.waited.second)
        << waited << " ms waited";
  }
  SCOPED_TRACE(c.name + ", after its runs");
  if (c.check != nullptr) c.check(game);
}
INSTANTIATE_TEST_SUITE_P(FaultCases, WindowsTestBuild, ::testing::ValuesIn(FaultCases()),
                         [](const auto& info) { return info.param.name; });

// Returns once a test build's run started in working holds at its "hold"
// fault (the file "held" there says so), or has ended.
template <typename Result>
void WaitUntilHeld(const std::string& working, const std::future<Result>& run) {
  while (!FileExists(working + "/held") &&
         run.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
  }
}

// Starts the Windows test build in working with faults, one of which holds
// the run, and returns once it holds, or has ended. With keepOpen, its box
// stays open while that file exists.
std::future<WindowsRun> StartHeld(const std::string& working, const std::string& screenshot,
                                  const std::string& faults, const std::string& keepOpen = "") {
  auto run = std::async(std::launch::async, [=] {
    return session->Run(windowsTestBuild, working, screenshots + screenshot, {},
                        {"GRAVELHORN_FAULTS=" + faults}, keepOpen);
  });
  WaitUntilHeld(working, run);
  return run;
}

// The same for fff.exe's test build, run with arguments on a console.
std::future<CommandResult> StartFffHeld(std::vector<std::string> arguments,
                                        const std::string& working, const std::string& faults) {
  arguments.insert(arguments.begin(), windowsFffFaults);
  auto run = std::async(std::launch::async, [=] {
    return session->RunConsole(arguments, working, false, {"GRAVELHORN_FAULTS=" + faults});
  });
  WaitUntilHeld(working, run);
  return run;
}

// Two fff.exe extracts into one folder take turns: the second says that it
// waits, and runs once the first has ended. The first, fff's test build, is
// held before its first rename for the minute its hold lasts (nothing
// removes "held"), long after the second has started.
TEST_P(OnEnglish, FffExeExtractsIntoOneFolderTakeTurns) {
  TempDir dir;
  dir.Write("a.fff", BuildFffArchive({{"a.txt", "a"}}));
  MakeFolders(dir.path() + "/out");
  const std::vector<std::string> extract = {"extract", "a.fff", "-C", "out"};
  auto first = StartFffHeld(extract, dir.path(), "MoveFileExA#1=hold");
  ExpectFff(extract, dir.path(), 0,
            "fff: a.fff: waiting while another fff extract works in 'out'\r\n");
  const CommandResult firstResult = first.get();
  EXPECT_EQ(0, firstResult.exitCode) << firstResult.err;
  EXPECT_EQ("a", ReadFileBytes(dir.path() + "/out/a.txt"));
}

// fff.exe create looks again at the file it replaces just before its move:
// one that turned into a folder while the new archive was written (the test
// build held before its flush) stays, and the message says why.
TEST_P(OnEnglish, FffExeCreateLooksAgainBeforeItReplaces) {
  TempDir dir;
  dir.Write("x.txt", "x");
  dir.Write("a.fff", "old");
  auto run = StartFffHeld({"create", "a.fff", "x.txt"}, dir.path(), "FlushFileBuffers#1=hold");
  std::filesystem::remove(dir.path() + "/a.fff");
  MakeFolders(dir.path() + "/a.fff");
  std::filesystem::remove(dir.path() + "/held");
  const CommandResult created = run.get();
  EXPECT_EQ(1, created.exitCode);
  EXPECT_TRUE(
      std::regex_match(created.err, std::regex("fff: a\\.fff: cannot rename 'a\\.fff\\.tmp\\d+' "
                                               "into place: it is a folder, not a file\r\n")))
      << created.err;
  EXPECT_EQ((FolderFiles{{"a.fff", kFolderEntry}, {"x.txt", "x"}}), FolderTree(dir.path()));
}

// Two runs on one game at once: the test build, held before its first move
// with that file's new bytes whole under the temporary name, and the
// program players run, started meanwhile. The second waits for the first,
// then finds the patch applied; or, when the first is killed there, takes
// the game and completes the patch. The game is whole and new, and a third
// run finds the patch applied.
TEST_P(OnEnglish, SecondRunWaitsForTheFirst) {
  const Scenario& s = GetParam();
  const std::string working = session->DriveC() + "/" + s.workingFolder;
  // The first run's box stays open until the second has ended: a run lets
  // go of the game before its box, so the second goes on meanwhile.
  const std::string keepOpen = working + "/keep-open";
  // {the first run's faults, its exit code and boxes, the second's}
  const std::tuple<std::string, int, std::vector<std::string>, int, std::string> rows[] = {
      {"MoveFileExA#1=hold", 0, {s.caption + "|" + s.text}, 255, kRefused},
      {"MoveFileExA#1=hold,MoveFileExA#1=kill", 9, {}, 0, s.caption + "|" + s.text}};
  for (const auto& [faults, firstExit, firstBoxes, secondExit, secondBox] : rows) {
    SCOPED_TRACE(faults);
    const FolderFiles before = LayOut(s);
    const std::string name = "TwoRuns-" + std::to_string(firstExit) + "-";
    WriteFileBytes(keepOpen, "");
    auto first = StartHeld(working, name + "1", faults, keepOpen);
    auto second = std::async(std::launch::async, [&] {
      return session->Run(windowsInstaller, working, screenshots + name + "2");
    });
    // Time enough for the second to patch the game, were it not held off.
    second.wait_for(std::chrono::seconds(5));
    std::filesystem::remove(working + "/held");
    ExpectRun(second.get(), secondExit, {secondBox});
    std::filesystem::remove(keepOpen);
    ExpectRun(first.get(), firstExit, firstBoxes);
    ExpectRun(session->Run(windowsInstaller, working, screenshots + name + "3"), 255, {kRefused});
    EXPECT_EQ(StoppedGameFiles(s, before, 4, false),
              FolderTree(session->DriveC() + "/" + s.gameFolder));
  }
}

// The Windows program and the Linux program on one prefix wait for each
// other: each is held before its first rename (the Windows test build by
// its hold, the Linux program stopped by strace after its first flush)
// while the other starts. The second waits, then finds the patch applied;
// where the first is killed instead, the second completes the patch.
TEST_P(OnEnglish, WindowsAndLinuxRunsWaitForEachOther) {
  const Scenario& s = GetParam();
  const std::string working = session->DriveC() + "/" + s.workingFolder;
  const std::string game = session->DriveC() + "/" + s.gameFolder;
  if (RunCommand({"/usr/bin/strace", "-o", "/dev/null", "/bin/true"}, "/").exitCode != 0)
    GTEST_SKIP() << "strace cannot trace here (scripts/setup.sh installs strace)";
  TempDir outputs;
  auto file = [&](const std::string& name) { return outputs.path() + "/" + name; };
  // Waits up to half a minute for text in the file name.
  auto waitFor = [&](const std::string& name, const std::string& text) {
    for (int i = 0; i < 3000; ++i, usleep(10000))
      if (FileExists(file(name)) && ReadFileBytes(file(name)).find(text) != std::string::npos)
        return true;
    return false;
  };
  const std::string waiting = "another run is patching the game in ";

  // The Windows run first, held before its first move.
  std::optional<testing::ScopedTrace> phase;
  phase.emplace(__FILE__, __LINE__, "the Windows run first");
  FolderFiles before = LayOut(s);
  session->EndWineServer();  // which writes the game's key to system.reg
  auto windows = StartHeld(working, "Cross-Windows", "MoveFileExA#1=hold");
  ChildProcess linuxRun({"/usr/bin/env", "patch_installer"}, working, LinuxEnvironment(),
                        file("1.out"), file("1.err"));
  EXPECT_TRUE(waitFor("1.err", waiting)) << ReadFileBytes(file("1.err"));
  std::filesystem::remove(working + "/held");
  ExpectRun(windows.get(), 0, {s.caption + "|" + s.text});
  int exitCode = -1;
  EXPECT_TRUE(linuxRun.WaitForEnd(60, &exitCode));
  EXPECT_EQ(255, exitCode) << ReadFileBytes(file("1.err"));
  EXPECT_NE(std::string::npos, ReadFileBytes(file("1.err")).find(PrintedBox("ERROR", kTooOldText)));
  EXPECT_EQ(StoppedGameFiles(s, before, 4, false), FolderTree(game));

  // A Linux run on a laid out game, stopped by strace after its first
  // flush, and a Windows run started then; and a signal to the stopped
  // process. n names the run's files.
  auto linuxRunStopped = [&](const std::string& n) {
    before = LayOut(s);
    session->EndWineServer();
    // The lock calls and the process's end are traced too, for the
    // failure message of a Windows run that was not held off.
    return std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/bin/strace", "-f", "-o", file("trace" + n), "-e",
                                 "trace=fsync,flock,fcntl,%process", "-e",
                                 "inject=fsync:signal=STOP:when=1", "/usr/bin/env",
                                 "patch_installer"},
        working, LinuxEnvironment(), file(n + ".out"), file(n + ".err"));
  };
  auto windowsRunBeside = [&](const std::string& n, const std::string& screenshot) {
    EXPECT_TRUE(waitFor("trace" + n, "stopped by SIGSTOP")) << ReadFileBytes(file(n + ".err"));
    auto run = std::async(std::launch::async, [&, screenshot] {
      return session->Run(windowsInstaller, working, screenshots + screenshot);
    });
    // Time enough for the Windows run to patch the game, were it not held off.
    EXPECT_EQ(std::future_status::timeout, run.wait_for(std::chrono::seconds(5)))
        << "the Linux run's trace:\n"
        << ReadFileBytes(file("trace" + n)) << "its standard error:\n"
        << ReadFileBytes(file(n + ".err"));
    return run;
  };
  auto signalStopped = [&](const std::string& n, int signal) {
    std::istringstream trace(ReadFileBytes(file("trace" + n)));
    for (std::string line; std::getline(trace, line);)
      if (line.find("stopped by SIGSTOP") != std::string::npos) kill(std::stoi(line), signal);
  };

  // The Linux run first, stopped after its first flush.
  phase.emplace(__FILE__, __LINE__, "the Linux run first");
  const auto stopped = linuxRunStopped("2");
  auto second = windowsRunBeside("2", "Cross-Linux");
  signalStopped("2", SIGCONT);
  EXPECT_TRUE(stopped->WaitForEnd(60, &exitCode));
  EXPECT_EQ(0, exitCode) << ReadFileBytes(file("2.err"));
  ExpectRun(second.get(), 255, {kRefused});
  EXPECT_EQ(StoppedGameFiles(s, before, 4, false), FolderTree(game));

  phase.emplace(__FILE__, __LINE__, "the Linux run killed");
  // The Linux run first again, killed where it was stopped: the Windows
  // run that waited completes the patch, the killed run's new file
  // cleared or put in place.
  const auto killed = linuxRunStopped("3");
  auto third = windowsRunBeside("3", "Cross-Killed");
  signalStopped("3", SIGKILL);
  killed->Kill();
  ExpectRun(third.get(), 0, {s.caption + "|" + s.text});
  EXPECT_EQ(StoppedGameFiles(s, before, 4, false), FolderTree(game));
}

// A run that holds the game far longer than a run takes (the test build,
// held before its first move) holds off the next for a minute at most: the
// Windows program and the Linux program, started beside each other, each
// end with the box for the first file they would replace, and change
// nothing.
TEST_P(OnEnglish, ARunHeldForAMinuteIsGivenUpOn) {
  const Scenario& s = GetParam();
  const std::string working = session->DriveC() + "/" + s.workingFolder;
  const FolderFiles before = LayOut(s);
  session->EndWineServer();  // which writes the game's key to system.reg
  auto first = StartHeld(working, "Held-1", "MoveFileExA#1=hold");
  auto second = std::async(std::launch::async, [&] {
    return session->Run(windowsInstaller, working, screenshots + "Held-2");
  });
  TempDir outputs;
  ChildProcess linuxRun({"/usr/bin/env", "patch_installer"}, working, LinuxEnvironment(),
                        outputs.path() + "/out", outputs.path() + "/err");
  int exitCode = -1;
  EXPECT_TRUE(linuxRun.WaitForEnd(120, &exitCode));
  EXPECT_EQ(255, exitCode);
  const std::string err = ReadFileBytes(outputs.path() + "/err");
  EXPECT_NE(std::string::npos, err.find(PrintedBox("ERROR", CannotWriteText(s, 0)))) << err;
  EXPECT_NE(std::string::npos, err.find("another run has held the game for 60 seconds")) << err;
  ExpectRun(second.get(), 255, {"ERROR|" + CannotWriteText(s, 0)});
  EXPECT_EQ(StoppedGameFiles(s, before, 0, true),
            FolderTree(session->DriveC() + "/" + s.gameFolder));
  std::filesystem::remove(working + "/held");
  ExpectRun(first.get(), 0, {s.caption + "|" + s.text});
}

// A run lets go of the game before its box: while one run's summary is
// left open, a second run shows its own box.
TEST_P(OnEnglish, ABoxLeftOpenHoldsUpNoOtherRun) {
  const Scenario& s = GetParam();
  const std::string working = session->DriveC() + "/" + s.workingFolder;
  const std::string game = session->DriveC() + "/" + s.gameFolder;
  const FolderFiles before = LayOut(s);
  const std::string keepOpen = working + "/keep-open";
  WriteFileBytes(keepOpen, "");
  auto first = std::async(std::launch::async, [&] {
    return session->Run(windowsInstaller, working, screenshots + "Open-1", {}, {}, keepOpen);
  });
  // The first run's box is up once every file is in place.
  for (int i = 0; i < 600 && FolderTree(game) != StoppedGameFiles(s, before, 4, false); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ExpectRun(session->Run(windowsInstaller, working, screenshots + "Open-2"), 255, {kRefused});
  std::filesystem::remove(keepOpen);
  ExpectRun(first.get(), 0, {s.caption + "|" + s.text});
}

// A run moves into place only the file it wrote: while the test build
// holds its first new file open, another program puts a file of its own
// under that file's name. The run leaves it alone and ends with the box
// for that game file, which stays as it was.
TEST_P(OnEnglish, MovesOnlyTheFileItWrote) {
  const Scenario& s = GetParam();
  const std::string working = session->DriveC() + "/" + s.workingFolder;
  const std::string game = session->DriveC() + "/" + s.gameFolder;
  const FolderFiles before = LayOut(s);
  auto run = StartHeld(working, "Swapped", "CloseHandle#1=hold");
  TempDir other;
  WriteFileBytes(other.path() + "/planted", "planted");
  std::filesystem::rename(other.path() + "/planted", game + "/Gravelhorn_d3d.exe.tmp");
  std::filesystem::remove(working + "/held");
  ExpectRun(run.get(), 255, {"ERROR|" + CannotWriteText(s, 0)});
  FolderFiles expected = before;
  expected["Gravelhorn_d3d.exe.tmp"] = "planted";
  EXPECT_EQ(expected, FolderTree(game));
}

}  // namespace
