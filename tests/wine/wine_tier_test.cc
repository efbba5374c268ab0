// The Windows program players run, build/win64/patch_installer.exe, under
// Wine with the real registry and real message boxes, on the scenarios
// marked for it. Every run is repeated with the Linux program on the same
// prefix, registry and game, and the two must agree: exit code, box text
// after code-page conversion, and every byte written.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <tuple>

#include "tests/scenarios.h"
#include "tests/wine/wine_session.h"

namespace {

std::string FromEnvironment(const char* variable, const char* fallback) {
  const char* value = getenv(variable);
  return value != nullptr && *value != '\0' ? value : fallback;
}

// The tier's folder and the two programs: the build's, unless the
// environment names others.
std::string TierFolder() { return FromEnvironment("WINE_TIER_DIR", WINE_TIER_DIR); }
std::string WindowsInstaller() {
  return FromEnvironment("WINDOWS_PATCH_INSTALLER", WINDOWS_PATCH_INSTALLER);
}
std::string LinuxInstaller() { return FromEnvironment("PATCH_INSTALLER", LINUX_PATCH_INSTALLER); }
std::string WindowsFff() { return FromEnvironment("WINDOWS_FFF", WINDOWS_FFF); }
// The Windows test build: file replacement's calls fail or end the run
// where GRAVELHORN_FAULTS says (injected_faults_win32.cc).
std::string WindowsTestBuildProgram() {
  return FromEnvironment("WINDOWS_TEST_BUILD", WINDOWS_TEST_BUILD);
}

// One prefix and one display for the whole run.
std::string skipReason, setUpError;
std::unique_ptr<WineSession> session;

class WineTier : public ::testing::Environment {
 public:
  void SetUp() override {
    WineTools tools;
    const std::string missingTools = FindWineTools(&tools);
    if (!missingTools.empty()) {
      skipReason = missingTools +
                   " not found (scripts/setup.sh installs wine64, xvfb, xdotool and imagemagick)";
      return;
    }
    if (!FileExists(WindowsInstaller())) {
      skipReason = WindowsInstaller() + " is not built (scripts/build.sh win64 builds it)";
      return;
    }
    try {
      session.reset(new WineSession(tools, TierFolder() + "/run-" + std::to_string(getpid())));
    } catch (const std::exception& error) {
      setUpError = error.what();
    }
  }
  void TearDown() override { session.reset(); }
};
::testing::Environment* const wineTier = ::testing::AddGlobalTestEnvironment(new WineTier);

std::vector<Scenario> WindowsScenarios() {
  std::vector<Scenario> rows;
  for (const Scenario& scenario : Scenarios())
    if (scenario.onWindows) rows.push_back(scenario);
  return rows;
}

class WindowsProgram : public ::testing::TestWithParam<Scenario> {
 protected:
  void SetUp() override {
    if (!skipReason.empty()) GTEST_SKIP() << "Wine tier skipped: " << skipReason;
    ASSERT_EQ("", setUpError) << "the Wine tier could not be set up";
    MakeFolders(TierFolder() + "/screenshots");
  }

  std::string Game() const { return session->DriveC() + "/" + GetParam().gameFolder; }

