// The Windows program players run, build/win64/patch_installer.exe, under
// Wine with the real registry and real message boxes, in the scenarios of
// the Linux end-to-end tests. Every run is repeated with the Linux program
// on the same prefix, registry and game, and the two must agree: exit code,
// box text after code-page conversion, and every byte written.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "platform/code_page.h"
#include "tests/test_support.h"
#include "tests/sample_game.h"
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
std::string LinuxInstaller() {
  return FromEnvironment("PATCH_INSTALLER", LINUX_PATCH_INSTALLER);
}

// One prefix and one display for the whole run, made before the first
// scenario and removed after the last.
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
      session.reset(new WineSession(
          tools, TierFolder() + "/run-" + std::to_string(getpid())));
    } catch (const std::exception& error) {
      setUpError = error.what();
    }
  }
  void TearDown() override { session.reset(); }

  static std::string missingTools;
  static std::string setUpError;
  static std::unique_ptr<WineSession> session;
};

std::string WineTier::missingTools;
std::string WineTier::setUpError;
std::unique_ptr<WineSession> WineTier::session;

::testing::Environment* const wineTier =
    ::testing::AddGlobalTestEnvironment(new WineTier);

// What the Linux program prints for these boxes: caption, newline, text and
// a newline unless the text ends in one, in UTF-8 from the ANSI code page.
std::string AsLinuxPrints(const std::vector<WindowsBox>& boxes) {
  std::string printed;
  for (const WindowsBox& box : boxes) {
    printed += NarrowToHost(box.caption) + "\n" + NarrowToHost(box.text);
    if (printed.back() != '\n') printed += '\n';
  }
  return printed;
}

class WindowsProgramUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!WineTier::missingTools.empty())
      GTEST_SKIP() << "Wine tier skipped: " << WineTier::missingTools
                   << " not found (scripts/setup.sh installs wine64, xvfb, "
                      "xdotool and imagemagick)";
    ASSERT_EQ("", WineTier::setUpError) << "the Wine tier could not be set up";
    session_ = WineTier::session.get();
    gameFolder_ = session_->DriveC() + "/Games/GHR";
    patchFolder_ = session_->DriveC() + "/Patch";
    elsewhere_ = session_->DriveC() + "/Elsewhere";
    std::filesystem::remove_all(session_->DriveC() + "/Games");
    RestoreFolderFiles(elsewhere_, {});
    LayOutSampleGame(gameFolder_, patchFolder_);
    original_ = FolderTree(gameFolder_);
    MakeFolders(TierFolder() + "/screenshots");
  }

  void SetGameKey(const std::string& installPath, const std::string& language) {
    session_->SetGameKey({{"Installpath", installPath}, {"Language", language}});
  }

  // Runs the Windows program, then the Linux program over the same game and
  // registry, checks that they agree and returns the Windows run; the files
  // the Windows program left are in windowsFiles_.
  WindowsRun Run(const std::string& workingDirectory) {
    const FolderFiles before = FolderTree(gameFolder_);
    const std::map<std::string, mode_t> modes = FileModes();
    ++runs_;
    const std::string screenshot =
        TierFolder() + "/screenshots/" +
        ::testing::UnitTest::GetInstance()->current_test_info()->name() +
        (runs_ > 1 ? "-run" + std::to_string(runs_) : "");
    WindowsRun windows = session_->Run(WindowsInstaller(), workingDirectory, screenshot);
    windowsFiles_ = FolderTree(gameFolder_);

    RestoreFolderFiles(gameFolder_, before);
    for (const auto& mode : modes) chmod((gameFolder_ + "/" + mode.first).c_str(), mode.second);
    session_->EndWineServer();
    CommandResult linux = RunCommand({LinuxInstaller()}, workingDirectory,
                                     {"WINEPREFIX=" + session_->prefix(), "LC_ALL=C.UTF-8"});
    EXPECT_EQ(windows.exitCode, linux.exitCode) << "the Linux program's exit code";
    const std::string& boxStream = windows.exitCode == 0 ? linux.out : linux.err;
    const std::string& otherStream = windows.exitCode == 0 ? linux.err : linux.out;
    EXPECT_EQ(AsLinuxPrints(windows.boxes), boxStream)
        << "the Linux program's box";
    EXPECT_EQ("", otherStream) << "the Linux program's other stream";
    EXPECT_EQ(windowsFiles_, FolderTree(gameFolder_))
        << "the files the Linux program wrote";
    return windows;
  }

  // Each file's permissions, which a read-only file keeps between the runs.
  std::map<std::string, mode_t> FileModes() const {
    std::map<std::string, mode_t> modes;
    struct stat info;
    for (const auto& file : FolderTree(gameFolder_))
      if (stat((gameFolder_ + "/" + file.first).c_str(), &info) == 0)
        modes[file.first] = info.st_mode & 07777;
    return modes;
  }

  static void ExpectOneBox(const WindowsRun& run, const std::string& caption,
                           const std::string& text) {
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(caption, run.boxes[0].caption);
    EXPECT_EQ(text, run.boxes[0].text);
  }

  WineSession* session_ = nullptr;
  std::string gameFolder_;
  std::string patchFolder_;
  std::string elsewhere_;
  FolderFiles original_;
  FolderFiles windowsFiles_;
  int runs_ = 0;
};

