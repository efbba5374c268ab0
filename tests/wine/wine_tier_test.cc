// The Windows program players run, build/win64/patch_installer.exe, under
// Wine with the real registry and real message boxes, on the scenarios
// marked for it. Every run is repeated with the Linux program on the same
// prefix, registry and game, and the two must agree: exit code, box text
// after code-page conversion, and every byte written.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <optional>
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

INSTANTIATE_TEST_SUITE_P(Scenarios, WindowsProgram, ::testing::ValuesIn(WindowsScenarios()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
