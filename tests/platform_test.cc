// Platform services whole runs use without showing their bounds: large
// blocks at the edges of their pages, and the replacement of a file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>

#include "platform/file_replacement.h"
#include "platform/large_block.h"
#include "platform/message_box.h"
#include "tests/support/test_support.h"

namespace {

TEST(LargeBlock, HoldsEveryByteAskedFor) {
  const size_t kMiB = size_t(1) << 20;
  for (size_t size : {size_t(0), size_t(1), 2 * kMiB - 1, 2 * kMiB, 2 * kMiB + 1, 6 * kMiB + 3}) {
    char* block = static_cast<char*>(AllocateLargeBlock(size));
    ASSERT_NE(nullptr, block) << size;
    memset(block, 0x5A, size > 0 ? size : 1);  // a block of 0 bytes still is one
    ReleaseLargeBlock(block, size);
  }
  // A released block gives back every page it took: the mapping's length
  // (statm's first field), read without allocating, is as before.
  auto mappedPages = [] {
    char text[64] = "";
    const int fd = open("/proc/self/statm", O_RDONLY);
    const ssize_t got = read(fd, text, sizeof text - 1);
    close(fd);
    return got > 0 ? strtoull(text, nullptr, 10) : 0;
  };
  for (size_t size : {2 * kMiB, 5 * kMiB + 1}) {
    const unsigned long long before = mappedPages();
    ReleaseLargeBlock(AllocateLargeBlock(size), size);
    EXPECT_EQ(before, mappedPages()) << size;
  }
  // Sizes that could not be rounded up to whole pages are refused.
  for (size_t size : {SIZE_MAX, SIZE_MAX - 3 * kMiB})
    EXPECT_EQ(nullptr, AllocateLargeBlock(size)) << size;
}

// The replacement keeps the file's mode. With the destination missing, a
// leftover that holds the new bytes is the only copy of a file whose move
// failed: it is moved as it is (its mode no umask gives shows it), not
// written again. Any other leftover gives way. (Whole runs show a folder
// with something in it staying in the way.)
TEST(ReplaceDiskFile, KeepsTheModeAndMovesTheOnlyCopyOfANewFile) {
  FakePrefix prefix;
  ScopedEnvironment wine("WINEPREFIX", prefix.path().c_str());
  const std::string drive = prefix.DriveC();
  for (const auto& [name, bytes] : {std::pair{"/Game.cod", "old and longer"},
                                    {"/Moved.tmp", "n"},
                                    {"/Shorter.tmp", ""},
                                    {"/Longer.tmp", "n and more"}}) {
    WriteFileBytes(drive + name, bytes);
    ASSERT_EQ(0, chmod((drive + name).c_str(), 0604));
  }
  for (const char* name : {"C:\\game.COD", "C:\\Moved", "C:\\Shorter", "C:\\Longer"})
    EXPECT_TRUE(ReplaceDiskFile(name, "n", 1)) << name;
  for (const auto& [name, kept] :
       {std::pair{"/Game.cod", true}, {"/Moved", true}, {"/Shorter", false}, {"/Longer", false}}) {
    struct stat info;
    EXPECT_EQ(kept, stat((drive + name).c_str(), &info) == 0 && (info.st_mode & 07777) == 0604)
        << name;
  }
  EXPECT_EQ((FolderFiles{{"Game.cod", "n"}, {"Moved", "n"}, {"Shorter", "n"}, {"Longer", "n"}}),
            FolderTree(drive));
}

// A box waits for Enter, as a real box waits for OK, and says so, only
// where the player can see it and answer: standard input and the box's own
// stream (standard output for a plain box, standard error for an error box)
// both a terminal. The terminal (a line at a time, as a new one is) holds
// two lines of input; a box that waits takes the first.
TEST(MessageBox, WaitsForEnterOnlyWhereThePlayerSeesTheBox) {
  // {standard input a terminal, the box's stream a terminal, its style, it waits}
  const std::tuple<bool, bool, unsigned, bool> rows[] = {
      {true, true, MESSAGE_STYLE_ERROR, true},   {true, true, MESSAGE_STYLE_PLAIN, true},
      {true, false, MESSAGE_STYLE_ERROR, false}, {true, false, MESSAGE_STYLE_PLAIN, false},
      {false, true, MESSAGE_STYLE_ERROR, false},
  };
  TempDir home;
  for (const auto& [inputTerminal, boxTerminal, style, waits] : rows) {
    SCOPED_TRACE(10 * inputTerminal + boxTerminal + style * 100);
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
    const int keyboard = open(ptsname(terminal), O_RDWR | O_NOCTTY);
    ASSERT_EQ(11, write(terminal, "first\nnext\n", 11));
    fflush(nullptr);
    const pid_t box = fork();
    if (box == 0) {
      setenv("HOME", home.path().c_str(), 1);
      setenv("WINEPREFIX", (home.path() + "/prefix").c_str(), 1);
      const int boxStream = style == MESSAGE_STYLE_PLAIN ? STDOUT_FILENO : STDERR_FILENO;
      dup2(inputTerminal ? keyboard : open("/dev/null", O_RDONLY), STDIN_FILENO);
      dup2(keyboard, STDOUT_FILENO + STDERR_FILENO - boxStream);
      dup2(boxTerminal ? keyboard : open("/dev/null", O_WRONLY), boxStream);
      ShowPlatformMessage("text", "caption", style);
      char line[16] = {};
      _exit(read(STDIN_FILENO, line, sizeof line - 1) > 0 ? line[0] : 0);
    }
    int status = 0;
    ASSERT_EQ(box, waitpid(box, &status, 0));
    // Everything the box wrote, to the end: with the terminal's last other
    // end closed, a read waits for what is still on its way, then fails.
    close(keyboard);
    std::string shown;
    char block[4096];
    for (ssize_t length; (length = read(terminal, block, sizeof block)) > 0;)
      shown.append(block, length);
    EXPECT_EQ(waits, shown.find("[Press Enter to close this message.]") != std::string::npos)
        << shown;
    // Without a terminal for input, nothing reads the first line.
    EXPECT_EQ(inputTerminal ? (waits ? 'n' : 'f') : 0, WEXITSTATUS(status));
    close(terminal);
  }
}

}  // namespace
