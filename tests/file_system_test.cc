// Opening files by name: disk first, then the archives; both handle kinds.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "filesystem/archive_table.h"
#include "filesystem/file_system.h"
#include "installer/settings.h"
#include "tests/test_support.h"

namespace {

std::string ReadWhole(FileHandle* handle) {
  std::string bytes(static_cast<size_t>(handle->GetSize()), '\0');
  size_t read = fread(&bytes[0], 1, bytes.size(), handle->stream);
  bytes.resize(read);
  return bytes;
}

class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetArchives();
    LanguageIndex = 0;
  }
  void TearDown() override { CloseAllArchives(); }
  TempDir dir_;
};

TEST_F(FileSystemTest, DiskShadowsArchiveAndAnySpellingFindsAMember) {
  ScopedCurrentDirectory cwd(dir_.path());
  dir_.Write("first.cod", BuildFffArchive({{"Cfg/Menu.cfg", "from first"},
                                           {"dup.txt", "first entry"},
                                           {"DUP.TXT", "second entry"}}));
  dir_.Write("second.cod", BuildFffArchive({{"cfg/menu.cfg", "from second"},
                                            {"only/second.txt", "second"},
                                            {"shadowed.txt", "archived"}}));
  dir_.Write("shadowed.txt", "on disk");
  MountArchive("first.cod");
  MountArchive("second.cod");

  for (const char* spelling : {"Cfg\\Menu.cfg", "Cfg/Menu.cfg", "CFG\\MENU.CFG",
                               "cfg/menu.CFG"}) {
    FileHandle* handle = OpenFile(spelling, OPEN_FILE_READ);
    EXPECT_EQ("from first", ReadWhole(handle)) << spelling;
    CloseFile(handle);
  }
  FileHandle* handle = OpenFile("dup.txt", OPEN_FILE_READ);
  EXPECT_EQ("first entry", ReadWhole(handle));
  CloseFile(handle);
  handle = OpenFile("ONLY\\Second.txt", OPEN_FILE_READ);
  EXPECT_EQ("second", ReadWhole(handle));
  CloseFile(handle);
  handle = OpenFile("shadowed.txt", OPEN_FILE_READ);
  EXPECT_EQ("on disk", ReadWhole(handle));
  CloseFile(handle);
  EXPECT_EQ(nullptr, OpenFileQuiet("absent.txt", OPEN_FILE_READ));
  EXPECT_EQ(nullptr, OpenFileQuiet("", OPEN_FILE_READ));
  EXPECT_EQ(nullptr, OpenFileQuiet("dup.txt", 0));
  EXPECT_EQ(nullptr, OpenFileQuiet("dup.txt", 4));
  // A folder is not a file.
  MakeFolders(dir_.path() + "/folder");
  EXPECT_EQ(nullptr, OpenFileQuiet("folder", OPEN_FILE_READ));
  CloseFile(nullptr);
}

TEST_F(FileSystemTest, ArchivedFileOperations) {
  ScopedCurrentDirectory cwd(dir_.path());
  dir_.Write("a.cod", BuildFffArchive({{"pad", "xxxx"}, {"m", "member"}, {"e", ""}}));
  MountArchive("a.cod");

  FileHandle* member = OpenFile("m", OPEN_FILE_READ);
  EXPECT_EQ(6, member->GetSize());
  EXPECT_EQ(0, member->Tell());
  EXPECT_FALSE(member->IsEof());
  member->Seek(2);
  EXPECT_EQ(2, member->Tell());
  char bytes[4] = {};
  ASSERT_EQ(3u, fread(bytes, 1, 3, member->stream));
  EXPECT_STREQ("mbe", bytes);
  member->Seek(6);
  EXPECT_TRUE(member->IsEof());
  member->Close();
  member->Close();  // harmless on a member
  EXPECT_EQ(nullptr, member->stream);
  EXPECT_NE(nullptr, Archives.slots[0].stream);  // the archive stays open
  delete member;

  FileHandle* empty = OpenFile("E", OPEN_FILE_READ);
  EXPECT_EQ(0, empty->GetSize());
  EXPECT_TRUE(empty->IsEof());
  CloseFile(empty);
}