  // Runs the Windows program, then the Linux program on the same prefix
  // from the same game, expects one box and the files, and both to agree.
  void RunBoth(const std::string& shot, int exitCode, const std::string& caption,
               const std::string& text, const FolderFiles& game, bool layOutAgain,
               const std::optional<std::string>& hints) {
    const Scenario& s = GetParam();
    const std::string working = session->DriveC() + "/" + s.workingFolder;
    const FolderFiles before = FolderTree(Game());
    WindowsRun windows =
        session->Run(WindowsInstaller(), working, TierFolder() + "/screenshots/" + shot);
    EXPECT_EQ(exitCode, windows.exitCode);
    ASSERT_EQ(1u, windows.boxes.size());
    EXPECT_EQ(caption, windows.boxes[0].caption);
    EXPECT_EQ(text, windows.boxes[0].text);
    const FolderFiles windowsFiles = FolderTree(Game());
    EXPECT_EQ(game, windowsFiles);
    if (s.check != nullptr) s.check(Game());

    if (layOutAgain)
      LayOutScenario(s, session->DriveC());  // with its file modes
    else
      RestoreFolderFiles(Game(), before);
    session->EndWineServer();  // which writes system.reg
    const CommandResult linux =
        RunCommand({LinuxInstaller()}, working,
                   {"WINEPREFIX=" + session->prefix(), "LC_ALL=C.UTF-8",
                    "HOME=" + session->Home(), "XDG_DATA_HOME"});
    SCOPED_TRACE("the Linux program's exit code, box and hints");
    ExpectPrinted(linux, windows.exitCode,
                  PrintedBox(windows.boxes[0].caption, windows.boxes[0].text), hints,
                  session->prefix(), session->Home());
    EXPECT_EQ(windowsFiles, FolderTree(Game())) << "the files the Linux program wrote";
    if (s.check != nullptr) s.check(Game());
  }
};

TEST_P(WindowsProgram, AgreesWithTheLinuxProgram) {
  const Scenario& s = GetParam();
  const FolderFiles before = LayOutScenario(s, session->DriveC());
  if (s.key == Key::kMissing) session->DeleteGameKey();
  if (s.key == Key::kOnlySubkey) session->SetGameKey({}, "Options");
  if (s.key == Key::kValues)
    session->SetGameKey({{"Installpath", s.installPath}, {"Language", s.language}});
  if (s.key == Key::kNoInstallpath) session->SetGameKey({{"Language", s.language}});
  const FolderFiles expected = ExpectedGameFiles(s, before);
  RunBoth(s.name, s.exitCode, s.caption, s.text, expected, true, s.hints);
  if (s.again == Again::kRefused)
    RunBoth(std::string(s.name) + "-again", 255, "ERROR", kTooOldText, expected, false,
            std::nullopt);
}

// A DLL saved beside both programs in Downloads, named like uxtheme.dll,
// which Wine's boxes load on demand, with the override that makes Wine
// prefer it to its own: neither program ever loads it, in a whole run to
// the summary, in a run to an error box, or for --help. fff.exe loads no
// DLL on demand there, so for it Wine's relay trace shows the restriction
// itself. The same installer with its restriction turned off loads it.
class PlantedDll : public WindowsProgram {};

TEST_P(PlantedDll, IsNeverLoaded) {
  if (std::string(PLANTED_DLL).empty()) GTEST_SKIP() << "no mingw-w64 to build the planted DLL";
  const std::string downloads = session->DriveC() + "/Downloads";
  RestoreFolderFiles(downloads, {{"patch_installer.exe", ReadFileBytes(WindowsInstaller())},
                                 {"fff.exe", ReadFileBytes(WindowsFff())},
                                 {"uxtheme.dll", ReadFileBytes(PLANTED_DLL)}});
  // Turned off: the name the installer looks up is changed, so that only
  // the fallback runs, which leaves the program's own folder in the search.
  std::string unrestricted = ReadFileBytes(WindowsInstaller());
  const size_t name = unrestricted.find("SetDefaultDllDirectories");
  ASSERT_NE(std::string::npos, name);
  unrestricted[name + 23] = 'Z';
  WriteFileBytes(downloads + "/unrestricted.exe", unrestricted);

  const Scenario& english = GetParam();
  LayOutScenario(english, session->DriveC());
  session->SetGameKey({{"Installpath", english.installPath}, {"Language", english.language}});
  const WineRunOptions help = {{"--help"}, "uxtheme=n,b", "+relay", {}};
  const WineRunOptions box = {{}, "uxtheme=n,b", "", {}};
  // {program, options, exit code, box texts, loads the DLL}; the second run
  // of the installer is refused, the game being v1.2.
  const std::tuple<const char*, WineRunOptions, int, std::vector<std::string>, bool> rows[] = {
      {"patch_installer.exe", box, 0, {english.text}, false},
      {"patch_installer.exe", box, 255, {kTooOldText}, false},
      {"fff.exe", help, 0, {}, false},
      {"unrestricted.exe", box, 255, {kTooOldText}, true}};
  int shot = 0;
  for (const auto& [program, options, exitCode, texts, loads] : rows) {
    SCOPED_TRACE(program);
    std::filesystem::remove(downloads + "/uxtheme.dll.loaded");
    const WindowsRun run =
        session->Run(downloads + "/" + program, session->DriveC() + "/Patch",
                     TierFolder() + "/screenshots/PlantedDll-" + std::to_string(++shot), options);
    EXPECT_EQ(exitCode, run.exitCode);
    std::vector<std::string> shown;
    for (const WindowsBox& shownBox : run.boxes) shown.push_back(shownBox.text);
    EXPECT_EQ(texts, shown);
    EXPECT_EQ(loads, FileExists(downloads + "/uxtheme.dll.loaded"));
    if (!options.debugChannels.empty()) {
      EXPECT_NE(std::string::npos,
                run.wineOutput.find("Call KERNEL32.SetDefaultDllDirectories(00000800)"));
    }
  }
  std::filesystem::remove_all(downloads);
}

// The archive tool's Windows build, fff.exe, in the same prefix: names
// Windows takes for one, and devices, are refused before anything is
// written; a fifo is refused at once; and a console shows every letter.
// Text redirected to a file is in the ANSI code page, 1252 here.
TEST(FffExe, RefusesWhatWindowsCannotWriteBeforeWritingAnything) {
  if (!skipReason.empty()) GTEST_SKIP() << "Wine tier skipped: " << skipReason;
  ASSERT_EQ("", setUpError) << "the Wine tier could not be set up";
  if (!FileExists(WindowsFff())) GTEST_SKIP() << WindowsFff() << " is not built";
  const std::string device =
      "' is a device on Windows (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0 to COM9 and LPT0 to "
      "LPT9, also with a superscript 1, 2 or 3), not a file\r\n";
  const struct {
    std::vector<ArchiveMember> members;
    std::string err;
  } rows[] = {
      {{{"a.txt", "a"}, {"\xC9.txt", "1"}, {"\xE9.txt", "2"}},
       "fff: a.fff: refusing entry 3 '\xE9.txt': it would land on the same file as entry 2 "
       "'\xC9.txt'\r\n"},
      {{{"a.txt", "a"}, {"COM\xB9", "c"}}, "fff: a.fff: refusing entry 2 'COM\xB9': 'COM\xB9" + device},
      {{{"a.txt", "a"}, {"d/CONOUT$", "c"}},
       "fff: a.fff: refusing entry 2 'd/CONOUT$': 'CONOUT$" + device}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.err);
    TempDir dir;
    const std::string archive = BuildFffArchive(row.members);
    dir.Write("a.fff", archive);
    const CommandResult result =
        session->RunConsole({WindowsFff(), "extract", "a.fff", "-C", "out"}, dir.path());
    EXPECT_EQ(1, result.exitCode);
    EXPECT_EQ(row.err, result.err);
    EXPECT_EQ((FolderFiles{{"a.fff", archive}}), FolderTree(dir.path()));
  }
  TempDir dir;
  ASSERT_EQ(0, mkfifo((dir.path() + "/fifo").c_str(), 0666));
  const CommandResult fifo = session->RunConsole({WindowsFff(), "list", "fifo"}, dir.path());
  EXPECT_EQ(1, fifo.exitCode);
  EXPECT_EQ("fff: fifo: cannot read the archive: it is a pipe, not a file\r\n", fifo.err);
  // On a console the letter comes out as itself; as bytes the console
  // would read it in its OEM code page. What Windows can write, it writes.
  dir.Write("m.fff", BuildFffArchive({{"Men\xFC.txt", "u"}, {"d/x", "x"}}));
  const CommandResult console =
      session->RunConsole({WindowsFff(), "list", "m.fff"}, dir.path(), true);
  EXPECT_EQ(0, console.exitCode);
  EXPECT_NE(std::string::npos, console.out.find("Men\xC3\xBC.txt")) << console.out;
  EXPECT_EQ(0, session->RunConsole({WindowsFff(), "extract", "m.fff", "-C", "out"}, dir.path())
                   .exitCode);
  EXPECT_EQ((FolderFiles{{"Menü.txt", "u"}, {"d", kFolderEntry}, {"d/x", "x"}}),
            FolderTree(dir.path() + "/out"));
}

