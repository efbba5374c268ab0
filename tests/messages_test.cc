// Language selection and the installer's fatal error.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "filesystem/archive_table.h"
#include "installer/messages.h"
#include "installer/settings.h"
#include "tests/test_support.h"

namespace {

class LanguageScope {
 public:
  explicit LanguageScope(int32_t index) : saved_(LanguageIndex) {
    LanguageIndex = index;
  }
  ~LanguageScope() { LanguageIndex = saved_; }

 private:
  int32_t saved_;
};

// Each code selects its row, whatever the case of A-Z; anything else is
// English. The texts come from the row selected.
TEST(LanguageSelection, ComparesWholeCodesIgnoringAsciiCase) {
  const struct {
    const char* value;
    int32_t index;
    const char* title;
  } rows[] = {
      {"eng", 0, "Gravelhorn Patch Installer"},
      {"ENG", 0, "Gravelhorn Patch Installer"},
      {"Hun", 1, "Gravelhorn Patch Instal\xE1l\xF3 program"},
      {"fra", 2, "Programme d'installation du patch de Gravelhorn."},
      {"gEr", 3, "KIESELFUCHS-Patch-Installation"},
      {"spa", 4, "Instalador del parche de Gravelhorn."},
      {"ITA", 5, "Installer della patch di Gravelhorn"},
      {"deu", 0, "Gravelhorn Patch Installer"},
      {"german", 0, "Gravelhorn Patch Installer"},
      {"ge", 0, "Gravelhorn Patch Installer"},
      {"", 0, "Gravelhorn Patch Installer"},
      // Only A-Z fold: a byte from the upper half never equals a letter.
      {"g\xC5r", 0, "Gravelhorn Patch Installer"},
  };
  for (const auto& row : rows) {
    LanguageScope language(SelectLanguage(row.value));
    EXPECT_EQ(row.index, LanguageIndex) << row.value;
    EXPECT_STREQ(row.title, MessageText(MESSAGE_TITLE)) << row.value;
  }
  // Hungarian is written for code page 1250: its o with double acute is
  // 0xF5, which 1252 would show as o with tilde.
  LanguageScope hungarian(1);
  EXPECT_STREQ("A k\xF6vetkez\xF5 file-t nem tudja \xEDr\xE1sra megnyitni:",
               MessageText(MESSAGE_CANNOT_WRITE));
  EXPECT_EQ(1250u, MessageCatalogue[LanguageIndex].codePage);
}

TEST(FatalError, ShowsAnErrorBoxClosesArchivesAndExitsWithMinusOne) {
  TempDir dir;
  const std::string archive = dir.Write("Game.cod", BuildFffArchive({{"a.txt", "x"}}));
  static int archiveFd;
  ProcessOutcome outcome = RunInChild(
      [&] {
        LanguageIndex = 1;  // the caption stays "ERROR" in every language
        MountArchive(archive.c_str());
        archiveFd = fileno(Archives.slots[0].stream);
        FatalError("A k\xF6vetkez\xF5 file");
      },
      [] {
        bool fdClosed = fcntl(archiveFd, F_GETFD) == -1;
        return std::to_string(Archives.registeredCount) + " " +
               (Archives.slots[0].inUse ? "in-use" : "free") + " " +
               (fdClosed ? "closed" : "open");
      });
  EXPECT_TRUE(outcome.ended);
  EXPECT_EQ(255, outcome.exitCode);
  ASSERT_EQ(1u, outcome.boxes.size());
  EXPECT_EQ("ERROR", outcome.boxes[0].caption);
  EXPECT_EQ("A k\xF6vetkez\xF5 file", outcome.boxes[0].text);
  EXPECT_EQ(0x10u, outcome.boxes[0].style);
  EXPECT_EQ("0 free closed", outcome.probe);
}

TEST(FatalError, BeforeAnyMountHasNothingToClose) {
  ProcessOutcome outcome = RunInChild([] { FatalError("early"); });
  EXPECT_TRUE(outcome.ended);
  EXPECT_EQ(255, outcome.exitCode);
  ASSERT_EQ(1u, outcome.boxes.size());
  EXPECT_EQ("early", outcome.boxes[0].text);
}

}  // namespace
