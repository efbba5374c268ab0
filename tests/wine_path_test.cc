#include "platform/wine_path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/file_replacement.h"
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
      // Drive-relative, from a current folder on no drive of the prefix.
      {"C:Games\\GHR\\Patch12.cod", patch},
      // A folder name loses one trailing dot, the last name every trailing
      // dot and blank; blanks end a folder's name as part of it.
      {"C:\\Games\\GHR.\\Patch12.cod. .", patch},
      {"C:\\Games.\\GHR.\\", C("/Games/GHR")},
      {"C:\\Games\\GHR..\\x", C("/Games/GHR./x")},
      {"C:\\Games\\GHR \\x", C("/Games/GHR /x")},
      {"C:\\Games\\GHR\\...", C("/Games/GHR")},
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
    EXPECT_EQ(C(), Map("\\"));
    // On its own drive, a drive-relative path starts at the current folder,
    // on another at that drive's root.
    EXPECT_EQ(C("/Games/GHR/Patch12.cod"), Map("c:Patch12.cod"));
    EXPECT_EQ(C("/Games/Patch12.cod"), Map("C:..\\Patch12.cod"));
    EXPECT_EQ(Z("/Patch12.cod"), Map("Z:Patch12.cod"));
  }
  {
    ScopedCurrentDirectory atDriveRoot(OnDisk(""));
    EXPECT_EQ(C("/Gravelhorn_d3d.exe"), Map("\\Gravelhorn_d3d.exe"));
  }
  SetDrive("b:", nullptr);

  TempDir outside;
  outside.Write("Outside.txt", "outside");
  std::string hostPath;
  bool onDrive = false;
  {
    ScopedCurrentDirectory inOutside(outside.path());
    EXPECT_EQ(Z("/Gravelhorn_d3d.exe"), Map("\\Gravelhorn_d3d.exe"));
    EXPECT_EQ(C("/Games/GHR/Patch12.cod"), Map("C:Games\\GHR\\Patch12.cod"));
    EXPECT_EQ(Z(outside.path() + "/x"), Map("Z:x"));
    std::string windows = outside.path() + "/OUTSIDE.TXT";
    for (char& c : windows) c = c == '/' ? '\\' : c;
    EXPECT_EQ(Z(outside.path() + "/Outside.txt"), Map(windows));
    // With no drive holding it, "\name" lies on no drive and is refused; a
    // relative name is the folder's own, off every drive.
    SetDrive("z:", nullptr);
    EXPECT_FALSE(MapWindowsPath("\\Gravelhorn_d3d.exe", prefix_, &hostPath, &onDrive));
    EXPECT_EQ("the current folder lies on no drive of the prefix",
              WhyUnmapped("\\Gravelhorn_d3d.exe", prefix_));
    EXPECT_FALSE(MapWindowsPath("\\", prefix_, &hostPath, &onDrive));
    EXPECT_TRUE(MapWindowsPath("outside.txt", prefix_, &hostPath, &onDrive));
    EXPECT_EQ(outside.path() + "/Outside.txt", hostPath);
    EXPECT_FALSE(onDrive);
    ScopedEnvironment wine("WINEPREFIX", prefix_.c_str());
    EXPECT_FALSE(ReplaceDiskFile("outside.txt", "x", 1));
    EXPECT_EQ("outside", ReadFileBytes(outside.path() + "/Outside.txt"));
  }
  {
    // A sibling whose name merely starts with "drive_c" is not on c:.
    MakeFolders(prefix_ + "/drive_c_old");
    ScopedCurrentDirectory inSibling(prefix_ + "/drive_c_old");
    EXPECT_FALSE(MapWindowsPath("\\Gravelhorn_d3d.exe", prefix_, &hostPath));
  }
  ScopedCurrentDirectory inGame(OnDisk("/Games"));
  EXPECT_TRUE(MapWindowsPath("x", prefix_, &hostPath, &onDrive));
  EXPECT_TRUE(onDrive);
  // A prefix copied without dosdevices: c: is drive_c and z: the host's
  // root, as Wine links them on its next start. With dosdevices but no c:
  // link, Wine does not start, and c: stays its missing link.
  std::filesystem::remove_all(prefix_ + "/dosdevices");
  EXPECT_EQ(OnDisk("/Games/GHR/Patch12.cod"), Map("c:\\games\\ghr\\patch12.cod"));
  EXPECT_EQ(OnDisk("/Gravelhorn_d3d.exe"), Map("\\Gravelhorn_d3d.exe"));
  EXPECT_EQ("/tmp", Map("z:\\tmp"));
  EXPECT_EQ(prefix_ + "/dosdevices/d:/x", Map("D:\\x"));
  MakeFolders(prefix_ + "/dosdevices");
  EXPECT_EQ(C("/x"), Map("C:\\x"));
  EXPECT_FALSE(MapWindowsPath("\\Gravelhorn_d3d.exe", prefix_, &hostPath));
  // Inside drive_c, but of no prefix.
  EXPECT_FALSE(MapWindowsPath("\\Gravelhorn_d3d.exe", "", &hostPath));
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
  // Network and device paths (two separators of either kind), and a folder
  // name that collapses to "..", which Windows refuses.
  std::string hostPath;
  for (const char* path : {"", "\\\\Gravelhorn_d3d.exe", "\\\\server\\share\\GHR", "//x", "\\/x",
                           "/\\x", "\\\\?\\C:\\x", "\\\\.\\C:\\x", "C:\\Games\\...\\x", "...\\x"})
    EXPECT_FALSE(MapWindowsPath(path, "/prefix", &hostPath)) << path;
  EXPECT_FALSE(MapWindowsPath(nullptr, "/prefix", &hostPath));
  EXPECT_FALSE(MapWindowsPath("C:\\Games\\GHR\\Patch12.cod", "", &hostPath));
  EXPECT_FALSE(MapWindowsPath("c:", "", &hostPath));
  EXPECT_EQ("a network path, never a file of this computer", WhyUnmapped("//x", "/prefix"));
  EXPECT_EQ("a name that Windows refuses", WhyUnmapped("...\\x", "/prefix"));
  EXPECT_EQ("", hostPath);
}

}  // namespace