INSTANTIATE_TEST_SUITE_P(Scenarios, WindowsProgram, ::testing::ValuesIn(WindowsScenarios()),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Scenarios, PlantedDll, ::testing::ValuesIn([] {
                           std::vector<Scenario> english;
                           for (const Scenario& row : Scenarios())
                             if (std::string(row.name) == "English") english.push_back(row);
                           return english;
                         }()),
                         [](const auto& info) { return std::string(info.param.name); });


// The Windows test build, run one fault list after another on one game:
// exit code 9 is a killed run, which shows no box. stopped is the game file
// the run stopped at (4: after all four; -1: the game folder stays as it
// was), temporaryLeft whether that file's new bytes stay under its
// temporary name. "" runs the program players run.
struct FaultRun {
  std::string faults;
  int exitCode;
  int stopped;
  bool temporaryLeft;
};
struct FaultCase {
  std::string name;
  const char* scenario;  // its game, registry and summary
  std::vector<FaultRun> runs;
  void (*prepare)(const std::string& gameFolder) = nullptr;
};

std::vector<FaultCase> FaultCases() {
  // Each step of putting a file in place fails at each of the four files in
  // turn (%d: 1 to 4), each run after the run before; the program players
  // run then completes the patch.
  struct Step {
    const char* name;
    const char* fault;
    int exitCode;
    int past;  // 1 when the file is in place before the run ends
    bool temporaryLeft;
  };
  const Step steps[] = {
      {"CreateFails", "CreateFileA#%d=112", 255, 0, false},
      {"WriteFails", "WriteFile#%d=112", 255, 0, false},
      {"FlushFails", "FlushFileBuffers#%d=1117", 255, 0, false},
      {"CloseFails", "CloseHandle#%d=112", 255, 0, false},
      {"MoveFails", "MoveFileExA#%d=17", 255, 0, false},
      {"KilledBeforeTheMove", "MoveFileExA#%d=kill", 9, 0, true},
      {"KilledAfterTheMove", "MoveFileExA#%d=killafter", 9, 1, false},
  };
  std::vector<FaultCase> cases;
  for (const Step& step : steps) {
    FaultCase steps{step.name, "English", {}};
    for (int file = 1; file <= 4; ++file) {
      char faults[64];
      snprintf(faults, sizeof faults, step.fault, file);
      steps.runs.push_back({faults, step.exitCode, file - 1 + step.past, step.temporaryLeft});
    }
    steps.runs.push_back({"", steps.runs.back().stopped == 4 ? 255 : 0, 4, false});
    cases.push_back(steps);
  }
  // A new file that can be neither moved nor removed stays beside the old
  // one until the next run; one that the game did not have stays, the only
  // copy, for the next run to move.
  cases.push_back({"MoveAndCleanUpFail", "English",
                   {{"MoveFileExA#2=17,DeleteFileA#1=5", 255, 1, true}, {"", 0, 4, false}}});
  cases.push_back({"NewFileNotMoved", "GermanEdition",
                   {{"MoveFileExA#1=17", 255, 0, true}, {"", 0, 4, false}}});
  // A stand-in virus scanner holds each new file for a moment, and creating
  // one meets a busy file three times: all are tried again. A file busy
  // for longer than two seconds ends the run, as it was.
  cases.push_back({"BusyForAMoment", "English",
                   {{"scanner,CreateFileA#1=32,CreateFileA#2=33,CreateFileA#3=5", 0, 4, false}}});
  cases.push_back({"BusyForGood", "English", {{"MoveFileExA#1+=32", 255, 0, false}}});
  // Under Wine deleting a link deletes its target (here a game file): a
  // link under a temporary name stays, and the run ends at its file. (The
  // Linux program removes the link itself.)
  cases.push_back({"LinkLeftOver", "English", {{"", 255, -1, false}}, [](const std::string& game) {
                     std::filesystem::create_symlink("Language.cod", game + "/Gravelhorn_d3d.exe.tmp");
                   }});
  return cases;
}

