// The catalogue's bytes, language selection and the installer's fatal error.
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

TEST(LanguageSelection, ComparesWholeCodesIgnoringAsciiCase) {
  EXPECT_EQ(0, SelectLanguage("eng"));
  EXPECT_EQ(0, SelectLanguage("ENG"));
  EXPECT_EQ(1, SelectLanguage("Hun"));
  EXPECT_EQ(2, SelectLanguage("fra"));
  EXPECT_EQ(3, SelectLanguage("gEr"));
  EXPECT_EQ(3, SelectLanguage("GER"));
  EXPECT_EQ(4, SelectLanguage("spa"));
  EXPECT_EQ(5, SelectLanguage("ITA"));
  // No match leaves English.
  EXPECT_EQ(0, SelectLanguage("deu"));
  EXPECT_EQ(0, SelectLanguage("german"));
  EXPECT_EQ(0, SelectLanguage("ge"));
  EXPECT_EQ(0, SelectLanguage(""));
  // Only A-Z fold: a byte from the upper half never equals a letter.
  EXPECT_EQ(0, SelectLanguage("g\xC5r"));
}

TEST(MessageCatalogue, HoldsTheExactBytesOfEachLanguage) {
  {
    LanguageScope english(0);
    EXPECT_STREQ("Unable to update the files. ", MessageText(4));
    EXPECT_EQ(28u, strlen(MessageText(4)));
    EXPECT_STREQ("Gravelhorn Patch Installer", MessageText(9));
    EXPECT_STREQ("Gravelhorn or the registry entry was not found!", MessageText(3));
  }
  {
    LanguageScope hungarian(1);
    EXPECT_STREQ("A k\xF6vetkez\xF5 file-t nem tudja \xEDr\xE1sra megnyitni:",
                 MessageText(1));
    EXPECT_NE(nullptr, strchr(MessageText(1), '\xF5'));
    EXPECT_STREQ("\xDAtvonal:\t", MessageText(5));
  }
  {
    LanguageScope german(3);
    EXPECT_STREQ("Aktualisierung der Dateien nicht m\xF6glich. ", MessageText(4));
    EXPECT_STREQ("Kann folgende Datei zum Beschreiben nicht \xF6" "ffnen:",
                 MessageText(1));
    EXPECT_STREQ("KIESELFUCHS-Patch-Installation", MessageText(9));
  }
  {
    LanguageScope spanish(4);
    EXPECT_STREQ("No se pudo abrir el siguiente archivo para escribir: ",
                 MessageText(1));
    EXPECT_STREQ("\xA1" "Este parche es para una versi\xF3n anterior de Gravelhorn!",
                 MessageText(10));
  }
  for (int32_t language = 0; language < kLanguageCount; ++language) {
    LanguageScope scope(language);
    for (MessageId id = 5; id <= 7; ++id) {
      const char* text = MessageText(id);
      ASSERT_GT(strlen(text), 0u);
      EXPECT_EQ('\t', text[strlen(text) - 1]) << language << "/" << id;
    }
    // Message 3 is shown nowhere but is part of every language.
    EXPECT_GT(strlen(MessageText(3)), 20u);
    // Each text lies zero-terminated in its own 256-byte field.
    for (MessageId id = 0; id < kMessageCount; ++id) {
      EXPECT_EQ(&MessageCatalogue[language][id][0], MessageText(id));
      const char* field = MessageCatalogue[language][id];
      for (size_t i = strlen(field); i < kMessageFieldSize; ++i)
        ASSERT_EQ('\0', field[i]);
    }
  }
  EXPECT_EQ(1250u, CodePageOfLanguage(1));
  EXPECT_EQ(1252u, CodePageOfLanguage(3));
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
