// Damaged input and hostile surroundings, each a real run of the built Linux
// program in a Wine-style prefix. A run that cannot be completed must end
// with a box that says what went wrong and to which file, exit code 255 and
// no summary; a run that can be completed must show the right summary. No
// run may crash or change anything in the prefix outside the install folder.
//
// Covered elsewhere and not repeated here: an eleventh archive
// (archive_table_test.cc: the program itself mounts at most four), a missing
// install folder with no Cfg\Menu.cfg to be found and an Installpath or
// Language far too long for its buffer (installer_e2e_test.cc).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "filesystem/fff_format.h"
#include "tests/sample_game.h"
#include "tests/test_support.h"

namespace {

using std::string_literals::operator""s;

const char kBackEnds[][6] = {"d3d", "glide", "gl"};

// What a run answers when it may not mount anything here.
const int kCannotMount = 99;
const char kNoMountNamespace[] =
    "no mounts in a private mount namespace here (needs root with "
    "CAP_SYS_ADMIN): ";

// The boxes that end a run: a destination that cannot be written, and no
// Cfg\Menu.cfg to be found.
std::string CannotWriteBox(const std::string& folder,
                           const std::string& exe = "Gravelhorn_d3d.exe") {
  return "ERROR\nUnable to open the following file for writing : " + folder +
         "\\\\" + exe + "\n";
}
const char kNoMenuBox[] =
    "Gravelhorn Patch Installer\nFile not found:\tCfg\\Menu.cfg\n\n"
    "Unable to update the files. \n";

std::string PatchArchive() {
  std::vector<ArchiveMember> members;
  for (const char* backEnd : kBackEnds) {
    const std::string name = std::string("/Gravelhorn_") + backEnd + ".exe";
    members.push_back({name, "MZ " + name + " v1.2"});
  }
  members.push_back({"/Patch_eng.cod", "language patch eng"});
  return BuildFffArchive(members);
}

class FaultInjection : public ::testing::Test {
 protected:
  FaultInjection()
      : installFolder_(prefix_.DriveC() + "/Games/GHR"),
        patchFolder_(prefix_.DriveC() + "/Patch") {
    LayOutGame("[Menu]\r\nversion=0\r\n[Version]\r\nversion=v1.1\r\n");
    MakeFolders(patchFolder_);
    WriteFileBytes(patchFolder_ + "/Patch.dat", PatchArchive());
    prefix_.WriteGameKey({{"Installpath", "C:\\Games\\GHR"}, {"Language", "eng"}});
  }

  // The installed game v1.1 in installFolder_, with menu as its Menu.cfg.
  void LayOutGame(const std::string& menu) {
    MakeFolders(installFolder_);
    WriteFileBytes(installFolder_ + "/Game.cod",
                   BuildFffArchive({{"Cfg/Menu.cfg", menu}, {"Data/level1.map", "level"}}));
    WriteFileBytes(installFolder_ + "/Language.cod", BuildFffArchive({{"Text/eng.txt", "t"}}));
    WriteFileBytes(installFolder_ + "/Patch12.cod", BuildFffArchive({{"old.txt", "old"}}));
    for (const char* backEnd : kBackEnds)
      WriteFileBytes(installFolder_ + "/Gravelhorn_" + backEnd + ".exe", "MZ v1.1");
    original_ = FolderTree(installFolder_);
  }

  // A Cfg\Menu.cfg beside Patch.dat, which a disk file wins over the
  // archives, so that a run gets past the version check to the copies.
  void PutMenuBesidePatchDat() {
    MakeFolders(patchFolder_ + "/Cfg");
    WriteFileBytes(patchFolder_ + "/Cfg/Menu.cfg", "[Version]\r\nversion=v1.1\r\n");
  }

