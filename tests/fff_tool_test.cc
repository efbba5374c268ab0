// The fff archive tool, run as the patch publisher runs it.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "filesystem/fff_format.h"
#include "tests/test_support.h"

namespace {

using Strings = std::vector<std::string>;

CommandResult Fff(const Strings& arguments, const std::string& folder,
                  const Strings& more = {}) {
  Strings argv = {FffToolPath()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  argv.insert(argv.end(), more.begin(), more.end());
  return RunCommand(argv, folder);
}

void ExpectRun(const CommandResult& result, int exitCode,
               const std::string& out, const std::string& err) {
  EXPECT_EQ(exitCode, result.exitCode) << result.err;
  EXPECT_EQ(out, result.out);
  EXPECT_EQ(err, result.err);
}

// archive with the 32-bit field at offset set to value.
std::string With32(std::string archive, size_t offset, uint32_t value) {
  unsigned char field[4];
  WriteLittleEndian32(field, value);
  return archive.replace(offset, 4, reinterpret_cast<char*>(field), 4);
}

std::string WithoutLastByte(std::string archive) {
  archive.pop_back();
  return archive;
}

// Runs fff COMMAND on archive (extract into a new folder, with these
// members): exit code 1, each problem on standard error, nothing on standard
// output, and nothing written.
void ExpectRefusedWritingNothing(const std::string& command,
                                 const std::string& archive,
                                 const Strings& problems,
                                 const Strings& members = {}) {
  TempDir dir;
  WriteFileBytes(dir.path() + "/a.fff", archive);
  std::string expected;
  for (const std::string& problem : problems)
    expected += "fff: a.fff: " + problem + "\n";
  Strings more = command == "extract" ? Strings{"-C", "out"} : Strings{};
  more.insert(more.end(), members.begin(), members.end());
  ExpectRun(Fff({command, "a.fff"}, dir.path(), more), 1, "", expected);
  EXPECT_EQ((FolderFiles{{"a.fff", archive}}), FolderTree(dir.path()));
}

}  // namespace

TEST(FffToolTest, CreateListCheckAndExtractRoundTrip) {
  TempDir dir;
  const std::string binary("\x00\xFF\x10\x00zz", 6);
  dir.Write("src/game.exe", "hello");
  dir.Write("src/empty.txt", "");
  dir.Write("src/data/levels.bin", binary);

  ExpectRun(
      Fff({"create", "patch.fff", "-C", "src", "/Gravelhorn_d3d.exe=game.exe",
           "empty.txt", "data/levels.bin"},
          dir.path()),
      0, "", "");
  // Header text, then exactly the layout the installer reads.
  EXPECT_EQ("FFF archive" + std::string(13, '\0') +
                BuildFffArchive({{"/Gravelhorn_d3d.exe", "hello"},
                                 {"empty.txt", ""},
                                 {"data/levels.bin", binary}})
                    .substr(24),
            ReadFileBytes(dir.path() + "/patch.fff"));

  ExpectRun(Fff({"list", "patch.fff"}, dir.path()), 0,
            "436\t5\t/Gravelhorn_d3d.exe\n"
            "441\t0\tempty.txt\n"
            "441\t6\tdata/levels.bin\n",
            "");
  ExpectRun(Fff({"check", "patch.fff"}, dir.path()), 0,
            "patch.fff: OK, 3 members, 447 bytes\n", "");

  // Everything, into a folder that does not exist yet; the leading "/" of a
  // patch archive's name is dropped.
  ExpectRun(Fff({"extract", "patch.fff", "-C", "out"}, dir.path()), 0, "", "");
  EXPECT_EQ((FolderFiles{{"Gravelhorn_d3d.exe", "hello"},
                   {"data", "<folder>"},
                   {"data/levels.bin", binary},
                   {"empty.txt", ""}}),
            FolderTree(dir.path() + "/out"));
}

TEST(FffToolTest, CreateWritesAWholeArchiveTheInstallerCanReadOrNothing) {
  TempDir dir;
  dir.Write("x.txt", "x");
  dir.Write("a.fff", "the old archive");
  // Sparse, so it costs no disk space: it fills the archive up to the last
  // byte that 32-bit offsets reach, and x.txt behind it goes past.
  TempDir sparse;
  const std::string big = sparse.Write("big.bin", "");
  std::filesystem::resize_file(big, 0xFFFFFFFFull - 981);
  const FolderFiles before = FolderTree(dir.path());
  const std::string name128(128, 'n');
  // Every member that cannot be stored is named, and nothing is written.
  ExpectRun(
      Fff({"create", "a.fff", "=x.txt", name128 + "=x.txt", "Data/X.txt=x.txt",
           "data/x.TXT=x.txt", "missing.txt", big, "x.txt"},
          dir.path()),
      1, "",
      "fff: a.fff: member '': the name given in '=x.txt' is empty\n"
      "fff: a.fff: member '" +
          name128 +
          "': the name is 128 bytes long; it must be shorter than 128\n"
          "fff: a.fff: member 'data/x.TXT': the same name as member "
          "'Data/X.txt' regardless of case\n"
          "fff: a.fff: member 'missing.txt': cannot read "
          "'missing.txt': No such file or directory\n"
          "fff: a.fff: member 'x.txt': the archive would end at byte "
          "4294967296, past the 4 GiB that its 32-bit offsets reach\n");
  EXPECT_EQ(before, FolderTree(dir.path()));

  // A folder in the archive's place makes the final rename fail after the
  // whole archive was written beside it; that file goes too.
  dir.Write("b.fff/keep", "k");
  CommandResult blocked = Fff({"create", "b.fff", "x.txt"}, dir.path());
  EXPECT_EQ(1, blocked.exitCode);
  EXPECT_EQ(0u, blocked.err.find("fff: b.fff: cannot rename")) << blocked.err;
  FolderFiles expected = before;
  expected.insert({{"b.fff", "<folder>"}, {"b.fff/keep", "k"}});
  EXPECT_EQ(expected, FolderTree(dir.path()));

  // A bare FILE is named by its path with '/' (on Linux a backslash is an
  // ordinary name byte, which shows the conversion a Windows path gets);
  // 127 bytes is the longest name.
  dir.Write("maps\\town.map", "town");
  const std::string name127(127, 'n');
  ExpectRun(Fff({"create", "c.fff", "maps\\town.map", name127 + "=x.txt"},
                dir.path()),
            0, "", "");
  ExpectRun(Fff({"list", "c.fff"}, dir.path()), 0,
            "300\t4\tmaps/town.map\n304\t1\t" + name127 + "\n", "");
}

TEST(FffToolTest, ExtractRefusesNamesThatLeaveTheFolder) {
  const Strings badNames = {"../evil",  "sub/../../evil", "/../evil",
                            "//evil",   "C:/evil",        "C:evil",
                            "..\\evil", "sub//evil",      "./evil",
                            ".. /evil", "sub./evil"};
  std::vector<ArchiveMember> members = {{"good.txt", "ok"}};
  Strings problems;
  for (const std::string& name : badNames) {
    members.push_back({name, "bad"});
    problems.push_back(
        "refusing entry " + std::to_string(members.size()) + " '" + name +
        "': the name could lead outside the folder (it has an empty part, a "
        "part ending in '.' or ' ', a '\\' or a ':')");
  }
  // Every member, or the bad ones by name: not even the harmless member is
  // written.
  ExpectRefusedWritingNothing("extract", BuildFffArchive(members), problems);
  ExpectRefusedWritingNothing("extract", BuildFffArchive(members), problems,
                              badNames);
}

TEST(FffToolTest, ExtractWritesWhatTheInstallerWouldFindAndNothingElse) {
  TempDir dir;
  WriteFileBytes(dir.path() + "/dup.fff",
                 BuildFffArchive({{"Text/Read.me", "first"},
                                  {"text/READ.ME", "hidden"},
                                  {"other", "o"}}));
  ExpectRun(Fff({"extract", "dup.fff", "-C", "all"}, dir.path()), 0, "",
            "fff: dup.fff: skipping entry 2 'text/READ.ME': the installer "
            "finds entry 1 'Text/Read.me' under that name\n");
  EXPECT_EQ(
      (FolderFiles{{"Text", "<folder>"}, {"Text/Read.me", "first"}, {"other", "o"}}),
      FolderTree(dir.path() + "/all"));

  // One member, named in another case, into the current folder: written
  // under the archive's spelling.
  MakeFolders(dir.path() + "/here");
  ExpectRun(
      Fff({"extract", "../dup.fff", "TEXT/read.me"}, dir.path() + "/here"), 0,
      "", "");
  EXPECT_EQ((FolderFiles{{"Text", "<folder>"}, {"Text/Read.me", "first"}}),
            FolderTree(dir.path() + "/here"));

  // A name the archive lacks fails the whole command before anything lands.
  ExpectRefusedWritingNothing("extract", BuildFffArchive({{"other", "o"}}),
                              {"member 'nothing': not in the archive"},
                              {"other", "nothing"});

  // A folder where a member belongs: reported, and left as it was.
  MakeFolders(dir.path() + "/here2/other");
  ExpectRun(Fff({"extract", "dup.fff", "-C", "here2", "other"}, dir.path()), 1,
            "",
            "fff: dup.fff: member 'other': extracting to 'here2/other': "
            "cannot create it\n");
  EXPECT_EQ((FolderFiles{{"other", "<folder>"}}), FolderTree(dir.path() + "/here2"));

  // An archive holding a member of its own name, extracted beside itself.
  const std::string selfNamed = BuildFffArchive({{"self.fff", "tiny"}});
  WriteFileBytes(dir.path() + "/self.fff", selfNamed);
  ExpectRun(Fff({"extract", "self.fff"}, dir.path()), 1, "",
            "fff: self.fff: member 'self.fff': extracting to './self.fff' "
            "would overwrite the archive\n");
  EXPECT_EQ(selfNamed, ReadFileBytes(dir.path() + "/self.fff"));
}

TEST(FffToolTest, DamageIsNamedAndNothingIsWritten) {
  const std::string name128(128, 'x');
  // check lists every problem of every entry; offset + size of entry 4
  // wraps around 32 bits, which only 64-bit arithmetic sees.
  ExpectRefusedWritingNothing(
      "check",
      With32(With32(WithoutLastByte(BuildFffArchive({{name128, "1"},
                                                     {"", "2"},
                                                     {"Sound/Hit.wav", "3"},
                                                     {"sound/hit.WAV", "4"},
                                                     {"a", "abc"}})),
                    28 + 3 * 136 + 128, 0xFFFFFFF0u),
             28 + 3 * 136 + 132, 32),
      {"entry 1 '" + name128 +
           "': the name has no terminating zero within its 128 bytes",
       "entry 2 '': the name is empty",
       "entry 4 'sound/hit.WAV': the same name as entry 3 'Sound/Hit.wav' "
       "regardless of case; the installer never finds it",
       "entry 4 'sound/hit.WAV': its data (offset 4294967280, size 32) runs "
       "past the end of the file (714 bytes)",
       "entry 5 'a': its data (offset 712, size 3) runs past the end of the "
       "file (714 bytes)"});
  // Damage to the header or the directory as a whole; the entries that are
  // in the file are still checked.
  ExpectRefusedWritingNothing(
      "check", With32(BuildFffArchive({{"a", "1"}}), 24, 137),
      {"the directory size 137 is not a multiple of 136"});
  ExpectRefusedWritingNothing(
      "check", With32(BuildFffArchive({{"", "1"}}), 24, 136 * 100),
      {"the directory (13600 bytes from offset 28) runs past the end of the "
       "file (165 bytes)",
       "entry 1 '': the name is empty"});
  ExpectRefusedWritingNothing(
      "check", std::string(27, '\0'),
      {"the file is 27 bytes long, shorter than the 28-byte header"});
  // list and extract refuse such damage outright.
  ExpectRefusedWritingNothing(
      "list", With32(BuildFffArchive({{"a", "1"}}), 24, 136000000),
      {"the directory (136000000 bytes from offset 28) runs past the end of "
       "the file (165 bytes)"});
  ExpectRefusedWritingNothing(
      "extract", "FFF",
      {"the file is 3 bytes long, shorter than the 28-byte header"});
  // extract refuses every member it cannot write faithfully; entries 3 and
  // 4 are different names to the installer, but one file on disk.
  ExpectRefusedWritingNothing(
      "extract",
      WithoutLastByte(BuildFffArchive({{name128, "1"},
                                       {"", "2"},
                                       {"/setup.ini", "3"},
                                       {"SETUP.INI", "4"},
                                       {"a", "abc"}})),
      {"refusing entry 1 '" + name128 +
           "': the name has no terminating zero within its 128 bytes",
       "refusing entry 2 '': the name is empty",
       "refusing entry 4 'SETUP.INI': it would land on the same file as "
       "entry 3 '/setup.ini'",
       "refusing entry 5 'a': its data runs past the end of the file"});

  TempDir dir;
  for (const char* command : {"check", "list"})
    ExpectRun(Fff({command, "absent.fff"}, dir.path()), 1, "",
              "fff: absent.fff: cannot read the archive: No such file or "
              "directory\n");
}

TEST(FffToolTest, UsageErrorsExitWithTwoAndChangeNothing) {
  TempDir dir;
  dir.Write("x.txt", "x");
  const Strings badCommandLines[] = {
      {},
      {"pack", "a.fff"},
      {"create"},
      {"create", "a.fff"},
      {"create", "a.fff", "-C"},
      {"create", "a.fff", "-C", "", "x.txt"},
      {"create", "a.fff", "--level=9", "x.txt"},
      {"list", "a.fff", "extra"},
      {"list", "-C", ".", "a.fff"},
      {"check", "a.fff", "extra"},
      {"extract", "a.fff", "-C", "one", "-C", "two"}};
  for (const Strings& arguments : badCommandLines) {
    CommandResult result = Fff(arguments, dir.path());
    const std::string shown = ::testing::PrintToString(arguments);
    EXPECT_EQ(2, result.exitCode) << shown;
    EXPECT_EQ("", result.out) << shown;
    EXPECT_EQ(0u, result.err.find(arguments.empty() ? "usage: fff" : "fff: "))
        << shown << result.err;
    EXPECT_EQ((FolderFiles{{"x.txt", "x"}}), FolderTree(dir.path())) << shown;
  }

  for (const char* help : {"--help", "help"}) {
    CommandResult result = Fff({help}, dir.path());
    EXPECT_EQ(0, result.exitCode);
    EXPECT_EQ(0u, result.out.find("usage: fff create ARCHIVE [-C DIR] "
                                  "[NAME=]FILE...\n"));
    EXPECT_EQ("", result.err);
  }
}
