// Platform services whole runs use without showing their bounds: large
// blocks at the edges of their pages, and the replacement of a file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/file_replacement.h"
#include "platform/large_block.h"
#include "platform/message_box.h"
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
  // Sizes that could not be rounded up to whole pages are refused.
  for (size_t size : {SIZE_MAX, SIZE_MAX - (size_t(3) << 20)})
    EXPECT_EQ(nullptr, AllocateLargeBlock(size)) << size;
}

TEST(ReplaceDiskFile, KeepsTheFilesModeAndRefusesWhatCannotBeWritten) {
  FakePrefix prefix;
  ScopedEnvironment wine("WINEPREFIX", prefix.path().c_str());
  const std::string file = prefix.DriveC() + "/Game.cod";
  WriteFileBytes(file, "old and longer");
  ASSERT_EQ(0, chmod(file.c_str(), 0751));
  EXPECT_TRUE(ReplaceDiskFile("C:\\game.COD", "new", 3));
  EXPECT_TRUE(ReplaceDiskFile("C:\\One", "1", 1));
  struct stat info;
  ASSERT_EQ(0, stat(file.c_str(), &info));
  EXPECT_EQ(0751u, info.st_mode & 07777);
  EXPECT_EQ((FolderFiles{{"Game.cod", "new"}, {"One", "1"}}), FolderTree(prefix.DriveC()));
  MakeFolders(prefix.DriveC() + "/Folder");
  ASSERT_EQ(0, chmod(file.c_str(), 0444));
  for (const char* refused : {"C:\\Folder", "C:\\Missing\\x", "C:\\Game.cod"})
    EXPECT_FALSE(ReplaceDiskFile(refused, "x", 1)) << refused;
  EXPECT_EQ((FolderFiles{{"Game.cod", "new"}, {"One", "1"}, {"Folder", kFolderEntry}}),
            FolderTree(prefix.DriveC()));
}

// With the destination missing, a leftover that holds the new bytes is the
// only copy of a file whose move failed: it is moved as it is, not written
// again. Any other leftover gives way; a folder with something in it stays
// in the way, and nothing is written.
TEST(ReplaceDiskFile, MovesTheOnlyCopyAndClearsOtherLeftovers) {
  FakePrefix prefix;
  ScopedEnvironment wine("WINEPREFIX", prefix.path().c_str());
  const std::string drive = prefix.DriveC();
  // A mode no umask gives tells a leftover moved as it is from a new file.
  auto mode = [](const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
  };
  WriteFileBytes(drive + "/Moved.tmp", "new");
  WriteFileBytes(drive + "/Shorter.tmp", "ne");
  WriteFileBytes(drive + "/Longer.tmp", "new and more");
  for (const char* leftover : {"/Moved.tmp", "/Shorter.tmp", "/Longer.tmp"})
    ASSERT_EQ(0, chmod((drive + leftover).c_str(), 0604));
  MakeFolders(drive + "/Full.tmp/inside");
  EXPECT_TRUE(ReplaceDiskFile("C:\\Moved", "new", 3));
  EXPECT_TRUE(ReplaceDiskFile("C:\\Shorter", "new", 3));
  EXPECT_TRUE(ReplaceDiskFile("C:\\Longer", "new", 3));
  EXPECT_FALSE(ReplaceDiskFile("C:\\Full", "new", 3));
  EXPECT_EQ(0604u, mode(drive + "/Moved"));
  EXPECT_NE(0604u, mode(drive + "/Shorter"));
  EXPECT_NE(0604u, mode(drive + "/Longer"));
  EXPECT_EQ((FolderFiles{{"Moved", "new"}, {"Shorter", "new"}, {"Longer", "new"}, {"Full.tmp", kFolderEntry},
                         {"Full.tmp/inside", kFolderEntry}}),
            FolderTree(drive));
}

// On a terminal a box waits for Enter, as a real box waits for OK.
TEST(MessageBox, WaitsForEnterOnATerminal) {
  const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
  const int keyboard = open(ptsname(terminal), O_RDWR | O_NOCTTY);
  termios raw;
  ASSERT_EQ(0, tcgetattr(keyboard, &raw));
  cfmakeraw(&raw);  // every key reaches the box at once
  ASSERT_EQ(0, tcsetattr(keyboard, TCSANOW, &raw));
  fflush(nullptr);
  const pid_t box = fork();
  if (box == 0) {
    dup2(keyboard, STDIN_FILENO);
    freopen("/dev/null", "w", stderr);
    ShowPlatformMessage("text", "caption", MESSAGE_STYLE_ERROR);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(1, write(terminal, "x", 1));
  usleep(300000);
  EXPECT_EQ(0, waitpid(box, &status, WNOHANG)) << "the box ended before Enter";
  ASSERT_EQ(1, write(terminal, "\n", 1));
  for (int tries = 0; tries < 100 && waitpid(box, &status, WNOHANG) == 0; ++tries) usleep(100000);
  EXPECT_TRUE(kill(box, SIGKILL) != 0 || waitpid(box, &status, 0) < 0) << "the box did not end";
  close(keyboard);
  close(terminal);
}

}  // namespace
