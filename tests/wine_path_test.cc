#include "platform/wine/wine_path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/file_replacement.h"
#include "tests/support/test_support.h"

namespace {

// A prefix laid out the way Wine lays one out: drive_c holding the game, and
// dosdevices with c: pointing at it and z: at the host's root.
class WinePathTest : public ::testing::Test {
 protected:
  WinePathTest() : prefix_(root_.path() + "/prefix") {
    root_.Write("prefix/drive_c/Games/GHR/Patch12.cod", "patch twelve");
    root_.Write("prefix/drive_c/Gravelhorn_d3d.exe", "game exe");
    MakeFolders(prefix_ + "/dosdevices");
    SetDrive("c:", "../drive_c");
    SetDrive("z:", "/");
  }

  // Links the drive to target, or removes its link when target is null.
  void SetDrive(const std::string& name, const char* target) const {
    const std::string link = prefix_ + "/dosdevices/" + name;
    unlink(link.c_str());
    EXPECT_TRUE(target == nullptr || symlink(target, link.c_str()) == 0) << link;
  }

  // Where windowsPath maps in prefix, or why it is refused (its host path
  // left empty).
  static std::string Map(const char* windowsPath, const std::string& prefix) {
    std::string hostPath;
    if (MapWindowsPath(windowsPath, prefix, &hostPath)) return hostPath;
    return hostPath.empty() ? WhyUnmapped(windowsPath, prefix) : "written: " + hostPath;
  }
  std::string Map(const std::string& windowsPath) const {
    return Map(windowsPath.c_str(), prefix_);
  }

  // Paths below the c: and z: links, and below c:'s real folder.
  std::string C(const std::string& below = "") const { return prefix_ + "/dosdevices/c:" + below; }
  std::string Z(const std::string& below = "") const { return prefix_ + "/dosdevices/z:" + below; }
  std::string OnDisk(const std::string& below) const { return prefix_ + "/drive_c" + below; }

