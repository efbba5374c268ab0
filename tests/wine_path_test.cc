#include "platform/wine_path.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace {

// A prefix laid out the way Wine lays one out: drive_c holding the game, and
// dosdevices with c: pointing at it and z: at the host's root.
class WinePathTest : public ::testing::Test {
 protected:
  WinePathTest() : prefix_(root_.path() + "/prefix") {
    root_.Write("prefix/drive_c/Games/GHR/Patch12.cod", "patch twelve");
    root_.Write("prefix/drive_c/Games/GHR/Game.cod", "old game");
    root_.Write("prefix/drive_c/Gravelhorn_d3d.exe", "game exe");
    MakeFolders(prefix_ + "/dosdevices");
    AddDrive("c:", "../drive_c");
    AddDrive("z:", "/");
  }

  void AddDrive(const std::string& name, const std::string& target) const {
    const std::string link = prefix_ + "/dosdevices/" + name;
    if (symlink(target.c_str(), link.c_str()) != 0)
      throw std::runtime_error("cannot link " + link);
  }

  void RemoveDrive(const std::string& name) const {
    const std::string link = prefix_ + "/dosdevices/" + name;
    if (unlink(link.c_str()) != 0)
      throw std::runtime_error("cannot remove " + link);
  }

  std::string Map(const std::string& windowsPath) const {
    return MapWith(windowsPath, prefix_);
  }

  static std::string MapWith(const std::string& windowsPath,
                             const std::string& prefix) {
    std::string hostPath;  // stays empty, so nothing is opened, if unmapped
    EXPECT_TRUE(MapWindowsPath(windowsPath.c_str(), prefix, &hostPath))
        << windowsPath;
    return hostPath;
  }

  std::string DriveC() const { return prefix_ + "/dosdevices/c:"; }
  std::string DriveZ() const { return prefix_ + "/dosdevices/z:"; }
  std::string InDriveC(const std::string& relative) const {
    return prefix_ + "/drive_c/" + relative;
  }

  TempDir root_;
  const std::string prefix_;
};

