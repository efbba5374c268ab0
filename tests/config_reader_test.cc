// The section/key value reader over texts on disk and in archives.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "config/config_reader.h"
#include "filesystem/archive_table.h"
#include "filesystem/fff_format.h"
#include "installer/settings.h"
#include "platform/process_end.h"
#include "platform/message_box.h"
#include "tests/test_support.h"

namespace {

class ConfigReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetArchives(); }
  void TearDown() override { CloseAllArchives(); }

  // The value of key in section of a file holding text.
  std::string Lookup(const std::string& text, const char* section,
                     const char* key) {
    ScopedCurrentDirectory cwd(dir_.path());
    dir_.Write("menu.cfg", text);
    ConfigReader reader;
    strcpy(reader.configName, "menu.cfg");
    strcpy(reader.sectionName, section);
    strcpy(reader.keyName, key);
    reader.ReadValue();
    EXPECT_EQ(strlen(reader.value), reader.valueLength);
    return std::string(reader.value, reader.valueLength);
  }

  TempDir dir_;
};

TEST_F(ConfigReaderTest, FindsTheKeyOnlyWithinItsSection) {
  const std::string menu =
      "[Menu]\r\nversion=menu\r\n[Version]\r\nbuild=7\r\nversion=v1.1\r\n"
      "[Other]\r\nkey=other\r\n";
  EXPECT_EQ("v1.1", Lookup(menu, "Version", "version"));
  EXPECT_EQ("menu", Lookup(menu, "Menu", "version"));
  EXPECT_EQ("", Lookup(menu, "Version", "key"));       // only in a later section
  EXPECT_EQ("", Lookup(menu, "version", "version"));   // names are case-sensitive
  EXPECT_EQ("", Lookup(menu, "Version", "Version"));
  EXPECT_EQ("", Lookup(menu, "Missing", "version"));
}

TEST_F(ConfigReaderTest, SectionEndsOnlyAtABracketBehindALowByte) {
  // Behind a printable byte "[" belongs to the body.
  EXPECT_EQ("v1.0", Lookup("[Version]\r\nnote=a[b]\r\nversion=v1.0\r\n",
                           "Version", "version"));
  // Behind a line break, a tab or a blank it ends the section.
  EXPECT_EQ("", Lookup("[Version]\r\n[x]\r\nversion=v1.0\r\n", "Version", "version"));
  EXPECT_EQ("", Lookup("[Version]\r\nnote= [x]version=v1.0\r\n", "Version", "version"));
  // Behind a byte from 0x80 up it ends the section too.
  EXPECT_EQ("", Lookup("[Version]\r\nnote=\xE9[x]\r\nversion=v1.0\r\n",
                       "Version", "version"));
  // A "[" directly behind the header does not count.
  EXPECT_EQ("v1.0", Lookup("[Version][x]version=v1.0\r\n", "Version", "version"));
}

TEST_F(ConfigReaderTest, TakesTheValueByteForByte) {
  // Found at the tail of a longer word, and inside another entry's value.
  EXPECT_EQ("9", Lookup("[V]\r\nsubversion=9\r\nversion=1\r\n", "V", "version"));
  EXPECT_EQ("x", Lookup("[V]\r\nnote=version=x\r\n", "V", "version"));
  // A blank before "=" hides the entry; blanks after it stay.
  EXPECT_EQ("", Lookup("[V]\r\nversion =v1.1\r\n", "V", "version"));
  EXPECT_EQ("  v1.1 ", Lookup("[V]\r\nversion=  v1.1 \r\n", "V", "version"));
  EXPECT_EQ("", Lookup("[V]\r\nversion=\r\nnext=1\r\n", "V", "version"));
  // The header as the last thing in the text; the header in mid-line.
  EXPECT_EQ("", Lookup("x=1\r\n[V]", "V", "x"));
  EXPECT_EQ("2", Lookup("junk[V]x=2\r\n", "V", "x"));
  // Bare line feeds, no line end at the end, a zero byte ending the text.
  EXPECT_EQ("v1.1", Lookup("[V]\nversion=v1.1\nother=2\n", "V", "version"));
  EXPECT_EQ("v1.1", Lookup("[V]\r\nversion=v1.1", "V", "version"));
  EXPECT_EQ("v1", Lookup(std::string("[V]\r\nversion=v1\0.1\r\n", 18), "V", "version"));
  EXPECT_EQ("", Lookup(std::string("[V]\0version=v1.1\r\n", 18), "V", "version"));
  // A value longer than its buffer is cut to 16383 bytes.
  const std::string longValue(20000, 'v');
  EXPECT_EQ(longValue.substr(0, 16383),
            Lookup("[V]\r\nversion=" + longValue + "\r\n", "V", "version"));
}

TEST_F(ConfigReaderTest, EmptyFileGivesTheDefaultValueWithoutText) {
  ScopedCurrentDirectory cwd(dir_.path());
  dir_.Write("empty.cfg", "");
  ConfigReader reader;
  strcpy(reader.configName, "empty.cfg");
  strcpy(reader.sectionName, "V");
  strcpy(reader.keyName, "k");
  strcpy(reader.defaultValue, "fallback");
  reader.ReadValue();
  EXPECT_STREQ("fallback", reader.value);
  EXPECT_EQ(8u, reader.valueLength);
  EXPECT_EQ(nullptr, reader.text);
  EXPECT_NE(nullptr, reader.handle);
}

