// The installer's fatal error, and what whole runs do not show of language
// selection.
#include "installer/messages.h"

#include <gtest/gtest.h>

#include <string>

#include "filesystem/archive_table.h"
#include "installer/copy_files.h"
#include "installer/settings.h"
#include "tests/test_support.h"

namespace {

// In every language the caption stays "ERROR", as whole runs show.
TEST(FatalError, ShowsAnErrorBoxClosesArchivesAndExitsWithMinusOne) {
  TempDir dir;
  const std::string archive = dir.Write("Game.cod", BuildFffArchive({{"a.txt", "x"}}));
  const EndedRun run = RunToEnd([&] {
    MountArchive(archive.c_str());
    FatalError("A k\xF6vetkez\xF5 file");
  });
  EXPECT_TRUE(run.ended);
  EXPECT_EQ(255, run.exitCode);
  ASSERT_EQ(1u, run.boxes.size());
  EXPECT_EQ("ERROR", run.boxes[0].caption);
  EXPECT_EQ("A k\xF6vetkez\xF5 file", run.boxes[0].text);
  EXPECT_EQ(0x10u, run.boxes[0].style);
  EXPECT_TRUE(Archives.registeredCount == 0 && Archives.slots[0].stream == nullptr &&
              !Archives.slots[0].inUse);
}

TEST(FatalError, AnAbsentBlockIsNoMemory) {
  const EndedRun run = RunToEnd([] { WriteBufferToFile(nullptr, 0, "x"); });
  ASSERT_EQ(1u, run.boxes.size());
  EXPECT_EQ("Not enough free memory!", run.boxes[0].text);
}

TEST(SelectLanguage, FoldsOnlyTheLettersAToZ) {
  EXPECT_EQ(5, SelectLanguage("iTA"));
  EXPECT_EQ(0, SelectLanguage("g\xC5r"));  // 0xC5 is not 'E' in any case
  EXPECT_EQ(0, SelectLanguage("it"));
}

}  // namespace