  // Runs the program from the patch folder and checks that it neither
  // crashed nor changed anything outside the install folder. glibc fills
  // every block it hands out with MALLOC_PERTURB_, so that a block taken
  // shows in the peak memory even if never read into (under AddressSanitizer
  // its shadow memory shows instead).
  CommandResult Run(std::vector<std::string> argv = {PatchInstallerPath()}) {
    const auto before = TreeOutsideInstallFolder();
    CommandResult result = RunCommand(
        argv, patchFolder_, {"WINEPREFIX=" + prefix_.path(), "MALLOC_PERTURB_=165"});
    EXPECT_NE(-1, result.exitCode) << "the program did not exit: " << result.err;
    EXPECT_EQ(before, TreeOutsideInstallFolder())
        << "the run changed the prefix outside " << installFolder_;
    return result;
  }

  std::map<std::string, std::string> TreeOutsideInstallFolder() const {
    const std::string skipped =
        std::filesystem::relative(installFolder_, prefix_.path()).string();
    std::map<std::string, std::string> entries = FolderTree(prefix_.path());
    entries.erase(skipped);
    // Below it: every name from "skipped/" up to "skipped0" ('0' follows '/').
    entries.erase(entries.lower_bound(skipped + "/"), entries.lower_bound(skipped + "0"));
    return entries;
  }

  // An error box on standard error, exit code 255, no summary, and the game
  // as expected (by default, as it was).
  void ExpectRefused(const CommandResult& result, const std::string& box,
                     const std::map<std::string, std::string>* expected = nullptr) {
    EXPECT_EQ(255, result.exitCode);
    EXPECT_EQ("", result.out);
    EXPECT_EQ(box, result.err);
    EXPECT_EQ(expected ? *expected : original_, FolderTree(installFolder_));
  }

  // The English summary over baseVersion and the game patched.
  void ExpectInstalled(const CommandResult& result, const std::string& baseVersion) {
    EXPECT_EQ(0, result.exitCode) << result.err;
    EXPECT_EQ("Gravelhorn Patch Installer\n"
              " Path:\t C:\\Games\\GHR\\ \n"
              " Base version:\t " + baseVersion + " (eng)\n"
              " Upgraded version:\t Gravelhorn v1.2 (eng)\n\n"
              " Installed.\n",
              result.out);
    EXPECT_EQ("", result.err);
    std::map<std::string, std::string> installed = original_;
    for (const char* backEnd : kBackEnds) {
      const std::string name = std::string("Gravelhorn_") + backEnd + ".exe";
      installed[name] = "MZ /" + name + " v1.2";
    }
    installed["Patch12.cod"] = "language patch eng";
    EXPECT_EQ(installed, FolderTree(installFolder_));
  }

  // Runs the program in a mount namespace of its own, after setUp (shell
  // commands, with "$1" the install folder) has changed what is mounted
  // there; then runs tearDown while the mounts still stand. Exit code
  // kCannotMount when no mount namespace can be had here.
  CommandResult RunWithInstallFolderMounted(const std::string& setUp,
                                            const std::string& tearDown = "true") {
    const std::string script = "(" + setUp + ") || exit " + std::to_string(kCannotMount) +
                               "; \"$2\"; status=$?; " + tearDown + "; exit $status";
    return Run({"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c",
                script, "sh", installFolder_, PatchInstallerPath()});
  }

