// The built Linux program, run against a Wine-style prefix, compared byte
// for byte: the box it prints and every file it writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/sample_game.h"
#include "tests/test_support.h"

namespace {

class InstallerRun : public ::testing::Test {
 protected:
  InstallerRun()
      : gameFolder_(prefix_.DriveC() + "/Games/GHR"),
        patchFolder_(prefix_.DriveC() + "/Patch") {
    LayOutSampleGame(gameFolder_, patchFolder_);
    original_ = GameFiles();
  }

  CommandResult Run(const std::string& workingDirectory) {
    // The narrow text's code page follows the locale: 1252 for C.UTF-8.
    return RunCommand({PatchInstallerPath()}, workingDirectory,
                      {"WINEPREFIX=" + prefix_.path(), "LC_ALL=C.UTF-8"});
  }

  CommandResult RunWithLanguage(const char* language) {
    prefix_.WriteGameKey({{"Installpath", "C:\\Games\\GHR"}, {"Language", language}});
    return Run(patchFolder_);
  }

  FolderFiles GameFiles() { return FolderTree(gameFolder_); }

  FolderFiles Installed(const char* edition, const std::string& patchCode) {
    return SampleInstalled(original_, edition, patchCode);
  }

  FakePrefix prefix_;
  std::string gameFolder_;
  std::string patchFolder_;
  FolderFiles original_;
};

TEST_F(InstallerRun, EnglishInstallsTheInternationalEdition) {
  CommandResult result = RunWithLanguage("eng");
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ("Gravelhorn Patch Installer\n"
            " Path:\t C:\\Games\\GHR\\ \n"
            " Base version:\t v1.1 (eng)\n"
            " Upgraded version:\t Gravelhorn v1.2 (eng)\n"
            "\n"
            " Installed.\n",
            result.out);
  EXPECT_EQ("", result.err);
  EXPECT_EQ(Installed("Gravelhorn", "eng"), GameFiles());
  // A second run over the patched game is refused: it reads v1.2 now.
  CommandResult again = Run(patchFolder_);
  EXPECT_EQ(255, again.exitCode);
  EXPECT_EQ("ERROR\nThis patch is older than your current version of Gravelhorn!\n",
            again.err);
}

TEST_F(InstallerRun, HungarianTextsArriveInUtf8FromCodePage1250) {
  CommandResult result = RunWithLanguage("hun");
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ("Gravelhorn Patch Instal\xC3\xA1l\xC3\xB3 program\n"
            " \xC3\x9Atvonal:\t C:\\Games\\GHR\\ \n"
            " Alap verzi\xC3\xB3:\t v1.1 (hun)\n"
            " Friss\xC3\xADtett verzi\xC3\xB3:\t Gravelhorn v1.2 (hun)\n"
            "\n"
            " Intalal\xC3\xA1s befejezve.\n",
            result.out);
  EXPECT_EQ(Installed("Gravelhorn", "hun"), GameFiles());
}

TEST_F(InstallerRun, GerInstallsTheGermanEditionWithTheFixedSummary) {
  CommandResult result = RunWithLanguage("ger");
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ("KIESELFUCHS-Patch-Installation\n"
            " Path:\t\tC:\\Games\\GHR\\ \n"
            " Basic version:\tv1.1 (ger)\n"
            " Upgraded version:\tKieselfuchs v1.2 (ger)\n"
            "\n"
            " Installed.\n",
            result.out);
  EXPECT_EQ(Installed("Kieselfuchs", "ger"), GameFiles());
}

TEST_F(InstallerRun, UpperCaseGerSpeaksGermanButInstallsTheInternationalEdition) {
  CommandResult result = RunWithLanguage("GER");
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ("KIESELFUCHS-Patch-Installation\n"
            " Pfad:\t C:\\Games\\GHR\\ \n"
            " Basis-Version:\t v1.1 (GER)\n"
            " Aktualisierte Version:\t Gravelhorn v1.2 (GER)\n"
            "\n"
            " installiert.\n",
            result.out);
  // \Patch_GER.cod finds the member Patch_ger.cod.
  EXPECT_EQ(Installed("Gravelhorn", "ger"), GameFiles());
}

TEST_F(InstallerRun, GermanWithoutItsLanguagePatchStopsAfterTheExecutables) {
  CommandResult result = RunWithLanguage("german");
  EXPECT_EQ(255, result.exitCode);
  EXPECT_EQ("", result.out);
  EXPECT_EQ("ERROR\nFile not found: \\Patch_german.cod\n", result.err);
  FolderFiles expected = Installed("Kieselfuchs", "");
  expected["Patch12.cod"] = original_["Patch12.cod"];
  EXPECT_EQ(expected, GameFiles());
}

TEST_F(InstallerRun, AnEmptyLanguageGivesEnglishAndEmptyParentheses) {
  CommandResult result = RunWithLanguage("");
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ("Gravelhorn Patch Installer\n"
            " Path:\t C:\\Games\\GHR\\ \n"
            " Base version:\t v1.1 ()\n"
            " Upgraded version:\t Gravelhorn v1.2 ()\n"
            "\n"
            " Installed.\n",
            result.out);
  EXPECT_EQ(Installed("Gravelhorn", ""), GameFiles());
}

TEST_F(InstallerRun, ARefusedVersionCopiesNothing) {
  WriteFileBytes(gameFolder_ + "/Game.cod",
                 BuildFffArchive({{"Cfg/Menu.cfg", "[Version]\r\nversion=v1.2\r\n"}}));
  original_ = GameFiles();
  CommandResult result = RunWithLanguage("fra");
  EXPECT_EQ(255, result.exitCode);
  EXPECT_EQ("ERROR\nCette mise \xC3\xA0 jour est ant\xC3\xA9rieure \xC3\xA0 "
            "votre version de Gravelhorn\n",
            result.err);
  EXPECT_EQ(original_, GameFiles());
}

TEST_F(InstallerRun, WithoutPatchDatTheFirstExecutableIsMissing) {
  prefix_.WriteGameKey({{"Installpath", "C:\\Games\\GHR\\"}, {"Language", "spa"}});
  MakeFolders(prefix_.DriveC() + "/Elsewhere");
  CommandResult result = Run(prefix_.DriveC() + "/Elsewhere");
  EXPECT_EQ(255, result.exitCode);
  EXPECT_EQ("", result.out);
  EXPECT_EQ("ERROR\nArchivo no encontrado: \\Gravelhorn_d3d.exe\n", result.err);
  EXPECT_EQ(original_, GameFiles());
}

TEST_F(InstallerRun, RegistryFailuresUseTheFixedEnglishTexts) {
  CommandResult noFile = Run(patchFolder_);
  EXPECT_EQ(255, noFile.exitCode);
  EXPECT_EQ("ERROR\nGravelhorn not found or the registry not correct!\n", noFile.err);

  prefix_.WriteRegistryWithoutKey();
  CommandResult noKey = Run(patchFolder_);
  EXPECT_EQ(255, noKey.exitCode);
  EXPECT_EQ("ERROR\nGravelhorn not found or the registry not correct!\n", noKey.err);

  prefix_.WriteGameKey({{"Installpath", "C:\\Games\\GHR"}, {"Language", "engengengengengeng"}});
  CommandResult longLanguage = Run(patchFolder_);
  EXPECT_EQ(255, longLanguage.exitCode);
  EXPECT_EQ("ERROR\nThe registry not correct!\n", longLanguage.err);

  prefix_.WriteGameKey({{"Installpath", "C:\\" + std::string(300, 'G')}, {"Language", "eng"}});
  CommandResult longPath = Run(patchFolder_);
  EXPECT_EQ(255, longPath.exitCode);
  EXPECT_EQ("ERROR\nGravelhorn not found or the registry not correct!\n", longPath.err);
  EXPECT_EQ(original_, GameFiles());
}

TEST_F(InstallerRun, AMissingInstallFolderIsReportedInTheGameLanguage) {
  prefix_.WriteGameKey({{"Installpath", "C:\\Games\\Gone"}, {"Language", "ita"}});
  CommandResult result = Run(patchFolder_);
  EXPECT_EQ(255, result.exitCode);
  EXPECT_EQ("Installer della patch di Gravelhorn\n"
            "File non trovato:\tCfg\\Menu.cfg\n\nImpossibile aggiornare i file.\n",
            result.err);
}

// Wine keeps a folder's name as UTF-16 in the registry and as UTF-8 on the
// host; the program takes the name into its code page (1252 here), finds
// the UTF-8 folder, also in another letter case, writes there and nowhere
// else, and shows the letters in UTF-8. (Names are UTF-8: \xC3\xBC is ü,
// \xC3\x9C is Ü, \xC3\xA1 is á, \xC3\xA9 is é.)
TEST_F(InstallerRun, FindsGamesInFoldersWithAccentedNames) {
  const std::string kieselfuechs = "Kieself\xC3\xBC" "chs";
  const std::string jatekok = "J\xC3\xA1t\xC3\xA9kok";
  const struct {
    std::string installPath;
    std::string hostFolder;  // below drive_c
    const char* language;
    const char* edition;
    std::string summary;
  } rows[] = {
      {"C:\\Spiele\\" + kieselfuechs, "Spiele/" + kieselfuechs, "ger", "Kieselfuchs",
       "KIESELFUCHS-Patch-Installation\n"
       " Path:\t\tC:\\Spiele\\" + kieselfuechs + "\\ \n"
       " Basic version:\tv1.1 (ger)\n"
       " Upgraded version:\tKieselfuchs v1.2 (ger)\n\n"
       " Installed.\n"},
      {"C:\\SPIELE\\KIESELF\xC3\x9C" "CHS", "Spiele/" + kieselfuechs, "ger", "Kieselfuchs",
       "KIESELFUCHS-Patch-Installation\n"
       " Path:\t\tC:\\SPIELE\\KIESELF\xC3\x9C" "CHS\\ \n"
       " Basic version:\tv1.1 (ger)\n"
       " Upgraded version:\tKieselfuchs v1.2 (ger)\n\n"
       " Installed.\n"},
      {"C:\\" + jatekok + "\\Gravelhorn", jatekok + "/Gravelhorn", "hun", "Gravelhorn",
       "Gravelhorn Patch Instal\xC3\xA1l\xC3\xB3 program\n"
       " \xC3\x9Atvonal:\t C:\\" + jatekok + "\\Gravelhorn\\ \n"
       " Alap verzi\xC3\xB3:\t v1.1 (hun)\n"
       " Friss\xC3\xADtett verzi\xC3\xB3:\t Gravelhorn v1.2 (hun)\n\n"
       " Intalal\xC3\xA1s befejezve.\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.installPath);
    const std::string game = prefix_.DriveC() + "/" + row.hostFolder;
    LayOutSampleGame(game, patchFolder_);
    FolderFiles expected = FolderTree(prefix_.DriveC());
    for (const auto& file : SampleInstalled(FolderTree(game), row.edition, row.language))
      expected[row.hostFolder + "/" + file.first] = file.second;
    prefix_.WriteGameKey({{"Installpath", row.installPath}, {"Language", row.language}});
    CommandResult result = Run(patchFolder_);
    EXPECT_EQ(0, result.exitCode) << result.err;
    EXPECT_EQ(row.summary, result.out);
    EXPECT_EQ(expected, FolderTree(prefix_.DriveC()));
    std::filesystem::remove_all(prefix_.DriveC() + "/" +
                                row.hostFolder.substr(0, row.hostFolder.find('/')));
  }
}

// A key with a subkey but no values has no line of its own in system.reg:
// it opens, empty, as an explicit key without values does.
TEST_F(InstallerRun, AKeySavedOnlyThroughItsSubkeyIsAnEmptyKey) {
  for (const char* subkey : {"", "Options"}) {
    prefix_.WriteGameKey({}, true, subkey);
    CommandResult result = Run(patchFolder_);
    EXPECT_EQ(255, result.exitCode) << subkey;
    EXPECT_EQ("Gravelhorn Patch Installer\n"
              "File not found:\tCfg\\Menu.cfg\n\nUnable to update the files. \n",
              result.err)
        << subkey;
  }
}

}  // namespace
