// The packed file system where whole runs do not reach it cheaply: the
// name hash, the archive table's bounds, the lookup, the two handles, and
// members read whole in bounded requests.
#include "filesystem/file_system.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "config/config_reader.h"
#include "filesystem/archive_table.h"
#include "installer/copy_files.h"
#include "installer/settings.h"
#include "platform/io_request.h"
#include "tests/test_support.h"

namespace {

// The definition, bit by bit, to hold the table-driven hash against.
uint32_t BitwiseNameHash(const std::string& name) {
  uint32_t h = 0;
  for (unsigned char c : name) {
    h ^= c >= 'a' && c <= 'z' ? c - 32 : c;
    for (int bit = 0; bit < 8; ++bit) h = (h & 1) ? 0xEDB88320u ^ (h >> 1) : h >> 1;
  }
  return h;
}

TEST(NameHash, IsTheZeroSeededCrcOfTheUpperCasedName) {
  EXPECT_EQ(0x5CC2DA5Au, NameHash("abc"));
  EXPECT_EQ(0u, NameHash(""));
  // Every length up to past a whole name, four bytes a step and the rest;
  // the letters' edges, and bytes from 0x80 up whose low bits are letters.
  std::string name;
  for (size_t length = 0; length <= 131; ++length) {
    EXPECT_EQ(BitwiseNameHash(name), NameHash(name.c_str())) << length;
    EXPECT_EQ(BitwiseNameHash(name.substr(0, length / 2)),
              NameHashBounded(name.c_str(), length / 2));
    name += char('A' + length % 58);
  }
  for (int c = 1; c < 256; ++c)  // every byte at each place of a word of four
    for (size_t at = 0; at < 5; ++at) {
      const std::string named = std::string(at, '_') + char(c) + "z@";
      ASSERT_EQ(BitwiseNameHash(named), NameHash(named.c_str())) << c << " at " << at;
    }
  char mixed[] = "a/b\\c", again[] = "a/b\\c";
  ToBackslashes(mixed);
  ToForwardSlashes(again);
  EXPECT_STREQ("a\\b\\c", mixed);
  EXPECT_STREQ("a/b/c", again);
}

class FileSystem : public ::testing::Test {
 protected:
  FileSystem() : cwd_(dir_.path()) {
    ResetArchives();
    LanguageIndex = 0;
  }
  ~FileSystem() override { CloseAllArchives(); }

