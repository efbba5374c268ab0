// The packed file system where whole runs do not reach it cheaply: the
// name hash, the archive table's bounds, the lookup, the two handles, and
// members read whole in bounded requests.
#include "filesystem/file_system.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "filesystem/archive_table.h"
#include "installer/copy_files.h"
#include "installer/settings.h"
#include "platform/io_request.h"
#include "tests/support/scenarios.h"

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
  // Every length up to past a whole name, four bytes a step and the rest;
  // every byte at each place of a word of four, and in the rest.
  std::string name;
  for (size_t length = 0; length <= 131; name += char('A' + length++ % 58)) {
    EXPECT_EQ(BitwiseNameHash(name), NameHash(name.c_str())) << length;
    EXPECT_EQ(BitwiseNameHash(name.substr(0, length / 2)),
              NameHashBounded(name.c_str(), length / 2));
  }
  for (int c = 1; c < 256; ++c)
    for (size_t at = 0; at < 5; ++at)
      for (const char* rest : {"z@", "z@!"}) {
        const std::string named = std::string(at, '_') + char(c) + rest;
        ASSERT_EQ(BitwiseNameHash(named), NameHash(named.c_str())) << c << " at " << at << rest;
      }
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
  const std::string n250(250, 'n'), n251(251, 'n');
  for (const std::string& path : {std::string("Data/a.cod"), n250 + ".cod", n251 + ".cod"})
    dir_.Write(path, BuildFffArchive({{"x", "1"}}));
  MountArchive("Data/a.cod");
  EXPECT_STREQ("Data\\a.cod", Archives.slots[0].fileName);
  // 255 bytes mount; 256 and 257 are files that do not exist, never cut.
  for (const std::string& path : {std::string(), std::string("missing.cod"), n251 + ".cod",
                                  "./" + n250 + ".cod", "./" + n251 + ".cod"})
    MountArchive(path.c_str());
  MountArchive(nullptr);
  EXPECT_EQ(2, Archives.registeredCount);
  ResetArchives();
  EXPECT_TRUE(Archives.slots[0].entries == nullptr && Archives.slots[0].entryCount == 0);
  for (int i = 0; i < 10; ++i) MountArchive("Data/a.cod");
  EXPECT_EQ(10, Archives.registeredCount);
  ExpectFileSystemFatal(RunToEnd([] { MountArchive("Data/a.cod"); }),
                        "REGISTER_FFF: too many archives, cannot mount (Data\\a.cod)");
}

// A directory bigger than the memory left (here a 4 GiB one, sparse, with
// the address space limited) is refused in the words of the box. (Not
// under the sanitizers, whose own memory does not fit the limit.)
#ifndef __SANITIZE_ADDRESS__
TEST_F(FileSystem, ADirectoryThatFitsNoMemoryIsRefusedWithTheBoxText) {
  const std::string header = std::string(24, '\0') + std::string("\0\xFF\xFF\xFF", 4);
  std::filesystem::resize_file(dir_.Write("big.cod", header), 28 + 0xFFFFFF00ull);
  auto mountInLittleMemory = [] {
    const rlimit limit = {size_t(1) << 31, size_t(1) << 31};
    char failure[64] = "";
    if (setrlimit(RLIMIT_AS, &limit) == 0)  // the result, kFailed, is 2
      fprintf(stderr, "%d[%s]", int(TryMountArchive("big.cod", failure, sizeof failure)), failure);
    exit(0);
  };
  EXPECT_EXIT(mountInLittleMemory(), ::testing::ExitedWithCode(0),
              "^2\\[Not enough free memory!\\]$");
}
#endif

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
  const std::pair<std::string, std::string> rows[] = {
      {"Cfg\\Menu.cfg", "first"},
      {"CFG/MENU.CFG", "first"},
      {"dup", "1st"},
      {"ONLY", "two"},
      {"G2EIOU", "hash twin"},
      {full, "full"},
      {full.substr(1), "<not found>"},
      {"shadowed", "on disk"},
      {"Cfg\\Menu", "<not found>"},
      {"", "<not found>"},
  };
  for (const auto& row : rows) EXPECT_EQ(row.second, ReadThroughFileSystem(row.first)) << row.first;
}

