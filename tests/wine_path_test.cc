#include "platform/wine_path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

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
    SetDrive("c:", "../drive_c");
    SetDrive("z:", "/");
  }

  // Links the drive to target, or removes its link when target is null.
  void SetDrive(const std::string& name, const char* target) const {
    const std::string link = prefix_ + "/dosdevices/" + name;
    unlink(link.c_str());
    if (target != nullptr) {
      EXPECT_EQ(0, symlink(target, link.c_str())) << link;
    }
  }

  std::string Map(const std::string& windowsPath) const { return MapWith(windowsPath, prefix_); }

  static std::string MapWith(const std::string& windowsPath, const std::string& prefix) {
    std::string hostPath;  // stays empty, so nothing is opened, if unmapped
    EXPECT_TRUE(MapWindowsPath(windowsPath.c_str(), prefix, &hostPath)) << windowsPath;
    return hostPath;
  }

  // Paths below the c: and z: links, and below c:'s real folder.
  std::string C(const std::string& below = "") const { return prefix_ + "/dosdevices/c:" + below; }
  std::string Z(const std::string& below = "") const { return prefix_ + "/dosdevices/z:" + below; }
  std::string OnDisk(const std::string& below) const { return prefix_ + "/drive_c" + below; }

  TempDir root_;
  const std::string prefix_;
};

std::string Resolved(const std::string& path) { return std::filesystem::canonical(path).string(); }

TEST_F(WinePathTest, DriveLettersSeparatorsAndCaseMapAsOnWindows) {
  root_.Write("prefix/drive_c/Variants/DATA.TXT", "upper");
  root_.Write("prefix/drive_c/Variants/Data.txt", "mixed");
  root_.Write("prefix/drive_c/Variants/data.txt", "lower");
  root_.Write("prefix/drive_c/Games/\xC3\x84rger.txt", "umlaut");
  const std::string patch = C("/Games/GHR/Patch12.cod");
  const std::string longName(100000, 'a');
  std::string deepWindows = "C:", deepHost = C(), climbing = "C:";
  for (int i = 0; i < 2000; ++i) {
    deepWindows += "\\Games";
    deepHost += "/Games";
    climbing += "\\..";
  }
  const struct {
    std::string windows;
    std::string host;
  } cases[] = {
      {"C:\\Games\\GHR\\Patch12.cod", patch},
      {"c:\\GAMES\\ghr\\PATCH12.COD", patch},
      {"C:\\\\Games/\\GHR\\Patch12.cod\\", patch},
      {"C:\\Games\\.\\GHR\\..\\GHR\\.\\Patch12.cod", patch},
      {"C:Games\\GHR\\Patch12.cod", patch},
      // ".." stops at the drive's root instead of climbing into the prefix.
      {climbing + "\\Games\\GHR\\Patch12.cod", patch},
      {"C:", C()},
      {"C:\\", C()},
      {"Z:\\", Z()},
      {"a:\\x", prefix_ + "/dosdevices/a:/x"},
      {"C:\\" + longName, C("/" + longName)},
      {deepWindows, deepHost},
      // The exact name wins over an earlier one that differs in case; with
      // no exact name, the first in name order.
      {"c:\\VARIANTS\\Data.txt", C("/Variants/Data.txt")},
      {"c:\\variants\\data.txt", C("/Variants/data.txt")},
      {"c:\\variants\\data.TXT", C("/Variants/DATA.TXT")},
      // Names are narrow text in the code page (1252 here), UTF-8 on the
      // host; accented letters fold as ASCII ones do.
      {"c:\\games\\\xC4RGER.TXT", C("/Games/\xC3\x84rger.txt")},
      {"c:\\games\\\xE4rger.txt", C("/Games/\xC3\x84rger.txt")},
      {"c:\\games\\\xE4rgerlich", C("/Games/\xC3\xA4rgerlich")},
      // Past the first name that matches nothing, all keep their case.
      {"c:\\games\\ghr\\NewFile.txt", C("/Games/GHR/NewFile.txt")},
      {"c:\\games\\NoSuch\\ghr\\patch12.cod", C("/Games/NoSuch/ghr/patch12.cod")},
  };
  for (const auto& c : cases) EXPECT_EQ(c.host, Map(c.windows)) << c.windows;

  // A new file is created under the name given; a file that exists in
  // another case is replaced, not joined by a second one.
  WriteFileBytes(Map("c:\\games\\ghr\\NewFile.txt"), "fresh");
  WriteFileBytes(Map("c:\\games\\ghr\\game.COD"), "new game");
  EXPECT_EQ("fresh", ReadFileBytes(OnDisk("/Games/GHR/NewFile.txt")));
  EXPECT_EQ("new game", ReadFileBytes(OnDisk("/Games/GHR/Game.cod")));
  EXPECT_FALSE(FileExists(OnDisk("/Games/GHR/game.COD")));
}

