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
#include <unistd.h>

#include <filesystem>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "filesystem/fff_format.h"
#include "tests/test_support.h"

namespace {

const char kBackEnds[][6] = {"d3d", "glide", "gl"};

// The bytes of a literal, zero bytes inside it included.
template <size_t N>
std::string Bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}

std::string MenuArchive(const std::string& menu) {
  return BuildFffArchive({{"Cfg/Menu.cfg", menu}, {"Data/level1.map", "level"}});
}

std::string PatchArchive() {
  std::vector<ArchiveMember> members;
  for (const char* backEnd : kBackEnds) {
    const std::string name = std::string("/Gravelhorn_") + backEnd + ".exe";
    members.push_back({name, "MZ " + name + " v1.2"});
  }
  members.push_back({"/Patch_eng.cod", "language patch eng"});
  return BuildFffArchive(members);
}

// Every entry below root by its relative path: a file's bytes, a link's
// target or "folder". Links are not followed.
std::map<std::string, std::string> Tree(const std::string& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> entries;
  if (!fs::exists(root)) return entries;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(entry.path(), root).string();
    if (entry.is_symlink())
      entries[relative] = "link to " + fs::read_symlink(entry.path()).string();
    else if (entry.is_directory())
      entries[relative] = "folder";
    else
      entries[relative] = ReadFileBytes(entry.path().string());
  }
  return entries;
}

// The tree without the install folder and what it holds.
std::map<std::string, std::string> TreeOutside(const std::string& root,
                                               const std::string& installFolder) {
  const std::string skipped =
      std::filesystem::relative(installFolder, root).string();
  std::map<std::string, std::string> entries = Tree(root);
  for (auto it = entries.begin(); it != entries.end();) {
    const bool inside = it->first == skipped ||
                        it->first.compare(0, skipped.size() + 1, skipped + "/") == 0;
    it = inside ? entries.erase(it) : std::next(it);
  }
  return entries;
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
    WriteFileBytes(installFolder_ + "/Game.cod", MenuArchive(menu));
    WriteFileBytes(installFolder_ + "/Language.cod", BuildFffArchive({{"Text/eng.txt", "t"}}));
    WriteFileBytes(installFolder_ + "/Patch12.cod", BuildFffArchive({{"old.txt", "old"}}));
    for (const char* backEnd : kBackEnds)
      WriteFileBytes(installFolder_ + "/Gravelhorn_" + backEnd + ".exe", "MZ v1.1");
    original_ = Tree(installFolder_);
  }

  // Runs the program from the patch folder and checks that it neither
  // crashed nor changed anything outside the install folder.
  CommandResult Run(std::vector<std::string> argv = {},
                    const std::vector<std::string>& environment = {}) {
    if (argv.empty()) argv.push_back(PatchInstallerPath());
    std::vector<std::string> fullEnvironment = {"WINEPREFIX=" + prefix_.path()};
    fullEnvironment.insert(fullEnvironment.end(), environment.begin(), environment.end());
    const auto before = TreeOutside(prefix_.path(), installFolder_);
    CommandResult result = RunCommand(argv, patchFolder_, fullEnvironment);
    EXPECT_NE(-1, result.exitCode) << "the program did not exit: " << result.err;
    EXPECT_EQ(before, TreeOutside(prefix_.path(), installFolder_))
        << "the run changed the prefix outside " << installFolder_;
    return result;
  }

  // An error box on standard error, exit code 255, no summary, and the game
  // as it was.
  void ExpectRefused(const CommandResult& result, const std::string& box) {
    EXPECT_EQ(255, result.exitCode);
    EXPECT_EQ("", result.out);
    EXPECT_EQ(box, result.err);
    EXPECT_EQ(original_, Tree(installFolder_));
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
    EXPECT_EQ(installed, Tree(installFolder_));
  }

  void WritePatchDat(const std::string& bytes) {
    WriteFileBytes(patchFolder_ + "/Patch.dat", bytes);
  }

  FakePrefix prefix_;
  std::string installFolder_;
  std::string patchFolder_;
  std::map<std::string, std::string> original_;
};

TEST_F(FaultInjection, ADamagedPatchDatIsNamedAndNothingIsWritten) {
  const std::string patch = PatchArchive();
  const std::string fileSystemBox = "Gravelhorn Patch Installer\nREGISTER_FFF: ";

  WritePatchDat(patch.substr(0, 20));  // cut inside its header
  ExpectRefused(Run(), fileSystemBox + "file header error! (Patch.dat)\n");

  WritePatchDat(patch.substr(0, 28 + 2 * 136 + 50));  // cut inside its directory
  ExpectRefused(Run(), fileSystemBox + "file entries error (Patch.dat)\n");

  // The first member claims 100000 bytes where the file holds a few dozen.
  std::string pastTheEnd = patch;
  WriteLittleEndian32(reinterpret_cast<unsigned char*>(&pastTheEnd[28 + 132]), 100000);
  WritePatchDat(pastTheEnd);
  ExpectRefused(Run(), "ERROR\nUnable to update the files.  \\Gravelhorn_d3d.exe\n");
}