TEST_F(WindowsProgramUnderWine, EnglishInstallsTheInternationalEdition) {
  SetGameKey("C:\\Games\\GHR", "eng");
  WindowsRun run = Run(patchFolder_);
  EXPECT_EQ(0, run.exitCode);
  ExpectOneBox(run, "Gravelhorn Patch Installer",
               " Path:\t C:\\Games\\GHR\\ \n"
               " Base version:\t v1.1 (eng)\n"
               " Upgraded version:\t Gravelhorn v1.2 (eng)\n"
               "\n"
               " Installed.\n");
  EXPECT_EQ(SampleInstalled(original_, "Gravelhorn", "eng"), windowsFiles_);

  // A second run over the patched game is refused: it reads v1.2 now.
  WindowsRun again = Run(patchFolder_);
  EXPECT_EQ(255, again.exitCode);
  ExpectOneBox(again, "ERROR",
               "This patch is older than your current version of Gravelhorn!");
  EXPECT_EQ(SampleInstalled(original_, "Gravelhorn", "eng"), windowsFiles_);
}

TEST_F(WindowsProgramUnderWine, HungarianTextsAreCodePage1250Bytes) {
  SetGameKey("C:\\Games\\GHR", "hun");
  WindowsRun run = Run(patchFolder_);
  EXPECT_EQ(0, run.exitCode);
  ExpectOneBox(run, "Gravelhorn Patch Instal\xE1l\xF3 program",
               " \xDAtvonal:\t C:\\Games\\GHR\\ \n"
               " Alap verzi\xF3:\t v1.1 (hun)\n"
               " Friss\xEDtett verzi\xF3:\t Gravelhorn v1.2 (hun)\n"
               "\n"
               " Intalal\xE1s befejezve.\n");
  EXPECT_EQ(SampleInstalled(original_, "Gravelhorn", "hun"), windowsFiles_);
}

TEST_F(WindowsProgramUnderWine, GerInstallsTheGermanEditionWithTheFixedSummary) {
  SetGameKey("C:\\Games\\GHR", "ger");
  WindowsRun run = Run(patchFolder_);
  EXPECT_EQ(0, run.exitCode);
  ExpectOneBox(run, "KIESELFUCHS-Patch-Installation",
               " Path:\t\tC:\\Games\\GHR\\ \n"
               " Basic version:\tv1.1 (ger)\n"
               " Upgraded version:\tKieselfuchs v1.2 (ger)\n"
               "\n"
               " Installed.\n");
  EXPECT_EQ(SampleInstalled(original_, "Kieselfuchs", "ger"), windowsFiles_);
}

TEST_F(WindowsProgramUnderWine, UpperCaseGerSpeaksGermanButInstallsTheInternationalEdition) {
  SetGameKey("C:\\Games\\GHR", "GER");
  WindowsRun run = Run(patchFolder_);
  EXPECT_EQ(0, run.exitCode);
  ExpectOneBox(run, "KIESELFUCHS-Patch-Installation",
               " Pfad:\t C:\\Games\\GHR\\ \n"
               " Basis-Version:\t v1.1 (GER)\n"
               " Aktualisierte Version:\t Gravelhorn v1.2 (GER)\n"
               "\n"
               " installiert.\n");
  // \Patch_GER.cod finds the member Patch_ger.cod.
  EXPECT_EQ(SampleInstalled(original_, "Gravelhorn", "ger"), windowsFiles_);
}