TEST_F(ConfigReaderTest, ReadsAFileOnceAndSwitchesFilesCleanly) {
  ScopedCurrentDirectory cwd(dir_.path());
  dir_.Write("a.cod", BuildFffArchive({{"Cfg/Menu.cfg", "[V]\r\nversion=\r\nVersion=v1.0\r\n"},
                                       {"other.cfg", "[V]\r\nversion=other\r\n"}}));
  MountArchive("a.cod");
  ConfigReader reader;
  strcpy(reader.configName, "Cfg\\Menu.cfg");
  strcpy(reader.sectionName, "V");
  strcpy(reader.keyName, "version");
  reader.ReadValue();
  EXPECT_EQ(0u, reader.valueLength);
  FileHandle* firstHandle = reader.handle;
  char* firstText = reader.text;

  // The archive's stream moves away; the held text is not read again.
  fseek(Archives.slots[0].stream, 0, SEEK_SET);
  strcpy(reader.keyName, "Version");
  reader.ReadValue();
  EXPECT_STREQ("v1.0", reader.value);
  EXPECT_EQ(firstHandle, reader.handle);
  EXPECT_EQ(firstText, reader.text);
  EXPECT_EQ(0, ftell(Archives.slots[0].stream));

  // Another file: the first is closed and the second read.
  strcpy(reader.configName, "other.cfg");
  strcpy(reader.keyName, "version");
  reader.ReadValue();
  EXPECT_STREQ("other", reader.value);
  EXPECT_STREQ("other.cfg", reader.loadedName);

  // Empty names change nothing, not even valueLength.
  reader.valueLength = 77;
  reader.sectionName[0] = '\0';
  reader.ReadValue();
  EXPECT_EQ(77u, reader.valueLength);
  EXPECT_STREQ("other", reader.value);
  strcpy(reader.sectionName, "V");
  reader.keyName[0] = '\0';
  reader.ReadValue();
  EXPECT_EQ(77u, reader.valueLength);
}

TEST_F(ConfigReaderTest, AMemberClaimingMoreThanItsArchiveHoldsReadsWhatIsThere) {
  ScopedCurrentDirectory cwd(dir_.path());
  std::string archive = BuildFffArchive({{"Cfg/Menu.cfg", "[V]\r\nversion=v1.1\r\n"}});
  // The entry claims 2 GiB - 1 bytes; the file holds 19.
  WriteLittleEndian32(reinterpret_cast<unsigned char*>(&archive[28 + 132]), 0x7FFFFFFF);
  dir_.Write("a.cod", archive);
  MountArchive("a.cod");
  ConfigReader reader;
  strcpy(reader.configName, "Cfg\\Menu.cfg");
  strcpy(reader.sectionName, "V");
  strcpy(reader.keyName, "version");
  reader.ReadValue();
  EXPECT_STREQ("v1.1", reader.value);
  EXPECT_EQ(19u, reader.textSize);  // the allocation follows the file
}

TEST_F(ConfigReaderTest, ClosesTheFirstDiskFileBeforeOpeningTheNext) {
  ScopedCurrentDirectory cwd(dir_.path());
  dir_.Write("one.cfg", "[V]\r\nk=1\r\n");
  dir_.Write("two.cfg", "[V]\r\nk=2\r\n");
  ConfigReader reader;
  strcpy(reader.configName, "one.cfg");
  strcpy(reader.sectionName, "V");
  strcpy(reader.keyName, "k");
  reader.ReadValue();
  const int firstFd = fileno(reader.handle->stream);
  strcpy(reader.configName, "two.cfg");
  reader.ReadValue();
  EXPECT_STREQ("2", reader.value);
  // The second file reuses the descriptor the first one let go of.
  EXPECT_EQ(firstFd, fileno(reader.handle->stream));
}

struct RunEnded {};
[[noreturn]] void ThrowRunEnded(int) { throw RunEnded(); }

// Found by the config fuzzer: a host that survives the end of a run (the
// fuzzer throws out of it) lost the lookup's two patterns when the file was
// missing. Under LeakSanitizer this test fails on such a leak.
TEST_F(ConfigReaderTest, AReaderEndedByAMissingFileStillReleasesItsPatterns) {
  ScopedCurrentDirectory cwd(dir_.path());
  LanguageIndex = 0;
  static std::string shown;
  SetMessageBoxHandler([](const char* text, const char*, unsigned) { shown = text; });
  SetProcessEndHook(ThrowRunEnded);
  {
    ConfigReader reader;
    strcpy(reader.configName, "Cfg\\Missing.cfg");
    strcpy(reader.sectionName, "Version");
    strcpy(reader.keyName, "version");
    EXPECT_THROW(reader.ReadValue(), RunEnded);
    EXPECT_STREQ("[Version]", reader.sectionPattern);
    EXPECT_STREQ("version=", reader.keyPattern);
  }
  SetProcessEndHook(nullptr);
  SetMessageBoxHandler(nullptr);
  EXPECT_EQ("File not found:\tCfg\\Missing.cfg\n\nUnable to update the files. \n", shown);
}

}  // namespace