TEST_F(WinePathTest, LeadingSeparatorStartsAtTheDriveHoldingTheCurrentFolder) {
  // b: holds every folder too and comes first, but c: reaches deeper; d:
  // reaches as deep, and the first letter wins.
  SetDrive("b:", "/");
  SetDrive("d:", "../drive_c");
  {
    ScopedCurrentDirectory inGame(OnDisk("/Games/GHR"));
    EXPECT_EQ(C("/Gravelhorn_d3d.exe"), Map("\\GRAVELHORN_D3D.EXE"));
    EXPECT_EQ(C("/Games/GHR/Patch12.cod"), Map("/Games\\\\GHR\\Patch12.cod"));
    EXPECT_EQ(C("/Gravelhorn_d3d.exe"), Map("\\\\\\Gravelhorn_d3d.exe"));
    EXPECT_EQ(C(), Map("\\"));
    EXPECT_EQ(C(), Map("\\\\"));
  }
  {
    ScopedCurrentDirectory atDriveRoot(OnDisk(""));
    EXPECT_EQ(C("/Gravelhorn_d3d.exe"), Map("\\Gravelhorn_d3d.exe"));
  }
  SetDrive("b:", nullptr);

  TempDir outside;
  outside.Write("Outside.txt", "outside");
  {
    ScopedCurrentDirectory inOutside(outside.path());
    EXPECT_EQ(Z("/Gravelhorn_d3d.exe"), Map("\\Gravelhorn_d3d.exe"));
    std::string windows = outside.path() + "/OUTSIDE.TXT";
    for (char& c : windows) c = c == '/' ? '\\' : c;
    EXPECT_EQ(Z(outside.path() + "/Outside.txt"), Map(windows));
    // With no drive holding it, the host's root.
    SetDrive("z:", nullptr);
    EXPECT_EQ("/Gravelhorn_d3d.exe", Map("\\Gravelhorn_d3d.exe"));
    EXPECT_EQ("/", Map("\\"));
  }
  {
    // A sibling whose name merely starts with "drive_c" is not on c:.
    MakeFolders(prefix_ + "/drive_c_old");
    ScopedCurrentDirectory inSibling(prefix_ + "/drive_c_old");
    EXPECT_EQ("/Gravelhorn_d3d.exe", Map("\\Gravelhorn_d3d.exe"));
  }
  // Inside drive_c, but of a prefix without drive links, or of none.
  ScopedCurrentDirectory inGame(OnDisk("/Games"));
  EXPECT_EQ("/Gravelhorn_d3d.exe", MapWith("\\Gravelhorn_d3d.exe", outside.path()));
  EXPECT_EQ("/Gravelhorn_d3d.exe", MapWith("\\Gravelhorn_d3d.exe", ""));
}

TEST_F(WinePathTest, RelativePathsStartAtTheCurrentFolder) {
  const std::string patch = Resolved(OnDisk("/Games/GHR/Patch12.cod"));
  ScopedCurrentDirectory inGames(OnDisk("/Games"));
  for (const char* relative : {"GHR\\Patch12.cod", "ghr\\\\PATCH12.cod", ".\\GHR/Patch12.cod",
                               "..\\Games\\GHR\\Patch12.cod", "GHR\\..\\GHR\\patch12.COD"}) {
    const std::string mapped = Map(relative);
    EXPECT_EQ(patch, Resolved(mapped)) << relative;
    EXPECT_EQ("/GHR/Patch12.cod", mapped.substr(mapped.size() - 16)) << relative;
  }
  // Windows stops at C:\ however many ".." there are.
  EXPECT_EQ("game exe", ReadFileBytes(Map("..\\..\\..\\..\\Gravelhorn_d3d.exe")));
  EXPECT_EQ("patch twelve", ReadFileBytes(MapWith("GHR\\Patch12.cod", "")));
  EXPECT_EQ(Resolved(OnDisk("/Games")), Resolved(Map(".")));
  const std::string highBytes = Map("\xFF\xFE\x80");
  EXPECT_EQ("/\xC3\xBF\xC3\xBE\xE2\x82\xAC", highBytes.substr(highBytes.size() - 8));

  // "1:" is no drive letter; a current folder of 256 bytes and more is
  // found all the same.
  EXPECT_EQ(C("/Games/1:/x"), Map("1:\\x"));
  const std::string deep = OnDisk("/Games/" + std::string(120, 'd') + "/" + std::string(120, 'e'));
  MakeFolders(deep);
  ScopedCurrentDirectory inDeep(deep);
  EXPECT_EQ(C("/Games/" + std::string(120, 'd') + "/" + std::string(120, 'e') + "/x"), Map("x"));

  // A host folder's name may hold a backslash; it is no separator there.
  root_.Write("prefix/drive_c/Games/Odd\\Name/Menu.cfg", "menu");
  ScopedCurrentDirectory inOddName(OnDisk("/Games/Odd\\Name"));
  EXPECT_EQ("menu", ReadFileBytes(Map("menu.CFG")));
}

TEST(WinePath, UnmappablePathsAreRefused) {
  std::string hostPath;
  EXPECT_FALSE(MapWindowsPath(nullptr, "/prefix", &hostPath));
  EXPECT_FALSE(MapWindowsPath("", "/prefix", &hostPath));
  EXPECT_FALSE(MapWindowsPath("C:\\Games\\GHR\\Patch12.cod", "", &hostPath));
  EXPECT_FALSE(MapWindowsPath("c:", "", &hostPath));
}

}  // namespace
