// The Windows program players run, build/win64/patch_installer.exe, under
// Wine with the real registry and real message boxes, on the scenarios
// marked for it. Every run is repeated with the Linux program on the same
// prefix, registry and game, and the two must agree: exit code, box text
// after code-page conversion, and every byte written.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

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

// One prefix and one display for the whole run.
std::string missingTools, setUpError;
std::unique_ptr<WineSession> session;

class WineTier : public ::testing::Environment {
 public:
  void SetUp() override {
    WineTools tools;
    missingTools = FindWineTools(&tools);
    if (!missingTools.empty()) return;
    if (!FileExists(WindowsInstaller())) {
      setUpError = WindowsInstaller() + " is missing: build the win64 preset first";
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
    if (!missingTools.empty())
      GTEST_SKIP() << "Wine tier skipped: " << missingTools
                   << " not found (scripts/setup.sh installs wine64, xvfb, xdotool and "
                      "imagemagick)";
    ASSERT_EQ("", setUpError) << "the Wine tier could not be set up";
    MakeFolders(TierFolder() + "/screenshots");
  }

  std::string Game() const { return session->DriveC() + "/" + GetParam().gameFolder; }

  // Runs the Windows program, then the Linux program on the same prefix
  // from the same game, expects one box and the files, and both to agree.
  void RunBoth(const std::string& shot, int exitCode, const std::string& caption,
               const std::string& text, const FolderFiles& game, bool layOutAgain) {
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

    if (layOutAgain)
      LayOutScenario(s, session->DriveC());  // with its file modes
    else
      RestoreFolderFiles(Game(), before);
    session->EndWineServer();  // which writes system.reg
    const CommandResult linux = RunCommand({LinuxInstaller()}, working,
                                           {"WINEPREFIX=" + session->prefix(), "LC_ALL=C.UTF-8"});
    EXPECT_EQ(windows.exitCode, linux.exitCode) << "the Linux program's exit code";
    const std::string printed = PrintedBox(windows.boxes[0].caption, windows.boxes[0].text);
    EXPECT_EQ(printed, windows.exitCode == 0 ? linux.out : linux.err) << "the Linux program's box";
    EXPECT_EQ(windowsFiles, FolderTree(Game())) << "the files the Linux program wrote";
  }
};

TEST_P(WindowsProgram, AgreesWithTheLinuxProgram) {
  const Scenario& s = GetParam();
  const FolderFiles before = LayOutScenario(s, session->DriveC());
  if (s.key == Key::kMissing) session->DeleteGameKey();
  if (s.key == Key::kOnlySubkey) session->SetGameKey({}, "Options");
  if (s.key == Key::kValues)
    session->SetGameKey({{"Installpath", s.installPath}, {"Language", s.language}});
  const FolderFiles expected = ExpectedGameFiles(s, before);
  RunBoth(s.name, s.exitCode, s.caption, s.text, expected, true);
  if (s.again == Again::kRefused)
    RunBoth(std::string(s.name) + "-again", 255, "ERROR", kTooOldText, expected, false);
}

// The archive tool's Windows build, fff.exe, in the same prefix: names
// Windows takes for one, and devices, are refused before anything is
// written; a fifo is refused at once; and a console shows every letter.
// Text redirected to a file is in the ANSI code page, 1252 here.
TEST(FffExe, RefusesWhatWindowsCannotWriteBeforeWritingAnything) {
  if (!missingTools.empty()) GTEST_SKIP() << "Wine tier skipped: " << missingTools << " not found";
  ASSERT_EQ("", setUpError) << "the Wine tier could not be set up";
  ASSERT_TRUE(FileExists(WindowsFff())) << WindowsFff() << " is missing: build the win64 preset";
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

}  // namespace