TEST_F(FileSystem, HandlesReadWriteAndEndTheRunOnMisuse) {
  dir_.Write("a.cod", BuildFffArchive({{"pad", "xxxx"}, {"m", "member"}, {"e", ""}}));
  dir_.Write("data.bin", "0123456789");
  MountArchive("a.cod");
  // A member, an empty one and a disk file, each opened and sought to
  // position: its size (a disk file's measured once, wherever it stands)
  // and whether it is at its end (a disk file only once a read meets it).
  const std::tuple<std::string, int32_t, int32_t, bool> handles[] = {
      {"m", 2, 6, false},         {"m", 6, 6, true},           {"E", 0, 0, true},
      {"data.bin", 4, 10, false}, {"data.bin", 10, 10, false},
  };
  for (const auto& [name, position, size, atEnd] : handles) {
    SCOPED_TRACE(name + " at " + std::to_string(position));
    FileHandle* handle = OpenFile(name.c_str(), OPEN_FILE_READ);
    handle->Seek(position);
    // Measured in this order (a braced list's): the size must leave the position.
    EXPECT_EQ(
        std::tuple(size, position, atEnd),
        (std::tuple<int32_t, int32_t, bool>{handle->GetSize(), handle->Tell(), handle->IsEof()}));
    EXPECT_TRUE(position != 10 || (!fread(&handle, 1, 1, handle->stream) && handle->IsEof()));
    if (name == "m") {
      handle->Close();
      for (const std::function<void()>& use :
           std::vector<std::function<void()>>{[&] { handle->Seek(0); }, [&] { handle->Tell(); },
                                              [&] { handle->IsEof(); }, [&] { handle->GetSize(); }})
        ExpectFileSystemFatal(RunToEnd(use), "FILE ERROR!");
    }
    CloseFile(handle);  // a member's second Close is harmless
  }
  FileHandle* out = OpenFile("data.bin", OPEN_FILE_READ | OPEN_FILE_WRITE);
  EXPECT_EQ(0, out->GetSize());  // emptied, and not measured again
  fwrite("abc", 1, 3, out->stream);
  EXPECT_EQ(0, out->GetSize());
  CloseFile(out);
  EXPECT_EQ("abc", ReadFileBytes(dir_.path() + "/data.bin"));

  // A disk file of 2 GiB is refused by name (it is sparse: no disk space).
  ASSERT_EQ(0, truncate(dir_.Write("huge.bin", "").c_str(), int64_t(1) << 31));
  const std::string longName(300, 'L');
  FileHandle* handle = nullptr;
  const std::pair<std::function<void()>, std::string> misuses[] = {
      {[&] { OpenFile(longName.c_str(), OPEN_FILE_READ); },
       "File not found:\t" + longName + "\n\nUnable to update the files. \n"},
      {[] { OpenFile("", OPEN_FILE_READ); }, "FILE_SYSTEM: NO FILENAME"},
      {[] { OpenFile("data.bin", 4); }, "FILE_SYSTEM: WRONG OPEN_FILE FLAG (data.bin)"},
      {[&] { (handle = OpenFile("huge.bin", OPEN_FILE_READ))->GetSize(); },
       "FILE_SYSTEM: FILE TOO LARGE OR UNREADABLE (huge.bin)"},
      {[&] { (handle = OpenFile("data.bin", OPEN_FILE_READ))->Close(), handle->Close(); },
       "FILE ERROR!"},
  };
  for (const auto& misuse : misuses) {
    ExpectFileSystemFatal(RunToEnd(misuse.first), misuse.second);
    if (handle != nullptr && handle->stream != nullptr) handle->Close();
    delete handle;  // the run's end left it open
    handle = nullptr;
  }
}

// Every fread call goes through __wrap_fread below (the test program is
// linked so): it records the largest request since largestReadRequest was
// reset, and a read that would pass byte failAt of its stream stops there.
size_t largestReadRequest = 0;
long failAt = LONG_MAX;

TEST_F(FileSystem, ReadsAMemberWholeInBoundedRequestsAndReportsAShortOne) {
  const size_t request = kLargestIoRequest;
  std::string big(2 * request + 3, ' ');  // where each byte lies shows
  for (size_t i = 0; i < big.size(); ++i) big[i] = char('a' + (i + i / 4093) % 26);
  // "empty" has no bytes; "cut" claims one more than the archive holds.
  const std::string archive = With32(
      BuildFffArchive({{"one", big.substr(0, request)}, {"empty", ""}, {"big", big}, {"cut", "c"}}),
      28 + 3 * 136 + 132, 2);
  dir_.Write("a.cod", archive);
  // {member, the first byte of "big" whose read fails}
  const std::pair<std::string, size_t> rows[] = {
      {"one", SIZE_MAX},    {"big", SIZE_MAX},       {"big", 0},          {"big", request},
      {"big", request - 1}, {"big", big.size() - 1}, {"empty", SIZE_MAX}, {"cut", 0},
  };
  for (const auto& [member, failsAt] : rows) {
    SCOPED_TRACE(member + " failing at " + std::to_string(failsAt));
    MountArchive("a.cod");
    failAt = failsAt == SIZE_MAX || member != "big"
                 ? LONG_MAX
                 : long(archive.size() - 1 - big.size() + failsAt);
    WriteFileBytes(dir_.path() + "/out.bin", "old");
    largestReadRequest = 0;
    const EndedRun run = RunToEnd([&] { CopyOneFile(member.c_str(), "out.bin"); });
    failAt = LONG_MAX;
    EXPECT_EQ(member == "one" || member == "big" ? request : 0, largestReadRequest);
    EXPECT_EQ(failsAt != SIZE_MAX,
              run.ended && run.boxes.size() == 1 &&
                  run.boxes[0].text == "Unable to update the files.  " + member);
    const std::string copied = member == "one"   ? big.substr(0, request)
                               : member == "big" ? big
                                                 : "";
    EXPECT_EQ(failsAt != SIZE_MAX ? "old" : copied, ReadFileBytes(dir_.path() + "/out.bin"));
    CloseAllArchives();
  }
}

// Closing the archives closes their files: no descriptor stays open.
TEST_F(FileSystem, ClosingTheArchivesClosesTheirFiles) {
  dir_.Write("a.cod", BuildFffArchive({{"x", "x"}}));
  const auto open = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
  };
  const auto before = open();
  MountArchive("a.cod");
  MountArchive("a.cod");
  EXPECT_EQ(before + 2, open());
  CloseAllArchives();
  EXPECT_EQ(before, open());
}

}  // namespace

extern "C" size_t __real_fread(void* to, size_t size, size_t count, FILE* stream);
extern "C" size_t __wrap_fread(void* to, size_t size, size_t count, FILE* stream) {
  largestReadRequest = std::max(largestReadRequest, size * count);
  const long at = failAt == LONG_MAX || size == 0 ? -1 : ftell(stream);
  if (at >= 0 && at + long(size * count) > failAt) count = size_t(std::max(0L, failAt - at)) / size;
  return __real_fread(to, size, count, stream);
}