// Writes the way the installer does: fopen "wb" on the mapped path.
void WriteThroughStdio(const std::string& path, const std::string& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  EXPECT_EQ(fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
  EXPECT_EQ(fclose(file), 0);
}

std::string Resolved(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return "<unresolved " + path + ">";
  std::string result(resolved);
  free(resolved);
  return result;
}

std::string WithBackslashes(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

TEST_F(WinePathTest, DriveLetterGoesThroughTheDriveLink) {
  const std::string patch = DriveC() + "/Games/GHR/Patch12.cod";
  EXPECT_EQ(Map("C:\\Games\\GHR\\Patch12.cod"), patch);
  EXPECT_EQ(ReadFileBytes(patch), "patch twelve");

  EXPECT_EQ(Map("c:\\Games\\GHR\\Patch12.cod"), patch);
  EXPECT_EQ(Map("C:/Games/GHR/Patch12.cod"), patch);
  EXPECT_EQ(Map("C:\\Games\\GHR\\\\Patch12.cod"), patch);
  EXPECT_EQ(Map("C:\\\\Games/\\GHR\\Patch12.cod\\"), patch);
  EXPECT_EQ(Map("C:\\Games\\.\\GHR\\..\\GHR\\.\\Patch12.cod"), patch);
  // ".." stops at the drive's root instead of climbing into the prefix.
  EXPECT_EQ(Map("C:\\..\\..\\Games\\GHR\\Patch12.cod"), patch);
  EXPECT_EQ(Map("C:Games\\GHR\\Patch12.cod"), patch);

  EXPECT_EQ(Map("C:"), DriveC());
  EXPECT_EQ(Map("C:\\"), DriveC());
  EXPECT_EQ(Map("Z:\\"), DriveZ());
}

TEST_F(WinePathTest, NamesMatchTheEntriesOnDiskIgnoringCase) {
  const std::string patch = DriveC() + "/Games/GHR/Patch12.cod";
  EXPECT_EQ(Map("c:\\GAMES\\ghr\\PATCH12.COD"), patch);
  EXPECT_EQ(ReadFileBytes(Map("c:\\games\\Ghr\\patch12.cod")), "patch twelve");

  root_.Write("prefix/drive_c/Variants/DATA.TXT", "upper");
  root_.Write("prefix/drive_c/Variants/Data.txt", "mixed");
  root_.Write("prefix/drive_c/Variants/data.txt", "lower");
  // The exact name wins over an earlier one that differs in case.
  EXPECT_EQ(Map("c:\\VARIANTS\\Data.txt"), DriveC() + "/Variants/Data.txt");
  EXPECT_EQ(Map("c:\\variants\\data.txt"), DriveC() + "/Variants/data.txt");
  // With no exact name, the first in name order.
  EXPECT_EQ(Map("c:\\variants\\data.TXT"), DriveC() + "/Variants/DATA.TXT");

  // Only ASCII letters fold; other bytes must match exactly.
  root_.Write("prefix/drive_c/Games/\xC3\x84rger.txt", "umlaut");
  EXPECT_EQ(Map("c:\\games\\\xC3\x84RGER.TXT"),
            DriveC() + "/Games/\xC3\x84rger.txt");
  EXPECT_EQ(Map("c:\\games\\\xC3\xA4rger.txt"),
            DriveC() + "/Games/\xC3\xA4rger.txt");
}

TEST_F(WinePathTest, MissingNamesAreKeptAsGiven) {
  const std::string newFile = Map("c:\\games\\ghr\\NewFile.txt");
  EXPECT_EQ(newFile, DriveC() + "/Games/GHR/NewFile.txt");
  WriteThroughStdio(newFile, "fresh");
  EXPECT_EQ(ReadFileBytes(InDriveC("Games/GHR/NewFile.txt")), "fresh");

  EXPECT_EQ(Map("c:\\games\\NoSuch\\ghr\\patch12.cod"),
            DriveC() + "/Games/NoSuch/ghr/patch12.cod");
  EXPECT_EQ(fopen(Map("c:\\games\\NoSuch\\ghr\\patch12.cod").c_str(), "rb"),
            nullptr);
}

TEST_F(WinePathTest, WritingUnderAnotherCaseReplacesTheExistingFile) {
  const std::string game = Map("c:\\games\\ghr\\game.COD");
  EXPECT_EQ(game, DriveC() + "/Games/GHR/Game.cod");
  WriteThroughStdio(game, "new game");
  EXPECT_EQ(ReadFileBytes(InDriveC("Games/GHR/Game.cod")), "new game");
  EXPECT_FALSE(FileExists(InDriveC("Games/GHR/game.COD")));
}

TEST_F(WinePathTest, LeadingSeparatorStartsAtTheDriveHoldingTheCurrentFolder) {
  // b: holds every folder too and comes first, but c: reaches deeper.
  AddDrive("b:", "/");
  {
    ScopedCurrentDirectory inGame(InDriveC("Games/GHR"));
    EXPECT_EQ(Map("\\Gravelhorn_d3d.exe"), DriveC() + "/Gravelhorn_d3d.exe");
    EXPECT_EQ(ReadFileBytes(Map("\\GRAVELHORN_D3D.EXE")), "game exe");
    EXPECT_EQ(Map("/Games\\\\GHR\\Patch12.cod"),
              DriveC() + "/Games/GHR/Patch12.cod");
    EXPECT_EQ(Map("\\"), DriveC());
  }
  {
    ScopedCurrentDirectory atDriveRoot(InDriveC(""));
    EXPECT_EQ(Map("\\Gravelhorn_d3d.exe"), DriveC() + "/Gravelhorn_d3d.exe");
  }
  RemoveDrive("b:");

  TempDir outside;
  outside.Write("Outside.txt", "outside");
  ScopedCurrentDirectory inOutside(outside.path());
  EXPECT_EQ(Map("\\Gravelhorn_d3d.exe"), DriveZ() + "/Gravelhorn_d3d.exe");
  const std::string outsideFile =
      Map(WithBackslashes(outside.path()) + "\\OUTSIDE.TXT");
  EXPECT_EQ(outsideFile, DriveZ() + outside.path() + "/Outside.txt");
  EXPECT_EQ(ReadFileBytes(outsideFile), "outside");
}

TEST_F(WinePathTest, LeadingSeparatorWithNoDriveHoldingTheCurrentFolder) {
  RemoveDrive("z:");
  TempDir outside;
  {
    ScopedCurrentDirectory inOutside(outside.path());
    EXPECT_EQ(Map("\\Gravelhorn_d3d.exe"), "/Gravelhorn_d3d.exe");
    EXPECT_EQ(Map("\\"), "/");
  }
  {
    // A sibling whose name merely starts with "drive_c" is not on c:.
    MakeFolders(prefix_ + "/drive_c_old");
    ScopedCurrentDirectory inSibling(prefix_ + "/drive_c_old");
    EXPECT_EQ(Map("\\Gravelhorn_d3d.exe"), "/Gravelhorn_d3d.exe");
  }
  ScopedCurrentDirectory inGame(InDriveC("Games"));
  EXPECT_EQ(MapWith("\\Gravelhorn_d3d.exe", outside.path()),
            "/Gravelhorn_d3d.exe");
  EXPECT_EQ(MapWith("\\Gravelhorn_d3d.exe", ""), "/Gravelhorn_d3d.exe");
}

TEST_F(WinePathTest, RelativePathsStartAtTheCurrentFolder) {
  const std::string patch = Resolved(InDriveC("Games/GHR/Patch12.cod"));
  ScopedCurrentDirectory inGames(InDriveC("Games"));
  for (const char* relative :
       {"GHR\\Patch12.cod", "ghr\\\\PATCH12.cod", ".\\GHR/Patch12.cod",
        "..\\Games\\GHR\\Patch12.cod", "GHR\\..\\GHR\\patch12.COD"}) {
    const std::string mapped = Map(relative);
    EXPECT_EQ(Resolved(mapped), patch) << relative;
    EXPECT_EQ(mapped.substr(mapped.size() - 16), "/GHR/Patch12.cod")
        << relative;
  }
  // Windows stops at C:\ however many ".." there are.
  EXPECT_EQ(ReadFileBytes(Map("..\\..\\..\\..\\Gravelhorn_d3d.exe")),
            "game exe");
  EXPECT_EQ(ReadFileBytes(MapWith("GHR\\Patch12.cod", "")), "patch twelve");

  WriteThroughStdio(Map("Cfg.txt"), "settings");
  EXPECT_EQ(ReadFileBytes(InDriveC("Games/Cfg.txt")), "settings");

  // A host folder's name may hold a backslash; it is no separator there.
  root_.Write("prefix/drive_c/Games/Odd\\Name/Menu.cfg", "menu");
  ScopedCurrentDirectory inOddName(InDriveC("Games/Odd\\Name"));
  EXPECT_EQ(ReadFileBytes(Map("menu.CFG")), "menu");
}

TEST(WinePath, UnmappablePathsAreRefused) {
  std::string hostPath;
  EXPECT_FALSE(MapWindowsPath(nullptr, "/prefix", &hostPath));
  EXPECT_FALSE(MapWindowsPath("", "/prefix", &hostPath));
  EXPECT_FALSE(MapWindowsPath("C:\\Games\\GHR\\Patch12.cod", "", &hostPath));
  EXPECT_FALSE(MapWindowsPath("c:", "", &hostPath));
}

TEST_F(WinePathTest, OddPathsStillMap) {
  const std::string longName(100000, 'a');
  EXPECT_EQ(Map("C:\\" + longName), DriveC() + "/" + longName);

  std::string deepWindows = "C:";
  std::string deepHost = DriveC();
  for (int i = 0; i < 2000; ++i) {
    deepWindows += "\\Games";
    deepHost += "/Games";
  }
  EXPECT_EQ(Map(deepWindows), deepHost);

  std::string climbing = "C:";
  for (int i = 0; i < 2000; ++i) climbing += "\\..";
  EXPECT_EQ(Map(climbing + "\\Games\\GHR\\Patch12.cod"),
            DriveC() + "/Games/GHR/Patch12.cod");

  ScopedCurrentDirectory inGame(InDriveC("Games/GHR"));
  EXPECT_EQ(Map("\\\\"), DriveC());
  EXPECT_EQ(Map("\\\\\\Gravelhorn_d3d.exe"), DriveC() + "/Gravelhorn_d3d.exe");
  EXPECT_EQ(Resolved(Map(".")), Resolved(InDriveC("Games/GHR")));
  const std::string highBytes = Map("\xFF\xFE\x80");
  EXPECT_EQ(highBytes.substr(highBytes.size() - 4), "/\xFF\xFE\x80");
}

}  // namespace
