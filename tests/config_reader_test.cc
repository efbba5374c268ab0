// The section/key value reader over texts on disk and in archives, where
// the version's lookup in whole runs does not reach it.
#include "config/config_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "filesystem/archive_table.h"
#include "tests/support/test_support.h"

namespace {

using std::string_literals::operator""s;

// Asks reader for key in section of the file name: its value. Each name is
// zero-filled in its field; one that fills it is written without a zero.
std::string Ask(ConfigReader& reader, const std::string& name, const std::string& section,
                const std::string& key) {
  for (const auto& [field, text] :
       {std::pair{reader.configName, name}, {reader.sectionName, section}, {reader.keyName, key}})
    strncpy(field, text.c_str(), ConfigReader::kNameSize);
  reader.ReadValue();
  return reader.value;
}

TEST(ConfigReader, FindsTheValueAsTheFormatSays) {
  const std::string menu = "[Menu]\r\nversion=menu\r\n[Version]\r\nbuild=7\r\nversion=v1.1\r\n";
  const struct {
    std::string text, value;
    const char *section = "V", *key = "version";
  } rows[] = {
      {menu, "v1.1", "Version"},
      {menu, "menu", "Menu"},
      {"[V]\r\n[W]\r\nversion=later\r\n", ""},  // only in a later section
      {"[V]\r\nVersion=1\r\n", ""},
      {"[V]\r\nversion=1\r\n", "", "v"},  // names are case-sensitive
      // "[" ends the section behind a byte that is at most 32 as a signed
      // byte (a line break, a blank, 0x80 and up), not behind 0x21 to 0x7F;
      // a "[" right behind the header does not count.
      {"[V]\r\nnote=![b]\r\nversion=1\r\n", "1"},
      {"[V]\r\nnote=\x7F[b]\r\nversion=1\r\n", "1"},
      {"[V]\r\nnote= [x]version=1\r\n", ""},
      {"[V]\r\nnote=\x80[x]version=1\r\n", ""},
      {"[V][x]version=1\r\n", "1"},
      // The key at the tail of a longer word, or inside another value.
      {"[V]\r\nsubversion=9\r\nversion=1\r\n", "9"},
      {"[V]\r\nnote=version=x\r\n", "x"},
      // A blank before "=" hides the entry; blanks after it stay.
      {"[V]\r\nversion =v1.1\r\n", ""},
      {"[V]\r\nversion=  v1.1 \r\n", "  v1.1 "},
      {"version=1\r\n[V]", ""},
      {"junk[V]version=2\r\n", "2"},         // the header last, or first
      {"[V]\r\nversion=v1\0.1\r\n"s, "v1"},  // a zero ends the text
      // One byte more than the value's room holds, with its zero.
      {"[V]\r\nversion=" + std::string(16384, 'v') + "\r\n", std::string(16383, 'v')},
  };
  TempDir dir;
  ScopedCurrentDirectory cwd(dir.path());
  for (const auto& row : rows) {
    dir.Write("menu.cfg", row.text);
    ConfigReader reader;
    EXPECT_EQ(row.value, Ask(reader, "menu.cfg", row.section, row.key)) << row.text;
    EXPECT_EQ(row.value.size(), reader.valueLength) << row.text;
  }
}

// One reader, asked again and again: a file is read once and kept, another
// file replaces it, and no value keeps bytes of an earlier one; a missing
// one ends the run with the patterns still held.
TEST(ConfigReader, ServesRepeatedLookupsFromOneRead) {
  TempDir dir;
  const std::string archive =
      BuildFffArchive({{"Cfg/Menu.cfg", "[V]\r\nversion=\r\nlong=abcdef\r\nVersion=v1.0\r\n"}});
  // A name filling its field is read to the field's end and no further.
  const FolderFiles files = {
      {"a.cod", archive},
      {"empty.cfg", ""},
      {"one.cfg", "x"},
      {"long.cfg", "[" + std::string(255, 'S') + "]\r\nk=long\r\n"},
      {"key.cfg",
       "[V]\r\n" + std::string(254, 'K') + "=short\r\n" + std::string(255, 'K') + "=long\r\n"},
  };
  RestoreFolderFiles(dir.path(), files);
  ScopedCurrentDirectory cwd(dir.path());
  ResetArchives();
  MountArchive("a.cod");
  ConfigReader reader;
  EXPECT_EQ("abcdef", Ask(reader, "Cfg\\Menu.cfg", "V", "long"));
  fseek(Archives.slots[0].stream, 0, SEEK_SET);  // not read again
  EXPECT_EQ("v1.0", Ask(reader, "Cfg\\Menu.cfg", "V", "Version"));
  EXPECT_EQ(0, ftell(Archives.slots[0].stream));
  // Empty names change nothing, not even valueLength.
  reader.valueLength = 77;
  Ask(reader, "Cfg\\Menu.cfg", "", "version");
  Ask(reader, "Cfg\\Menu.cfg", "V", "");
  EXPECT_EQ(77u, reader.valueLength);
  EXPECT_EQ("long", Ask(reader, "long.cfg", std::string(256, 'S'), "k"));
  EXPECT_EQ("long", Ask(reader, "key.cfg", "V", std::string(256, 'K')));
  // An empty file gives the default value and holds no text; a file of one
  // byte is read.
  strcpy(reader.defaultValue, "fallback");
  EXPECT_EQ("", Ask(reader, "one.cfg", "V", "k"));
  EXPECT_EQ("fallback", Ask(reader, "empty.cfg", "V", "k"));
  EXPECT_EQ(8u, reader.valueLength);
  EXPECT_EQ(nullptr, reader.text);
  // Found by the config fuzzer: a host that survives the end of a run (the
  // fuzzer throws out of it) lost the lookup's two patterns when the file
  // was missing. Under LeakSanitizer this test fails on such a leak.
  ExpectFileSystemFatal(RunToEnd([&] { Ask(reader, "Cfg\\Missing.cfg", "Version", "version"); }),
                        "File not found:\tCfg\\Missing.cfg\n\nUnable to update the files. \n");
  EXPECT_STREQ("version=", reader.keyPattern);
  CloseAllArchives();
}

}  // namespace