TEST_F(FaultInjection, A4GiBDirectoryInA28ByteFileIsRefusedWithoutTheMemory) {
  std::string huge(28, '\0');
  WriteLittleEndian32(reinterpret_cast<unsigned char*>(&huge[24]), 0xFFFFFFFFu);
  // glibc fills every block it hands out with this, so that a block taken
  // for the directory would show in the peak even if never read into; under
  // AddressSanitizer its shadow memory shows instead.
  const std::vector<std::string> fillBlocks = {"MALLOC_PERTURB_=165"};

  WritePatchDat(std::string(20, '\0'));
  const CommandResult cut = Run({}, fillBlocks);
  ExpectRefused(cut, "Gravelhorn Patch Installer\nREGISTER_FFF: file header error! (Patch.dat)\n");

  WritePatchDat(huge);
  const CommandResult result = Run({}, fillBlocks);
  ExpectRefused(result, "Gravelhorn Patch Installer\nREGISTER_FFF: file entries error (Patch.dat)\n");
  EXPECT_LT(result.peakRssKb, cut.peakRssKb + 64 * 1024)
      << "the run with a 4 GiB directory took " << result.peakRssKb
      << " KiB at its peak, the run cut in its header " << cut.peakRssKb << " KiB";
}

TEST_F(FaultInjection, AFullDiskIsReportedWithTheFileAndNoSummary) {
  const std::string destination = installFolder_ + "/Gravelhorn_d3d.exe";
  ASSERT_EQ(0, unlink(destination.c_str()));
  ASSERT_EQ(0, symlink("/dev/full", destination.c_str()));
  original_ = Tree(installFolder_);
  ExpectRefused(Run(), "ERROR\nUnable to open the following file for writing : "
                       "C:\\Games\\GHR\\\\Gravelhorn_d3d.exe\n");
}

TEST_F(FaultInjection, AFolderWhereAnExecutableBelongsStopsTheCopies) {
  const std::string gl = installFolder_ + "/Gravelhorn_gl.exe";
  ASSERT_EQ(0, unlink(gl.c_str()));
  MakeFolders(gl);
  original_ = Tree(installFolder_);
  const CommandResult result = Run();
  EXPECT_EQ(255, result.exitCode);
  EXPECT_EQ("", result.out);
  EXPECT_EQ("ERROR\nUnable to open the following file for writing : "
            "C:\\Games\\GHR\\\\Gravelhorn_gl.exe\n",
            result.err);
  // The two before it are in place; the patch archive was never reached.
  std::map<std::string, std::string> expected = original_;
  expected["Gravelhorn_d3d.exe"] = "MZ /Gravelhorn_d3d.exe v1.2";
  expected["Gravelhorn_glide.exe"] = "MZ /Gravelhorn_glide.exe v1.2";
  EXPECT_EQ(expected, Tree(installFolder_));
}

TEST_F(FaultInjection, AReadOnlyInstallFolderIsReportedNotWritten) {
  // Root writes through any file mode, so the folder is bind-mounted
  // read-only in a mount namespace of the run's own.
  const std::string mountReadOnly =
      "mount --bind \"$1\" \"$1\" && mount -o remount,bind,ro \"$1\" \"$1\" && "
      "shift && exec \"$@\"";
  const std::vector<std::string> probe = {
      "/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c",
      mountReadOnly, "sh", installFolder_, "/bin/true"};
  const CommandResult probed = RunCommand(probe, patchFolder_);
  if (probed.exitCode != 0)
    GTEST_SKIP() << "no read-only bind mount in a private mount namespace here "
                    "(needs root with CAP_SYS_ADMIN): "
                 << probed.err;

  std::vector<std::string> argv = probe;
  argv.back() = PatchInstallerPath();
  ExpectRefused(Run(argv), "ERROR\nUnable to open the following file for writing : "
                           "C:\\Games\\GHR\\\\Gravelhorn_d3d.exe\n");
}

TEST_F(FaultInjection, AMissingInstallFolderIsNeitherCreatedNorWrittenTo) {
  // The version check is passed by a Cfg\Menu.cfg beside Patch.dat, which a
  // disk file wins over the archives, so the run gets as far as the copies.
  prefix_.WriteGameKey({{"Installpath", "C:\\Games\\Gone"}, {"Language", "eng"}});
  MakeFolders(patchFolder_ + "/Cfg");
  WriteFileBytes(patchFolder_ + "/Cfg/Menu.cfg", "[Version]\r\nversion=v1.1\r\n");
  installFolder_ = prefix_.DriveC() + "/Games/Gone";
  original_ = {};
  const CommandResult result = Run();
  ExpectRefused(result, "ERROR\nUnable to open the following file for writing : "
                        "C:\\Games\\Gone\\\\Gravelhorn_d3d.exe\n");
  EXPECT_FALSE(FileExists(installFolder_));
}