TEST_F(WindowsProgramUnderWine, GermanWithoutItsLanguagePatchStopsAfterTheExecutables) {
  SetGameKey("C:\\Games\\GHR", "german");
  WindowsRun run = Run(patchFolder_);
  EXPECT_EQ(255, run.exitCode);
  ExpectOneBox(run, "ERROR", "File not found: \\Patch_german.cod");
  FolderFiles expected = SampleInstalled(original_, "Kieselfuchs", "");
  expected["Patch12.cod"] = original_["Patch12.cod"];
  EXPECT_EQ(expected, windowsFiles_);
}

TEST_F(WindowsProgramUnderWine, AnEmptyLanguageGivesEnglishAndEmptyParentheses) {
  SetGameKey("C:\\Games\\GHR", "");
  WindowsRun run = Run(patchFolder_);
  EXPECT_EQ(0, run.exitCode);
  ExpectOneBox(run, "Gravelhorn Patch Installer",
               " Path:\t C:\\Games\\GHR\\ \n"
               " Base version:\t v1.1 ()\n"
               " Upgraded version:\t Gravelhorn v1.2 ()\n"
               "\n"
               " Installed.\n");
  EXPECT_EQ(SampleInstalled(original_, "Gravelhorn", ""), windowsFiles_);
}

TEST_F(WindowsProgramUnderWine, ARefusedVersionCopiesNothing) {
  WriteFileBytes(gameFolder_ + "/Game.cod",
                 BuildFffArchive({{"Cfg/Menu.cfg", "[Version]\r\nversion=v1.2\r\n"}}));
  original_ = FolderTree(gameFolder_);
  SetGameKey("C:\\Games\\GHR", "fra");
  WindowsRun run = Run(patchFolder_);
  EXPECT_EQ(255, run.exitCode);
  ExpectOneBox(run, "ERROR",
               "Cette mise \xE0 jour est ant\xE9rieure \xE0 votre version de Gravelhorn");
  EXPECT_EQ(original_, windowsFiles_);
}

TEST_F(WindowsProgramUnderWine, WithoutPatchDatTheFirstExecutableIsMissing) {
  SetGameKey("C:\\Games\\GHR\\", "spa");
  WindowsRun run = Run(elsewhere_);
  EXPECT_EQ(255, run.exitCode);
  ExpectOneBox(run, "ERROR", "Archivo no encontrado: \\Gravelhorn_d3d.exe");
  EXPECT_EQ(original_, windowsFiles_);
}

TEST_F(WindowsProgramUnderWine, RegistryFailuresUseTheFixedEnglishTexts) {
  session_->DeleteGameKey();
  WindowsRun noKey = Run(patchFolder_);
  EXPECT_EQ(255, noKey.exitCode);
  ExpectOneBox(noKey, "ERROR", "Gravelhorn not found or the registry not correct!");

  SetGameKey("C:\\Games\\GHR", "engengengengengeng");
  WindowsRun longLanguage = Run(patchFolder_);
  EXPECT_EQ(255, longLanguage.exitCode);
  ExpectOneBox(longLanguage, "ERROR", "The registry not correct!");

  // The installer reads at most 256 bytes: a path of 256 characters and its
  // zero is refused, one of 255 is taken (and then not found).
  SetGameKey("C:\\" + std::string(253, 'G'), "eng");
  WindowsRun longPath = Run(patchFolder_);
  EXPECT_EQ(255, longPath.exitCode);
  ExpectOneBox(longPath, "ERROR", "Gravelhorn not found or the registry not correct!");

  SetGameKey("C:\\" + std::string(252, 'G'), "eng");
  WindowsRun longestPath = Run(patchFolder_);
  EXPECT_EQ(255, longestPath.exitCode);
  ExpectOneBox(longestPath, "Gravelhorn Patch Installer",
               "File not found:\tCfg\\Menu.cfg\n\nUnable to update the files. \n");
  EXPECT_EQ(original_, windowsFiles_);
}