  TempDir dir_;
  ScopedCurrentDirectory cwd_;
};

TEST_F(FileSystem, MountsUpToTenArchivesOfPathsShorterThan256Bytes) {
  dir_.Write("Data/a.cod", BuildFffArchive({{"x", "1"}}));
  const std::string n250(250, 'n'), n251(251, 'n');
  dir_.Write(n250 + ".cod", BuildFffArchive({{"x", "1"}}));
  dir_.Write(n251 + ".cod", BuildFffArchive({{"x", "1"}}));
  EXPECT_FALSE(Archives.slots[kArchiveSlotCount - 1].inUse);
  MountArchive("Data/a.cod");
  EXPECT_STREQ("Data\\a.cod", Archives.slots[0].fileName);
  // 255 bytes mount; 256 and 257 are files that do not exist, never cut.
  for (const std::string& path : {std::string(), std::string("missing.cod"), n251 + ".cod",
                                  "./" + n250 + ".cod", "./" + n251 + ".cod"})
    MountArchive(path.c_str());
  MountArchive(nullptr);
  EXPECT_EQ(2, Archives.registeredCount);
  ResetArchives();
  EXPECT_EQ(nullptr, Archives.slots[0].stream);
  EXPECT_EQ(nullptr, Archives.slots[0].entries);
  EXPECT_EQ(0, Archives.slots[0].entryCount);
  EXPECT_FALSE(Archives.slots[0].inUse);
  for (int i = 0; i < 10; ++i) MountArchive("Data/a.cod");
  EXPECT_EQ(10, Archives.registeredCount);
  ExpectFileSystemFatal(RunToEnd([] { MountArchive("Data/a.cod"); }),
                        "REGISTER_FFF: too many archives, cannot mount (Data\\a.cod)");
}

TEST_F(FileSystem, FindsTheMemberTheInstallerMeans) {
  const std::string full(128, 'F');  // fills its field, no zero
  dir_.Write("one.cod", BuildFffArchive({{"Cfg/Menu.cfg", "first"},
                                         {"dup", "1st"},
                                         {"DUP", "2nd"},
                                         {"c6xhn6", "collides"},
                                         {"g2eiou", "hash twin"},
                                         {full, "full"},
                                         {"shadowed", "archived"}}));
  dir_.Write("two.cod", BuildFffArchive({{"cfg/menu.CFG", "second"}, {"only", "two"}}));
  dir_.Write("shadowed", "on disk");
  MountArchive("one.cod");
  MountArchive("two.cod");
  const std::pair<std::string, std::string> rows[] = {{"Cfg\\Menu.cfg", "first"},
                                                      {"CFG/MENU.CFG", "first"},
                                                      {"dup", "1st"},
                                                      {"ONLY", "two"},
                                                      {"G2EIOU", "hash twin"},
                                                      {full, "full"},
                                                      {full.substr(1), "<not found>"},
                                                      {"shadowed", "on disk"},
                                                      {"Cfg\\Menu", "<not found>"},
                                                      {"", "<not found>"}};
  for (const auto& row : rows) EXPECT_EQ(row.second, ReadThroughFileSystem(row.first)) << row.first;
  EXPECT_EQ(nullptr, OpenFileQuiet("dup", 0));
  EXPECT_EQ(nullptr, OpenFileQuiet("dup", 4));
  MakeFolders(dir_.path() + "/folder");
  EXPECT_EQ(nullptr, OpenFileQuiet("folder", OPEN_FILE_READ));
}

TEST_F(FileSystem, HandlesReadWriteAndEndTheRunOnMisuse) {
  dir_.Write("a.cod", BuildFffArchive({{"pad", "xxxx"}, {"m", "member"}, {"e", ""}}));
  dir_.Write("data.bin", "0123456789");
  MountArchive("a.cod");
  FileHandle* member = OpenFile("m", OPEN_FILE_READ);
  member->Seek(2);
  EXPECT_EQ(6, member->GetSize());
  EXPECT_EQ(2, member->Tell());
  EXPECT_FALSE(member->IsEof());
  member->Seek(6);
  EXPECT_TRUE(member->IsEof());
  member->Close();
  ExpectFileSystemFatal(RunToEnd([&] { member->Seek(0); }), "FILE ERROR!");
  CloseFile(member);  // a second Close is harmless on a member
  EXPECT_NE(nullptr, Archives.slots[0].stream);
  FileHandle* empty = OpenFile("E", OPEN_FILE_READ);
  EXPECT_TRUE(empty->IsEof());
  CloseFile(empty);
  FileHandle* file = OpenFile("data.bin", OPEN_FILE_READ);
  file->Seek(4);
  EXPECT_EQ(10, file->GetSize());  // whatever the position, measured once
  EXPECT_EQ(4, file->Tell());
  file->Seek(10);
  EXPECT_FALSE(file->IsEof());  // only a read that meets the end sets it
  EXPECT_EQ(0u, fread(&file, 1, 1, file->stream));
  EXPECT_TRUE(file->IsEof());
  CloseFile(file);
  FileHandle* out = OpenFile("data.bin", OPEN_FILE_READ | OPEN_FILE_WRITE);
  EXPECT_EQ(0, out->GetSize());  // emptied, and not measured again
  fwrite("abc", 1, 3, out->stream);
  EXPECT_EQ(0, out->GetSize());
  CloseFile(out);
  EXPECT_EQ("abc", ReadFileBytes(dir_.path() + "/data.bin"));
  EXPECT_EQ(nullptr, OpenFile("no\\such\\folder\\x.bin", OPEN_FILE_WRITE));
  CloseFile(nullptr);

  // A disk file of 2 GiB is refused by name (it is sparse: no disk space).
  ASSERT_EQ(0, truncate(dir_.Write("huge.bin", "").c_str(), int64_t(1) << 31));
  const std::string longName(300, 'L');
  FileHandle* handle = nullptr;
  const std::pair<std::function<void()>, std::string> misuses[] = {
      {[] { OpenFile("Cfg\\Menu.cfg", OPEN_FILE_READ); },
       "File not found:\tCfg\\Menu.cfg\n\nUnable to update the files. \n"},
      {[&] { OpenFile(longName.c_str(), OPEN_FILE_READ); },
       "File not found:\t" + longName + "\n\nUnable to update the files. \n"},
      {[] { OpenFile("", OPEN_FILE_READ); }, "FILE_SYSTEM: NO FILENAME"},
      {[] { OpenFile("data.bin", 4); }, "FILE_SYSTEM: WRONG OPEN_FILE FLAG (data.bin)"},
      {[&] { (handle = OpenFile("huge.bin", OPEN_FILE_READ))->GetSize(); },
       "FILE_SYSTEM: FILE TOO LARGE OR UNREADABLE (huge.bin)"},
      {[&] {
         (handle = OpenFile("data.bin", OPEN_FILE_READ))->Close();
         handle->Close();
       },
       "FILE ERROR!"},
  };
  for (const auto& misuse : misuses) {
    ExpectFileSystemFatal(RunToEnd(misuse.first), misuse.second);
    if (handle != nullptr && handle->stream != nullptr) handle->Close();
    delete handle;  // the run's end left it open
    handle = nullptr;
  }
  LanguageIndex = 3;
  const EndedRun german = RunToEnd([] { OpenFile("Cfg/Menu.cfg", OPEN_FILE_READ); });
  ASSERT_EQ(1u, german.boxes.size());
  EXPECT_EQ("KIESELFUCHS-Patch-Installation", german.boxes[0].caption);
  EXPECT_EQ(
      "Datei nicht gefunden:\tCfg/Menu.cfg\n\nAktualisierung der Dateien nicht m\xF6glich. \n",
      german.boxes[0].text);
}

// The largest block read asked for since it was last reset: the test program
// is linked so that every fread call goes through __wrap_fread below.
size_t largestReadRequest = 0;

// An archive's bytes behind a stream that fails every read from byte failAt
// on.
struct ScriptedArchive {
  std::string bytes;
  size_t failAt = SIZE_MAX;
  size_t position = 0;

