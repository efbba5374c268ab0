// Platform services whole runs use without showing their bounds: large
// blocks at the edges of their pages, and the replacement of a file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "platform/file_replacement.h"
#include "platform/large_block.h"
#include "tests/test_support.h"

namespace {

TEST(LargeBlock, HoldsEveryByteAskedFor) {
  for (size_t size : {size_t(0), size_t(1), (size_t(2) << 20) - 1, size_t(2) << 20,
                      (size_t(2) << 20) + 1, (size_t(6) << 20) + 3}) {
    char* block = static_cast<char*>(AllocateLargeBlock(size));
    ASSERT_NE(nullptr, block) << size;
    memset(block, 0x5A, size > 0 ? size : 1);  // a block of 0 bytes still is one
    ReleaseLargeBlock(block, size);
  }
}

TEST(ReplaceDiskFile, KeepsTheFilesModeAndRefusesWhatCannotBeWritten) {
  FakePrefix prefix;
  ScopedEnvironment wine("WINEPREFIX", prefix.path().c_str());
  const std::string file = prefix.DriveC() + "/Game.cod";
  WriteFileBytes(file, "old and longer");
  ASSERT_EQ(0, chmod(file.c_str(), 0751));
  EXPECT_TRUE(ReplaceDiskFile("C:\\game.COD", "new", 3));
  struct stat info;
  ASSERT_EQ(0, stat(file.c_str(), &info));
  EXPECT_EQ(0751u, info.st_mode & 07777);
  EXPECT_EQ((FolderFiles{{"Game.cod", "new"}}), FolderTree(prefix.DriveC()));
  MakeFolders(prefix.DriveC() + "/Folder");
  ASSERT_EQ(0, chmod(file.c_str(), 0444));
  for (const char* refused : {"C:\\Folder", "C:\\Missing\\x", "C:\\Game.cod"})
    EXPECT_FALSE(ReplaceDiskFile(refused, "x", 1)) << refused;
  EXPECT_EQ((FolderFiles{{"Game.cod", "new"}, {"Folder", kFolderEntry}}),
            FolderTree(prefix.DriveC()));
}

}  // namespace