  TempDir root_;
  const std::string prefix_;
};

TEST_F(WinePathTest, DriveLettersSeparatorsCaseAndTheCurrentFolderMapAsOnWindows) {
  for (const char* name :
       {"Variants/DATA.TXT", "Variants/Data.txt", "Variants/data.txt", "Games/\xC3\x84rger.txt"})
    root_.Write(std::string("prefix/drive_c/") + name, name);
  const std::string patch = C("/Games/GHR/Patch12.cod"), longName(100000, 'a');
  const std::string deep = "/Games/" + std::string(120, 'd') + "/" + std::string(120, 'e');
  MakeFolders(OnDisk(deep));
  std::string deepWindows = "C:", deepHost = C();
  for (int i = 0; i < 2000; ++i) deepWindows += "\\Games", deepHost += "/Games";
  // b: holds every folder too and comes first, but c: reaches deeper; d:
  // reaches as deep, and the first letter wins.
  SetDrive("b:", "/");
  SetDrive("d:", "../drive_c");
  const struct {
    std::string windows, host;
    std::string in = "";  // the current folder below drive_c, or "" for one on b: and z:
  } cases[] = {
      // Drive-relative, from a current folder on another drive: at the root.
      {"C:Games\\GHR\\Patch12.cod", patch},
      {"Z:Patch12.cod", Z("/Patch12.cod"), "/Games/GHR"},
      // A folder name loses one trailing dot, the last name every trailing
      // dot and blank; blanks end a folder's name as part of it.
      {"C:\\Games\\GHR.\\Patch12.cod. .", patch},
      {"C:\\Games.\\GHR.\\", C("/Games/GHR")},
      {"C:\\Games\\GHR..\\x", C("/Games/GHR./x")},
      {"C:\\Games\\GHR \\x", C("/Games/GHR /x")},
      {"C:\\Games\\GHR\\...", C("/Games/GHR")},
      // ".." stops at the drive's root instead of climbing into the prefix.
      {"..\\..\\..\\..\\Gravelhorn_d3d.exe", C("/Gravelhorn_d3d.exe"), "/Games/GHR"},
      {"C:", C()},
      {"C:\\", C()},
      {"Z:\\", Z()},
      {"a:\\x", prefix_ + "/dosdevices/a:/x"},
      {"A:\\x", prefix_ + "/dosdevices/a:/x"},
      {"1:\\x", C("/Games/1:/x"), "/Games"},  // no drive letter
      {"C:\\" + longName, C("/" + longName)},
      {deepWindows, deepHost},
      // The exact name wins over an earlier one that differs in case; with
      // no exact name, the first in name order.
      {"c:\\VARIANTS\\Data.txt", C("/Variants/Data.txt")},
      {"c:\\variants\\data.txt", C("/Variants/data.txt")},
      {"c:\\variants\\data.TXT", C("/Variants/DATA.TXT")},
      // Names are narrow text in the code page (1252 here), UTF-8 on the
      // host; accented letters fold as ASCII ones do.
      {"c:\\games\\\xE4rger.txt", C("/Games/\xC3\x84rger.txt")},
      {"\xFF\xFE\x80", C("/Games/\xC3\xBF\xC3\xBE\xE2\x82\xAC"), "/Games"},
      // Past the first name that matches nothing, all keep their case.
      {"c:\\games\\ghr\\NewFile.txt", C("/Games/GHR/NewFile.txt")},
      // One separator starts at the root of the current folder's drive, no
      // separator at the current folder, however long its name.
      {"/Games\\\\GHR\\Patch12.cod", patch, "/Games/GHR"},
      {"\\", C(), "/Games/GHR"},
      {"\\Gravelhorn_d3d.exe", C("/Gravelhorn_d3d.exe"), "/"},
      {"\\Gravelhorn_d3d.exe", prefix_ + "/dosdevices/b:/Gravelhorn_d3d.exe"},
      {".", C("/Games"), "/Games"},
      {"x", C(deep + "/x"), deep},
  };
  for (const auto& c : cases) {
    ScopedCurrentDirectory in(c.in.empty() ? root_.path() : OnDisk(c.in));
    EXPECT_EQ(c.host, Map(c.windows)) << c.windows << " in " << c.in;
  }
  ScopedCurrentDirectory inGames(OnDisk("/Games"));
  EXPECT_EQ("patch twelve", ReadFileBytes(Map("GHR\\Patch12.cod", "")));  // of no prefix
}

TEST_F(WinePathTest, APathOnNoDriveIsRefusedOrOffEveryDrive) {
  const std::string noDrive = "the current folder lies on no drive of the prefix";
  TempDir outside;
  outside.Write("Outside.txt", "outside");
  // With no drive holding the current folder (a sibling whose name merely
  // starts with "drive_c" is not on c:), "\name" lies on no drive and is
  // refused; a relative name is the folder's own, off every drive.
  SetDrive("z:", nullptr);
  MakeFolders(prefix_ + "/drive_c_old");
  for (const std::string& folder : {prefix_ + "/drive_c_old", outside.path()}) {
    ScopedCurrentDirectory in(folder);
    for (const char* path : {"\\Gravelhorn_d3d.exe", "\\"})
      EXPECT_EQ(noDrive, Map(path, prefix_)) << path << " in " << folder;
  }
  std::string hostPath;
  bool onDrive = true;
  {
    ScopedCurrentDirectory inOutside(outside.path());
    EXPECT_TRUE(MapWindowsPath("outside.txt", prefix_, &hostPath, &onDrive) && !onDrive);
    EXPECT_EQ(outside.path() + "/Outside.txt", hostPath);
    ScopedEnvironment wine("WINEPREFIX", prefix_.c_str());
    EXPECT_FALSE(ReplaceDiskFile("outside.txt", "x", 1));
    EXPECT_EQ("outside", ReadFileBytes(outside.path() + "/Outside.txt"));
  }
  ScopedCurrentDirectory inGames(OnDisk("/Games"));
  EXPECT_TRUE(MapWindowsPath("x", prefix_, &hostPath, &onDrive) && onDrive);
  // A prefix copied without dosdevices: z: is the host's root, as Wine
  // links it on its next start. (Whole runs show c: and the other drives.)
  std::filesystem::remove_all(prefix_ + "/dosdevices");
  EXPECT_EQ("/tmp", Map("z:\\tmp"));
  // Inside drive_c, but of no prefix.
  for (const char* path : {"\\Gravelhorn_d3d.exe", "C:\\Games\\GHR\\Patch12.cod", "c:"})
    EXPECT_EQ("there is no Wine prefix", Map(path, "")) << path;
  // Network and device paths (two separators of either kind), and a folder
  // name that collapses to "..", which Windows refuses.
  for (const char* path : {"\\\\Gravelhorn_d3d.exe", "\\\\server\\share\\GHR", "//x", "\\/x",
                           "/\\x", "\\\\?\\C:\\x", "\\\\.\\C:\\x"})
    EXPECT_EQ("a network path, never a file of this computer", Map(path, "/prefix")) << path;
  for (const char* path : {"C:\\Games\\...\\x", "...\\x"})
    EXPECT_EQ("a name that Windows refuses", Map(path, "/prefix")) << path;
  for (const char* path : {"", static_cast<const char*>(nullptr)})
    EXPECT_EQ("no file name", Map(path, "/prefix"));
}

}  // namespace