  FILE* Open() {
    cookie_io_functions_t io = {};
    io.read = [](void* self, char* to, size_t size) -> ssize_t {
      ScriptedArchive& a = *static_cast<ScriptedArchive*>(self);
      if (a.position >= a.failAt) return -1;
      const size_t count = std::min({size, a.bytes.size() - a.position, a.failAt - a.position});
      memcpy(to, a.bytes.data() + a.position, count);
      a.position += count;
      return ssize_t(count);
    };
    io.seek = [](void* self, off64_t* offset, int whence) {
      ScriptedArchive& a = *static_cast<ScriptedArchive*>(self);
      a.position = size_t(*offset + (whence == SEEK_CUR   ? off64_t(a.position)
                                     : whence == SEEK_END ? off64_t(a.bytes.size())
                                                          : 0));
      *offset = off64_t(a.position);
      return 0;
    };
    return fopencookie(this, "rb", io);
  }
};

TEST_F(FileSystem, ReadsAMemberWholeInBoundedRequestsAndReportsAShortOne) {
  const size_t request = kLargestIoRequest;
  std::string big(2 * request + 3, ' ');  // where each byte lies shows
  for (size_t i = 0; i < big.size(); ++i) big[i] = char('a' + (i + i / 4093) % 26);
  big += "\r\n[Version]\r\nversion=v1.1\r\n";
  const std::string archive = BuildFffArchive({{"one", big.substr(0, request)}, {"big", big}});
  dir_.Write("a.cod", archive);
  // {member, the first byte of "big" whose read fails}
  const std::pair<const char*, size_t> rows[] = {{"one", SIZE_MAX},    {"big", SIZE_MAX},
                                                 {"big", 0},           {"big", request},
                                                 {"big", request - 1}, {"big", big.size() - 1}};
  for (const auto& [member, failAt] : rows) {
    SCOPED_TRACE(std::string(member) + " failing at " + std::to_string(failAt));
    ScriptedArchive scripted{archive, archive.size() - big.size() + failAt};
    MountArchive("a.cod");
    if (failAt != SIZE_MAX) {
      fclose(Archives.slots[0].stream);
      Archives.slots[0].stream = scripted.Open();
    }
    WriteFileBytes(dir_.path() + "/out.bin", "old");
    largestReadRequest = 0;
    const EndedRun run = RunToEnd([&] { CopyOneFile(member, "out.bin"); });
    EXPECT_EQ(request, largestReadRequest);
    if (failAt == SIZE_MAX) {
      EXPECT_FALSE(run.ended);
      EXPECT_EQ(member == std::string("one") ? big.substr(0, request) : big,
                ReadFileBytes(dir_.path() + "/out.bin"));
    } else {
      ASSERT_EQ(1u, run.boxes.size());
      EXPECT_EQ("Unable to update the files.  big", run.boxes[0].text);
      EXPECT_EQ("old", ReadFileBytes(dir_.path() + "/out.bin"));
    }
    CloseAllArchives();
  }
  // The configuration reader reads a member whole the same way.
  MountArchive("a.cod");
  ConfigReader reader;
  strcpy(reader.configName, "big");
  strcpy(reader.sectionName, "Version");
  strcpy(reader.keyName, "version");
  largestReadRequest = 0;
  reader.ReadValue();
  EXPECT_STREQ("v1.1", reader.value);
  EXPECT_EQ(request, largestReadRequest);
}

}  // namespace

extern "C" size_t __real_fread(void* to, size_t size, size_t count, FILE* stream);
extern "C" size_t __wrap_fread(void* to, size_t size, size_t count, FILE* stream) {
  largestReadRequest = std::max(largestReadRequest, size * count);
  return __real_fread(to, size, count, stream);
}
