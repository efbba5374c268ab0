// Copying files out of the packed file system into the installation.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "filesystem/archive_table.h"
#include "filesystem/fff_format.h"
#include "installer/copy_files.h"
#include "installer/patch_application.h"
#include "installer/settings.h"
#include "tests/test_support.h"

namespace {

class CopyFilesTest : public ::testing::Test {
 protected:
  CopyFilesTest()
      : wine_("WINEPREFIX", prefix_.path().c_str()),
        gameFolder_(prefix_.DriveC() + "/Games/GHR"),
        patchFolder_(prefix_.DriveC() + "/Patch") {
    MakeFolders(gameFolder_);
    MakeFolders(patchFolder_);
    strcpy(InstallPath, "C:\\Games\\GHR\\");
    LanguageIndex = 0;
    ResetArchives();
  }
  ~CopyFilesTest() override { CloseAllArchives(); }

  void MountPatch(const std::vector<ArchiveMember>& members) {
    WriteFileBytes(patchFolder_ + "/Patch.dat", BuildFffArchive(members));
    MountArchive((patchFolder_ + "/Patch.dat").c_str());
  }

  FakePrefix prefix_;
  ScopedEnvironment wine_;
  std::string gameFolder_;
  std::string patchFolder_;
};

TEST_F(CopyFilesTest, CopiesWholeFilesReplacingLongerOnes) {
  MountPatch({{"/Gravelhorn_d3d.exe", "new d3d"}, {"/Empty.bin", ""}});
  WriteFileBytes(gameFolder_ + "/Gravelhorn_d3d.exe", std::string(5000, 'o'));
  EXPECT_TRUE(CopyOneFile("\\Gravelhorn_d3d.exe", "C:\\Games\\GHR\\\\Gravelhorn_d3d.exe"));
  EXPECT_EQ("new d3d", ReadFileBytes(gameFolder_ + "/Gravelhorn_d3d.exe"));
  EXPECT_TRUE(CopyOneFile("/empty.BIN", "C:\\Games\\GHR\\empty.bin"));
  EXPECT_EQ("", ReadFileBytes(gameFolder_ + "/empty.bin"));
}

TEST_F(CopyFilesTest, CopiesFilesOfSeveralMegabytesByteForByte) {
  // Sizes at and around the 2 MiB pages that large blocks are made of.
  const size_t sizes[] = {(2u << 20) - 1, 2u << 20, (5u << 20) + 3};
  std::vector<ArchiveMember> members;
  for (size_t size : sizes) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i)
      data[i] = static_cast<char>((i * 131 + size) >> 3);
    members.push_back({"/big" + std::to_string(size) + ".bin", data});
  }
  MountPatch(members);
  for (const ArchiveMember& member : members) {
    SCOPED_TRACE(member.name);
    EXPECT_TRUE(CopyOneFile(member.name.c_str(),
                            ("C:\\Games\\GHR" + member.name).c_str()));
    EXPECT_TRUE(ReadFileBytes(gameFolder_ + member.name) == member.data);
  }
}

TEST_F(CopyFilesTest, ADiskFileAtTheRootOfTheCurrentDriveShadowsTheMember) {
  MountPatch({{"/Gravelhorn_d3d.exe", "archived"}});
  WriteFileBytes(prefix_.DriveC() + "/Gravelhorn_d3d.exe", "from the drive root");
  ScopedCurrentDirectory cwd(patchFolder_);
  CopyOneFile("\\Gravelhorn_d3d.exe", "C:\\Games\\GHR\\\\Gravelhorn_d3d.exe");
  EXPECT_EQ("from the drive root", ReadFileBytes(gameFolder_ + "/Gravelhorn_d3d.exe"));
}

