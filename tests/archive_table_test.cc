// Mounting FFF archives, the name hash, and the table's reset and close.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "filesystem/archive_table.h"
#include "filesystem/fff_format.h"
#include "installer/messages.h"
#include "installer/settings.h"
#include "tests/test_support.h"

namespace {

std::string WithDirectorySize(std::string archive, uint32_t directorySize) {
  WriteLittleEndian32(reinterpret_cast<unsigned char*>(&archive[24]),
                      directorySize);
  return archive;
}

TEST(NameHash, IsTheZeroSeededCrcOfTheUpperCasedName) {
  EXPECT_EQ(0x77073096u, kCrc32Table[1]);
  EXPECT_EQ(0x5CC2DA5Au, NameHash("abc"));
  EXPECT_EQ(0x5CC2DA5Au, NameHash("ABC"));
  EXPECT_EQ(0u, NameHash(""));
  EXPECT_EQ(NameHash("Cfg/Menu.cfg"), NameHash("CFG/menu.CFG"));
  EXPECT_NE(NameHash("Cfg/Menu.cfg"), NameHash("Cfg\\Menu.cfg"));
  // Bytes from 0x80 up are hashed as they are.
  EXPECT_NE(NameHash("\xE9"), NameHash("\xC9"));
  EXPECT_EQ(NameHash("abc"), NameHashBounded("abcdef", 3));
}

// The definition, bit by bit, to hold the table-driven hash against.
uint32_t BitwiseNameHash(const std::string& name) {
  uint32_t h = 0;
  for (unsigned char c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 32);
    h ^= c;
    for (int bit = 0; bit < 8; ++bit)
      h = (h & 1) ? 0xEDB88320u ^ (h >> 1) : h >> 1;
  }
  return h;
}

TEST(NameHash, AgreesWithTheBitwiseDefinitionAtEveryLengthAndByte) {
  // The letters' edges, and bytes from 0x80 up whose low seven bits are
  // letters (0xE1 is 'a' + 0x80, 0xFA is 'z' + 0x80).
  const std::string alphabet = "@AZ[`az{09/._\x7F\x80\xC1\xE1\xFA\xFB\xFF";
  std::string name;
  for (size_t length = 0; length <= 131; ++length) {
    SCOPED_TRACE("length " + std::to_string(length));
    EXPECT_EQ(BitwiseNameHash(name), NameHash(name.c_str()));
    EXPECT_EQ(BitwiseNameHash(name), NameHashBounded(name.c_str(), 200));
    // A directory name that fills its field has no zero within the bound.
    EXPECT_EQ(BitwiseNameHash(name.substr(0, length / 2)),
              NameHashBounded(name.c_str(), length / 2));
    name += alphabet[(length * 7) % alphabet.size()];
  }
  for (size_t i = 0; i < alphabet.size(); ++i) {
    const std::string four(4, alphabet[i]);
    EXPECT_EQ(BitwiseNameHash(four), NameHash(four.c_str())) << i;
  }
}

TEST(PathSeparators, ConvertEveryByteInPlace) {
  char mixed[] = "a/b\\c";
  ToBackslashes(mixed);
  EXPECT_STREQ("a\\b\\c", mixed);
  char again[] = "a/b\\c";
  ToForwardSlashes(again);
  EXPECT_STREQ("a/b/c", again);
  char plain[] = "Game.cod";
  ToBackslashes(plain);
  ToForwardSlashes(plain);
  EXPECT_STREQ("Game.cod", plain);
  char empty[] = "";
  ToBackslashes(empty);
  EXPECT_STREQ("", empty);
}

TEST(MountArchive, ReadsTheDirectoryAndHashesEveryName) {
  TempDir dir;
  ScopedCurrentDirectory cwd(dir.path());
  dir.Write("Data/Game.cod",
            BuildFffArchive({{"Cfg/Menu.cfg", "menu"}, {"big.bin", "0123456789"}}));
  dir.Write("Empty.cod", WithDirectorySize(std::string(28, '\0'), 0));
  ResetArchives();

  MountArchive("Data/Game.cod");
  MountArchive("Empty.cod");
  MountArchive("Missing.cod");  // skipped silently
  MountArchive("");
  MountArchive(nullptr);
  ASSERT_EQ(2, Archives.registeredCount);
  const ArchiveSlot& game = Archives.slots[0];
  EXPECT_STREQ("Data\\Game.cod", game.fileName);
  EXPECT_TRUE(game.inUse);
  ASSERT_EQ(2, game.entryCount);
  EXPECT_STREQ("big.bin", game.entries[1].name);
  EXPECT_EQ(NameHash("CFG/MENU.CFG"), game.hashes[0]);
  EXPECT_EQ(10u, game.entries[1].size);
  EXPECT_EQ(0, Archives.slots[1].entryCount);
  EXPECT_FALSE(Archives.slots[2].inUse);

  // Both operations empty the table and give the directories back; the
  // next mount takes slot 0 again.
  ResetArchives();
  EXPECT_EQ(0, Archives.registeredCount);
  EXPECT_FALSE(Archives.slots[0].inUse);
  EXPECT_EQ(nullptr, Archives.slots[0].stream);
  EXPECT_EQ(nullptr, Archives.slots[0].entries);
  EXPECT_EQ(nullptr, Archives.slots[0].hashes);
  EXPECT_EQ(0, Archives.slots[0].entryCount);
  MountArchive("Empty.cod");
  EXPECT_STREQ("Empty.cod", Archives.slots[0].fileName);
  CloseAllArchives();
  EXPECT_EQ(0, Archives.registeredCount);
  EXPECT_EQ(nullptr, Archives.slots[0].stream);
  MountArchive("Data\\Game.cod");
  EXPECT_EQ(2, Archives.slots[0].entryCount);
  CloseAllArchives();
  EXPECT_EQ(nullptr, Archives.slots[0].entries);
  EXPECT_EQ(0, Archives.slots[0].entryCount);
}

// Damaged archives, and directory sizes that are not a multiple of 136, are
// mounted or refused in tests/fff_tool_test.cc, beside fff check.

TEST(MountArchive, AnEleventhArchiveIsRefusedByName) {
  TempDir dir;
  ScopedCurrentDirectory cwd(dir.path());
  dir.Write("a.cod", BuildFffArchive({{"x", "1"}}));
  static int registered;
  ProcessOutcome outcome = RunInChild(
      [] {
        ResetArchives();
        for (int i = 0; i < 10; ++i) MountArchive("a.cod");
        registered = Archives.registeredCount;
        MountArchive("a.cod");
      },
      [] { return std::to_string(registered); });
  ExpectFileSystemFatal(outcome,
                        "REGISTER_FFF: too many archives, cannot mount (a.cod)");
  EXPECT_EQ("10", outcome.probe);
}

TEST(MountArchive, APathOf256BytesIsAFileThatDoesNotExist) {
  TempDir dir;
  ScopedCurrentDirectory cwd(dir.path());
  const std::string name(251, 'n');
  dir.Write(name + ".cod", BuildFffArchive({{"x", "1"}}));
  ResetArchives();
  MountArchive((name + ".cod").c_str());  // 255 bytes: mounts
  EXPECT_EQ(1, Archives.registeredCount);
  MountArchive(("./" + name + ".cod").c_str());  // 257 bytes: never cut
  EXPECT_EQ(1, Archives.registeredCount);
  CloseAllArchives();
}

}  // namespace