TEST_F(FaultInjection, PathsAndNamesAtAndPastTheirBuffersAreNamedInTheBox) {
  // An install path of 255 characters fills the registry read with its
  // zero; the archives' paths behind it are 256 and more, so no archive
  // is found, and neither is the version.
  const std::string longPath = "C:\\" + std::string(100, 'x') + "\\" +
                               std::string(100, 'y') + "\\" + std::string(50, 'z');
  ASSERT_EQ(255u, longPath.size());
  installFolder_ = prefix_.DriveC() + "/" + std::string(100, 'x') + "/" +
                   std::string(100, 'y') + "/" + std::string(50, 'z');
  LayOutGame("[Version]\r\nversion=v1.1\r\n");
  prefix_.WriteGameKey({{"Installpath", longPath}, {"Language", "eng"}});
  ExpectRefused(Run(), "Gravelhorn Patch Installer\nFile not found:\tCfg\\Menu.cfg\n\n"
                       "Unable to update the files. \n");

  // With the version found beside Patch.dat, the first destination is 276
  // characters: too long to open, and named whole in the box.
  MakeFolders(patchFolder_ + "/Cfg");
  WriteFileBytes(patchFolder_ + "/Cfg/Menu.cfg", "[Version]\r\nversion=v1.1\r\n");
  ExpectRefused(Run(), "ERROR\nUnable to open the following file for writing : " +
                           longPath + "\\\\Gravelhorn_d3d.exe\n");

  // 256 characters do not fit the registry read.
  prefix_.WriteGameKey({{"Installpath", longPath + "z"}, {"Language", "eng"}});
  ExpectRefused(Run(), "ERROR\nGravelhorn not found or the registry not correct!\n");

  // A language code of 16 characters does not fit its 16 bytes with the zero.
  prefix_.WriteGameKey({{"Installpath", "C:\\Games\\GHR"}, {"Language", std::string(16, 'e')}});
  ExpectRefused(Run(), "ERROR\nThe registry not correct!\n");
}

// The registry read delivers a value's bytes whatever its type, as the
// narrow Windows interface does: a dword Installpath becomes the path
// "\x01", where no game is found; a binary Language has no zero and is
// measured by its length.
TEST_F(FaultInjection, RegistryValuesOfAnotherTypeEndInABox) {
  const std::string key =
      "WINE REGISTRY Version 2\n\n#arch=win64\n\n"
      "[Software\\\\Wow6432Node\\\\Quillfern\\\\GHR] 1796580337\n";
  const std::string systemReg = prefix_.path() + "/system.reg";

  WriteFileBytes(systemReg, key + "\"Installpath\"=dword:00000001\n\"Language\"=\"eng\"\n");
  ExpectRefused(Run(), "Gravelhorn Patch Installer\nFile not found:\tCfg\\Menu.cfg\n\n"
                       "Unable to update the files. \n");

  WriteFileBytes(systemReg, key + "\"Installpath\"=\"C:\\\\Games\\\\GHR\"\n"
                                  "\"Language\"=hex:65,6e,67,6c,69,73,68,20,65,6e,67,6c,"
                                  "69,73,68,21\n");
  ExpectRefused(Run(), "ERROR\nThe registry not correct!\n");
}

TEST_F(FaultInjection, MenuCfgTextsTheReaderCanStillUse) {
  LayOutGame("[Menu]\nversion=0\n[Version]\nversion=v1.1\n");  // bare line feeds
  ExpectInstalled(Run(), "v1.1");

  LayOutGame("[Version]\r\nversion=v1.1");  // no line end at its end
  ExpectInstalled(Run(), "v1.1");

  // A value over 16 KiB is cut to its 16383 bytes, the version shown to 255.
  LayOutGame("[Version]\r\nversion=v1.1" + std::string(20000, 'x') + "\r\n");
  ExpectInstalled(Run(), "v1.1" + std::string(251, 'x'));

  // A zero byte ends the text: behind the value it changes nothing.
  LayOutGame(Bytes("[Version]\r\nversion=v1.1\r\n\0[Version]\r\nversion=v1.2\r\n"));
  ExpectInstalled(Run(), "v1.1");
}

TEST_F(FaultInjection, MenuCfgTextsThatHideTheVersionAreRefused) {
  const std::string refused =
      "ERROR\nThis patch is older than your current version of Gravelhorn!\n";

  // The version lies past the 16383 bytes the value can hold.
  LayOutGame("[Version]\r\nversion=" + std::string(16383, 'x') + "v1.1\r\n");
  ExpectRefused(Run(), refused);

  // A zero byte before the entry ends the text there.
  LayOutGame(Bytes("[Version]\r\n\0version=v1.1\r\n"));
  ExpectRefused(Run(), refused);
}

}  // namespace