// Run on the English row only, for the tier's set-up; each case is a trace.
class WindowsTestBuild : public WindowsProgram {};

TEST_P(WindowsTestBuild, NeverLosesAGameFile) {
  for (const FaultCase& c : FaultCases()) {
    Scenario s = ScenarioNamed(c.scenario);
    s.prepare = c.prepare;
    const FolderFiles before = LayOutScenario(s, session->DriveC());
    session->SetGameKey({{"Installpath", s.installPath}, {"Language", s.language}});
    for (size_t i = 0; i < c.runs.size(); ++i) {
      const FaultRun& run = c.runs[i];
      SCOPED_TRACE(c.name + ", run " + std::to_string(i + 1) + ": GRAVELHORN_FAULTS=" + run.faults);
      const WindowsRun windows = session->Run(
          run.faults.empty() ? WindowsInstaller() : WindowsTestBuildProgram(),
          session->DriveC() + "/" + s.workingFolder,
          TierFolder() + "/screenshots/Faults-" + c.name + "-" + std::to_string(i + 1),
          {{}, "", "", {"GRAVELHORN_FAULTS=" + run.faults}});
      EXPECT_EQ(run.exitCode, windows.exitCode);
      std::vector<std::string> boxes, expected;
      for (const WindowsBox& box : windows.boxes) boxes.push_back(box.caption + "|" + box.text);
      if (run.exitCode == 0) expected = {s.caption + "|" + s.text};
      if (run.exitCode == 255)
        expected = {"ERROR|" + (run.stopped == 4 ? kTooOldText
                                                 : CannotWriteText(s, std::max(run.stopped, 0)))};
      EXPECT_EQ(expected, boxes);
      EXPECT_EQ(run.stopped < 0 ? before : StoppedGameFiles(s, before, run.stopped, run.temporaryLeft),
                FolderTree(session->DriveC() + "/" + s.gameFolder));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, WindowsTestBuild,
                         ::testing::Values(ScenarioNamed("English")),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