TEST_F(WindowsProgramUnderWine, AMissingInstallFolderIsReportedInTheGameLanguage) {
  SetGameKey("C:\\Games\\Gone", "ita");
  WindowsRun run = Run(patchFolder_);
  EXPECT_EQ(255, run.exitCode);
  ExpectOneBox(run, "Installer della patch di Gravelhorn",
               "File non trovato:\tCfg\\Menu.cfg\n\nImpossibile aggiornare i file.\n");
  EXPECT_EQ(original_, windowsFiles_);
}

// Windows refuses to replace a read-only file, also for an administrator;
// the executables before it stay replaced.
TEST_F(WindowsProgramUnderWine, AReadOnlyPatchArchiveIsLeftAsItWas) {
  ASSERT_EQ(0, chmod((gameFolder_ + "/Patch12.cod").c_str(), 0444));
  SetGameKey("C:\\Games\\GHR", "eng");
  WindowsRun run = Run(patchFolder_);
  EXPECT_EQ(255, run.exitCode);
  ExpectOneBox(run, "ERROR",
               "Unable to open the following file for writing : C:\\Games\\GHR\\\\Patch12.cod");
  FolderFiles expected = SampleInstalled(original_, "Gravelhorn", "eng");
  expected["Patch12.cod"] = original_["Patch12.cod"];
  EXPECT_EQ(expected, windowsFiles_);
}

// Folder names with accents: the registry holds them as UTF-16, the host as
// UTF-8, the program as code-page bytes (1252 here). (In the UTF-8 names,
// \xC3\xBC is ü, \xC3\x9C is Ü, \xC3\xA1 is á, \xC3\xA9 is é.)
TEST_F(WindowsProgramUnderWine, FindsGamesInFoldersWithAccentedNames) {
  const struct {
    std::string installPath;  // UTF-8
    std::string hostFolder;   // below drive_c
    const char* language;
    const char* edition;
    std::string pathLine;     // the summary's first line, narrow
  } rows[] = {
      {"C:\\Spiele\\Kieself\xC3\xBC" "chs", "Spiele/Kieself\xC3\xBC" "chs", "ger",
       "Kieselfuchs", " Path:\t\tC:\\Spiele\\Kieself\xFC" "chs\\ \n"},
      {"C:\\SPIELE\\KIESELF\xC3\x9C" "CHS", "Spiele/Kieself\xC3\xBC" "chs", "ger",
       "Kieselfuchs", " Path:\t\tC:\\SPIELE\\KIESELF\xDC" "CHS\\ \n"},
      {"C:\\J\xC3\xA1t\xC3\xA9kok\\Gravelhorn", "J\xC3\xA1t\xC3\xA9kok/Gravelhorn", "hun",
       "Gravelhorn", " \xDAtvonal:\t C:\\J\xE1t\xE9kok\\Gravelhorn\\ \n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.installPath);
    gameFolder_ = session_->DriveC() + "/" + row.hostFolder;
    LayOutSampleGame(gameFolder_, patchFolder_);
    original_ = FolderTree(gameFolder_);
    SetGameKey(row.installPath, row.language);
    WindowsRun run = Run(patchFolder_);
    EXPECT_EQ(0, run.exitCode);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(row.pathLine, run.boxes[0].text.substr(0, row.pathLine.size()));
    EXPECT_EQ(SampleInstalled(original_, row.edition, row.language), windowsFiles_);
    std::filesystem::remove_all(session_->DriveC() + "/" +
                                row.hostFolder.substr(0, row.hostFolder.find('/')));
  }
}

// Wine saves a key with a subkey but no values through the subkey alone; it
// opens, empty, and the run goes on with an empty install path.
TEST_F(WindowsProgramUnderWine, AKeySavedOnlyThroughItsSubkeyIsAnEmptyKey) {
  session_->SetGameKey({}, "Options");
  WindowsRun run = Run(patchFolder_);
  EXPECT_EQ(255, run.exitCode);
  ExpectOneBox(run, "Gravelhorn Patch Installer",
               "File not found:\tCfg\\Menu.cfg\n\nUnable to update the files. \n");
  EXPECT_EQ(original_, windowsFiles_);
}

}  // namespace
