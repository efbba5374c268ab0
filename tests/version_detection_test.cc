// Version detection over the game's archives in a Wine-style prefix.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "filesystem/archive_table.h"
#include "filesystem/file_system.h"
#include "installer/settings.h"
#include "installer/version_detection.h"
#include "tests/test_support.h"

namespace {

class VersionDetectionTest : public ::testing::Test {
 protected:
  VersionDetectionTest()
      : wine_("WINEPREFIX", prefix_.path().c_str()),
        gameFolder_(prefix_.DriveC() + "/Games/GHR") {
    MakeFolders(gameFolder_);
    strcpy(InstallPath, "C:\\Games\\GHR\\");
    BaseVersion[0] = '\0';
    LanguageIndex = 0;
    ResetArchives();
  }

  void WriteArchive(const char* name, const std::string& menu) {
    WriteFileBytes(gameFolder_ + "/" + name,
                   BuildFffArchive({{"Data/x.bin", "x"}, {"Cfg/Menu.cfg", menu}}));
  }

  void WriteGame(const std::string& menu) { WriteArchive("Game.cod", menu); }

  FakePrefix prefix_;
  ScopedEnvironment wine_;
  std::string gameFolder_;
};

TEST_F(VersionDetectionTest, AcceptsALabelInsideTheValueAndKeepsItWhole) {
  WriteGame("[Version]\r\nversion=Gravelhorn v1.1 (build 2)\r\n");
  EXPECT_TRUE(DetectBaseVersion());
  EXPECT_STREQ("Gravelhorn v1.1 (build 2)", BaseVersion);
  EXPECT_EQ(0, Archives.registeredCount);
  EXPECT_EQ(nullptr, OpenFileQuiet("Data/x.bin", OPEN_FILE_READ));
}

TEST_F(VersionDetectionTest, RefusesOtherLabelsAndLeavesBaseVersion) {
  strcpy(BaseVersion, "before");
  WriteGame("[Version]\r\nversion=V1.1\r\n");
  EXPECT_FALSE(DetectBaseVersion());
  EXPECT_STREQ("before", BaseVersion);
  WriteGame("[Version]\r\nversion=v1.2\r\nVersion=v1.0\r\n");
  EXPECT_FALSE(DetectBaseVersion());  // a non-empty "version" is final
  WriteGame("[Version]\r\n");
  EXPECT_FALSE(DetectBaseVersion());
  EXPECT_EQ(0, Archives.registeredCount);
}

TEST_F(VersionDetectionTest, FallsBackToTheCapitalisedKey) {
  WriteGame("[Version]\r\nVersion=v1.0\r\n");
  EXPECT_TRUE(DetectBaseVersion());
  EXPECT_STREQ("v1.0", BaseVersion);
  WriteGame("[Version]\r\nversion=\r\nVersion=v1.1\r\n");
  EXPECT_TRUE(DetectBaseVersion());
  EXPECT_STREQ("v1.1", BaseVersion);
}

TEST_F(VersionDetectionTest, ThePatchArchiveWinsAndMissingArchivesAreSkipped) {
  WriteArchive("Patch12.cod", "[Version]\r\nversion=v1.0 patched\r\n");
  WriteArchive("Game.cod", "[Version]\r\nversion=v1.1 game\r\n");
  EXPECT_TRUE(DetectBaseVersion());  // no Language.cod at all
  EXPECT_STREQ("v1.0 patched", BaseVersion);
  // A value longer than BaseVersion is cut to its 255 bytes.
  WriteArchive("Patch12.cod", "[Version]\r\nversion=v1.1" + std::string(400, '+') + "\r\n");
  EXPECT_TRUE(DetectBaseVersion());
  EXPECT_EQ("v1.1" + std::string(251, '+'), std::string(BaseVersion));
}

TEST_F(VersionDetectionTest, NoMenuAnywhereEndsWithTheFileNotFoundBox) {
  ProcessOutcome outcome = RunInChild([] { DetectBaseVersion(); });
  EXPECT_EQ(255, outcome.exitCode);
  ASSERT_EQ(1u, outcome.boxes.size());
  EXPECT_EQ("Gravelhorn Patch Installer", outcome.boxes[0].caption);
  EXPECT_EQ("File not found:\tCfg\\Menu.cfg\n\nUnable to update the files. \n",
            outcome.boxes[0].text);
}

}  // namespace