  FakePrefix prefix_;
  std::string installFolder_;
  std::string patchFolder_;
  std::map<std::string, std::string> original_;
};

TEST_F(FaultInjection, ADamagedPatchDatIsNamedAndNothingIsWritten) {
  const std::string patch = PatchArchive();
  // The first member claims 100000 bytes where the file holds a few dozen.
  std::string pastTheEnd = patch;
  WriteLittleEndian32(reinterpret_cast<unsigned char*>(&pastTheEnd[28 + 132]), 100000);
  // A directory of 4 GiB in a 28-byte file.
  std::string huge(28, '\0');
  WriteLittleEndian32(reinterpret_cast<unsigned char*>(&huge[24]), 0xFFFFFFFFu);
  const std::string headerBox =
      "Gravelhorn Patch Installer\nREGISTER_FFF: file header error! (Patch.dat)\n";
  const std::string entriesBox =
      "Gravelhorn Patch Installer\nREGISTER_FFF: file entries error (Patch.dat)\n";
  const struct {
    std::string patchDat;
    std::string box;
  } cases[] = {
      {patch.substr(0, 20), headerBox},                    // cut inside its header
      {patch.substr(0, 28 + 2 * 136 + 50), entriesBox},    // cut inside its directory
      {pastTheEnd, "ERROR\nUnable to update the files.  \\Gravelhorn_d3d.exe\n"},
      {huge, entriesBox},
  };
  long peakRssKb[4];
  for (int i = 0; i < 4; ++i) {
    WriteFileBytes(patchFolder_ + "/Patch.dat", cases[i].patchDat);
    const CommandResult result = Run();
    ExpectRefused(result, cases[i].box);
    peakRssKb[i] = result.peakRssKb;
  }
  EXPECT_LT(peakRssKb[3], peakRssKb[0] + 64 * 1024)
      << "the run with a 4 GiB directory took " << peakRssKb[3]
      << " KiB at its peak, the run cut in its header " << peakRssKb[0] << " KiB";
}

TEST_F(FaultInjection, AFolderWhereAnExecutableBelongsStopsTheCopies) {
  const std::string gl = installFolder_ + "/Gravelhorn_gl.exe";
  ASSERT_EQ(0, unlink(gl.c_str()));
  MakeFolders(gl);
  original_ = FolderTree(installFolder_);
  // The two before it are in place; the patch archive was never reached.
  std::map<std::string, std::string> expected = original_;
  expected["Gravelhorn_d3d.exe"] = "MZ /Gravelhorn_d3d.exe v1.2";
  expected["Gravelhorn_glide.exe"] = "MZ /Gravelhorn_glide.exe v1.2";
  ExpectRefused(Run(), CannotWriteBox("C:\\Games\\GHR", "Gravelhorn_gl.exe"), &expected);
}

TEST_F(FaultInjection, AReadOnlyInstallFolderIsReportedNotWritten) {
  // Root writes through any file mode, so the folder is bind-mounted
  // read-only in a mount namespace of the run's own.
  const CommandResult result = RunWithInstallFolderMounted(
      "mount --bind \"$1\" \"$1\" && mount -o remount,bind,ro \"$1\" \"$1\"");
  if (result.exitCode == kCannotMount) GTEST_SKIP() << kNoMountNamespace << result.err;
  ExpectRefused(result, CannotWriteBox("C:\\Games\\GHR"));
}

// The install folder is a small file system of its own that fills up while
// one file is written: that file stays exactly as it was, the files before
// it are replaced, nothing is left behind, and once there is room again the
// patch runs through.
TEST_F(FaultInjection, AFullDiskLeavesTheFileBeingWrittenAsItWas) {
  const std::string large(200 * 1024, 'L');  // more than the room left
  const struct {
    const char* largeMember;
    std::vector<std::string> replacedFirst;
    const char* refused;
  } rows[] = {
      {"/Patch_eng.cod",
       {"Gravelhorn_d3d.exe", "Gravelhorn_glide.exe", "Gravelhorn_gl.exe"},
       "Patch12.cod"},
      {"/Gravelhorn_glide.exe", {"Gravelhorn_d3d.exe"}, "Gravelhorn_glide.exe"},
  };
  TempDir scratch;  // outside the prefix, which a run must leave alone
  const std::string stash = scratch.path() + "/stash";
  const std::string afterwards = scratch.path() + "/afterwards";
  for (const auto& row : rows) {
    SCOPED_TRACE(row.refused);
    std::vector<ArchiveMember> members;
    for (const char* backEnd : kBackEnds) {
      const std::string name = std::string("/Gravelhorn_") + backEnd + ".exe";
      members.push_back({name, name == row.largeMember ? large : "MZ " + name + " v1.2"});
    }
    members.push_back({"/Patch_eng.cod", row.largeMember == std::string("/Patch_eng.cod")
                                             ? large
                                             : "language patch eng"});
    WriteFileBytes(patchFolder_ + "/Patch.dat", BuildFffArchive(members));
    RestoreFolderFiles(afterwards, {});
    // 128 KiB: the game's files and one new small file fit, a large one not.
    const CommandResult full = RunWithInstallFolderMounted(
        "rm -rf " + stash + " && cp -a \"$1\" " + stash +
            " && mount -t tmpfs -o size=128k tmpfs \"$1\" && cp -a " + stash + "/. \"$1\"",
        "cp -a \"$1/.\" " + afterwards);
    if (full.exitCode == kCannotMount) GTEST_SKIP() << kNoMountNamespace << full.err;
    EXPECT_EQ(255, full.exitCode);
    EXPECT_EQ(CannotWriteBox("C:\\Games\\GHR", row.refused), full.err);
    FolderFiles expected = original_;
    for (const std::string& name : row.replacedFirst) expected[name] = "MZ /" + name + " v1.2";
    EXPECT_EQ(expected, FolderTree(afterwards));

    RestoreFolderFiles(installFolder_, FolderTree(afterwards));
    const CommandResult again = Run();
    EXPECT_EQ(0, again.exitCode) << again.err;
    for (const ArchiveMember& member : members) {
      const std::string name = member.name == "/Patch_eng.cod" ? "Patch12.cod"
                                                                : member.name.substr(1);
      expected[name] = member.data;
    }
    EXPECT_EQ(expected, FolderTree(installFolder_));
    RestoreFolderFiles(installFolder_, original_);
  }
}

// A read-only Patch12.cod is refused as Windows refuses it, also for root;
// a temporary file that a killed run left behind is replaced and removed.
TEST_F(FaultInjection, AReadOnlyFileIsRefusedAndAStaleTemporaryFileReplaced) {
  const std::string patch12 = installFolder_ + "/Patch12.cod";
  ASSERT_EQ(0, chmod(patch12.c_str(), 0444));
  std::map<std::string, std::string> expected = original_;
  for (const char* backEnd : kBackEnds) {
    const std::string name = std::string("Gravelhorn_") + backEnd + ".exe";
    expected[name] = "MZ /" + name + " v1.2";
  }
  ExpectRefused(Run(), CannotWriteBox("C:\\Games\\GHR", "Patch12.cod"), &expected);
  struct stat info;
  ASSERT_EQ(0, stat(patch12.c_str(), &info));
  EXPECT_EQ(0444u, info.st_mode & 0777);

  ASSERT_EQ(0, chmod(patch12.c_str(), 0640));
  RestoreFolderFiles(installFolder_, original_);
  WriteFileBytes(patch12 + ".tmp", "half a file from a killed run");
  ExpectInstalled(Run(), "v1.1");
}

TEST_F(FaultInjection, AMissingInstallFolderIsNeitherCreatedNorWrittenTo) {
  prefix_.WriteGameKey({{"Installpath", "C:\\Games\\Gone"}, {"Language", "eng"}});
  PutMenuBesidePatchDat();
  installFolder_ = prefix_.DriveC() + "/Games/Gone";
  original_ = {};
  ExpectRefused(Run(), CannotWriteBox("C:\\Games\\Gone"));
  EXPECT_FALSE(FileExists(installFolder_));
}

// Registry values that fill or pass their buffers, or are of another type:
// the registry read delivers a value's bytes whatever its type, as the
// narrow Windows interface does.
TEST_F(FaultInjection, RegistryValuesAndPathsAtAndPastTheirBuffersEndInABox) {
  const std::string longPath = "C:\\" + std::string(100, 'x') + "\\" +
                               std::string(100, 'y') + "\\" + std::string(50, 'z');
  ASSERT_EQ(255u, longPath.size());
  installFolder_ = prefix_.DriveC() + "/" + std::string(100, 'x') + "/" +
                   std::string(100, 'y') + "/" + std::string(50, 'z');
  LayOutGame("[Version]\r\nversion=v1.1\r\n");
  const std::string ghr = "\"Installpath\"=\"C:\\\\Games\\\\GHR\"\n";
  const std::string eng = "\"Language\"=\"eng\"\n";
  const std::string notCorrect = "ERROR\nThe registry not correct!\n";
  const struct {
    std::string values;
    std::string box;
  } cases[] = {
      // 255 characters fill the read with their zero; the archives' paths
      // behind them are 256 and more, so no archive is found, and neither is
      // the version.
      {"\"Installpath\"=\"" + WineRegistryEscape(longPath) + "\"\n" + eng, kNoMenuBox},
      {"\"Installpath\"=\"" + WineRegistryEscape(longPath) + "z\"\n" + eng,
       "ERROR\nGravelhorn not found or the registry not correct!\n"},
      // A language code of 16 characters does not fit 16 bytes with the zero.
      {ghr + "\"Language\"=\"" + std::string(16, 'e') + "\"\n", notCorrect},
      // A dword Installpath is the path "\x01", where no game is found; a
      // binary Language has no zero and is measured by its length.
      {"\"Installpath\"=dword:00000001\n" + eng, kNoMenuBox},
      {ghr + "\"Language\"=hex:65,6e,67,6c,69,73,68,20,65,6e,67,6c,69,73,68,21\n",
       notCorrect},
  };
  for (const auto& c : cases) {
    WriteFileBytes(prefix_.path() + "/system.reg",
                   "WINE REGISTRY Version 2\n\n#arch=win64\n\n"
                   "[Software\\\\Wow6432Node\\\\Quillfern\\\\GHR] 1796580337\n" + c.values);
    ExpectRefused(Run(), c.box);
  }

  // With the version found beside Patch.dat, the first destination under
  // the 255 characters is 276: too long to open, and named whole in the box.
  prefix_.WriteGameKey({{"Installpath", longPath}, {"Language", "eng"}});
  PutMenuBesidePatchDat();
  ExpectRefused(Run(), CannotWriteBox(longPath));
}

TEST_F(FaultInjection, MenuCfgTextsAreReadAsTheReaderCanAndNoFurther) {
  const struct {
    std::string menu;
    std::string baseVersion;  // empty: the version is refused
  } cases[] = {
      {"[Menu]\nversion=0\n[Version]\nversion=v1.1\n", "v1.1"},  // bare line feeds
      {"[Version]\r\nversion=v1.1", "v1.1"},  // no line end at its end
      // A value over 16 KiB is cut to its 16383 bytes, the version shown to
      // 255; a version past those bytes is not seen.
      {"[Version]\r\nversion=v1.1" + std::string(20000, 'x') + "\r\n",
       "v1.1" + std::string(251, 'x')},
      {"[Version]\r\nversion=" + std::string(16383, 'x') + "v1.1\r\n", ""},
      // A zero byte ends the text: behind the value it changes nothing,
      // before the entry it hides it.
      {"[Version]\r\nversion=v1.1\r\n\0[Version]\r\nversion=v1.2\r\n"s, "v1.1"},
      {"[Version]\r\n\0version=v1.1\r\n"s, ""},
  };
  for (const auto& c : cases) {
    LayOutGame(c.menu);
    if (c.baseVersion.empty())
      ExpectRefused(Run(), "ERROR\nThis patch is older than your current version of Gravelhorn!\n");
    else
      ExpectInstalled(Run(), c.baseVersion);
  }
}

}  // namespace