TEST_F(FileSystemTest, DiskFileOperations) {
  ScopedCurrentDirectory cwd(dir_.path());
  dir_.Write("data.bin", "0123456789");
  FileHandle* file = OpenFile("data.bin", OPEN_FILE_READ);
  file->Seek(4);
  EXPECT_EQ(10, file->GetSize());  // measured whatever the position
  EXPECT_EQ(4, file->Tell());
  char c;
  ASSERT_EQ(1u, fread(&c, 1, 1, file->stream));
  EXPECT_EQ('4', c);
  file->Seek(10);
  EXPECT_FALSE(file->IsEof());  // only a read that meets the end sets it
  EXPECT_EQ(0u, fread(&c, 1, 1, file->stream));
  EXPECT_TRUE(file->IsEof());
  CloseFile(file);

  // Mode 3 writes; writing empties an existing file; the size is measured
  // once and not updated by later writes.
  FileHandle* out = OpenFile("data.bin", OPEN_FILE_READ | OPEN_FILE_WRITE);
  ASSERT_NE(nullptr, out);
  EXPECT_EQ(0, out->GetSize());
  fwrite("abc", 1, 3, out->stream);
  EXPECT_EQ(0, out->GetSize());
  CloseFile(out);
  EXPECT_EQ("abc", ReadFileBytes(dir_.path() + "/data.bin"));

  EXPECT_EQ(nullptr, OpenFile("no\\such\\folder\\x.bin", OPEN_FILE_WRITE));
  EXPECT_EQ(nullptr, OpenFileQuiet("no\\such\\folder\\x.bin", OPEN_FILE_WRITE));
}

ProcessOutcome InChild(const std::function<void()>& body) {
  return RunInChild([&] {
    LanguageIndex = 0;
    body();
  });
}


TEST_F(FileSystemTest, ReportedFailuresEndTheRun) {
  ScopedCurrentDirectory cwd(dir_.path());
  dir_.Write("data.bin", "x");
  ExpectFileSystemFatal(InChild([] { OpenFile("Cfg\\Menu.cfg", OPEN_FILE_READ); }),
                        "File not found:\tCfg\\Menu.cfg\n\nUnable to update the files. \n");
  ProcessOutcome german = InChild([] {
    LanguageIndex = 3;
    OpenFile("Cfg/Menu.cfg", OPEN_FILE_READ);
  });
  ASSERT_EQ(1u, german.boxes.size());
  EXPECT_EQ("KIESELFUCHS-Patch-Installation", german.boxes[0].caption);
  EXPECT_EQ("Datei nicht gefunden:\tCfg/Menu.cfg\n\n"
            "Aktualisierung der Dateien nicht m\xF6glich. \n",
            german.boxes[0].text);
  ExpectFileSystemFatal(InChild([] { OpenFile("", OPEN_FILE_READ); }),
                        "FILE_SYSTEM: NO FILENAME");
  ExpectFileSystemFatal(InChild([] { OpenFile("data.bin", 0); }),
                        "FILE_SYSTEM: WRONG OPEN_FILE FLAG (data.bin)");
  ExpectFileSystemFatal(InChild([] { OpenFile("data.bin", 4); }),
                        "FILE_SYSTEM: WRONG OPEN_FILE FLAG (data.bin)");
  ExpectFileSystemFatal(InChild([] {
                          FileHandle* file = OpenFile("data.bin", OPEN_FILE_READ);
                          file->Close();
                          file->Close();
                        }),
                        "FILE ERROR!");
  ExpectFileSystemFatal(InChild([] {
                          FileHandle* file = OpenFile("data.bin", OPEN_FILE_READ);
                          file->Close();
                          file->GetSize();
                        }),
                        "FILE ERROR!");
  // A disk file of 2 GiB is refused by name, never measured with a size
  // that wrapped (the file is sparse: it takes no disk space).
  ASSERT_EQ(0, truncate(dir_.Write("huge.bin", "").c_str(), int64_t(1) << 31));
  ExpectFileSystemFatal(InChild([] {
                          FileHandle* file = OpenFile("huge.bin", OPEN_FILE_READ);
                          file->GetSize();
                        }),
                        "FILE_SYSTEM: FILE TOO LARGE OR UNREADABLE (huge.bin)");
  // A name too long for the buffer is a file that does not exist, named
  // whole in the report as far as the message holds it.
  const std::string longName(300, 'L');
  ProcessOutcome outcome = InChild([&] { OpenFile(longName.c_str(), OPEN_FILE_READ); });
  EXPECT_EQ(255, outcome.exitCode);
  ASSERT_EQ(1u, outcome.boxes.size());
  EXPECT_EQ("File not found:\t" + longName + "\n\nUnable to update the files. \n",
            outcome.boxes[0].text);
}

}  // namespace