TEST_F(CopyFilesTest, ASetCopiesInOrderAndStopsAtItsFirstFailure) {
  MountPatch({{"/Gravelhorn_d3d.exe", "d3d"}, {"/Gravelhorn_glide.exe", "glide"}});
  ProcessOutcome outcome =
      RunInChild([] { CopyFileSet(StandardEditionExecutables); });
  EXPECT_EQ(255, outcome.exitCode);
  ASSERT_EQ(1u, outcome.boxes.size());
  EXPECT_EQ("ERROR", outcome.boxes[0].caption);
  EXPECT_EQ(0x10u, outcome.boxes[0].style);
  EXPECT_EQ("File not found: \\Gravelhorn_gl.exe", outcome.boxes[0].text);
  EXPECT_EQ("d3d", ReadFileBytes(gameFolder_ + "/Gravelhorn_d3d.exe"));
  EXPECT_EQ("glide", ReadFileBytes(gameFolder_ + "/Gravelhorn_glide.exe"));
  EXPECT_FALSE(FileExists(gameFolder_ + "/Gravelhorn_gl.exe"));
}

TEST_F(CopyFilesTest, AMissingMemberIsReportedInTheCurrentLanguage) {
  ProcessOutcome outcome = RunInChild([] {
    LanguageIndex = 3;
    CopyFileSet(GermanEditionExecutables);
  });
  EXPECT_EQ(255, outcome.exitCode);
  ASSERT_EQ(1u, outcome.boxes.size());
  EXPECT_EQ("ERROR", outcome.boxes[0].caption);
  EXPECT_EQ("Datei nicht gefunden: \\Kieselfuchs_d3d.exe", outcome.boxes[0].text);
}

TEST_F(CopyFilesTest, AMissingInstallFolderIsReportedWithTheFullDestination) {
  MountPatch({{"/Gravelhorn_d3d.exe", "d3d"}});
  ProcessOutcome outcome = RunInChild([] {
    strcpy(InstallPath, "C:\\Missing\\");
    CopyFileSet(StandardEditionExecutables);
  });
  EXPECT_EQ(255, outcome.exitCode);
  ASSERT_EQ(1u, outcome.boxes.size());
  EXPECT_EQ("Unable to open the following file for writing : "
            "C:\\Missing\\\\Gravelhorn_d3d.exe",
            outcome.boxes[0].text);
  EXPECT_FALSE(FileExists(prefix_.DriveC() + "/Missing"));
}

TEST_F(CopyFilesTest, AMemberPastTheEndOfItsArchiveWritesNothing) {
  std::string archive = BuildFffArchive({{"/Gravelhorn_d3d.exe", "short"}});
  // The entry claims 1000 bytes where the file holds 5.
  WriteLittleEndian32(reinterpret_cast<unsigned char*>(&archive[28 + 132]), 1000);
  WriteFileBytes(patchFolder_ + "/Patch.dat", archive);
  MountArchive((patchFolder_ + "/Patch.dat").c_str());
  WriteFileBytes(gameFolder_ + "/Gravelhorn_d3d.exe", "old");
  ProcessOutcome outcome = RunInChild([] {
    CopyOneFile("\\Gravelhorn_d3d.exe", "C:\\Games\\GHR\\\\Gravelhorn_d3d.exe");
  });
  EXPECT_EQ(255, outcome.exitCode);
  ASSERT_EQ(1u, outcome.boxes.size());
  EXPECT_EQ("ERROR", outcome.boxes[0].caption);
  EXPECT_EQ("Unable to update the files.  \\Gravelhorn_d3d.exe", outcome.boxes[0].text);
  EXPECT_EQ("old", ReadFileBytes(gameFolder_ + "/Gravelhorn_d3d.exe"));
}

TEST_F(CopyFilesTest, AnAbsentBlockIsAMemoryFailure) {
  ProcessOutcome outcome = RunInChild([] { WriteBufferToFile(nullptr, 0, "x"); });
  EXPECT_EQ(255, outcome.exitCode);
  ASSERT_EQ(1u, outcome.boxes.size());
  EXPECT_EQ("Not enough free memory!", outcome.boxes[0].text);
}

}  // namespace
