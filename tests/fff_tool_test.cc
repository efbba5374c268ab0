// The fff archive tool, run as the patch publisher runs it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "filesystem/fff_format.h"
#include "tests/test_support.h"

namespace {

CommandResult Fff(const std::vector<std::string>& arguments,
                  const std::string& workingDirectory) {
  std::vector<std::string> argv = {FffToolPath()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return RunCommand(argv, workingDirectory);
}

// Every file and folder under root, relative to it, sorted.
std::vector<std::string> FolderContents(const std::string& root) {
  std::vector<std::string> contents;
  for (const auto& item : std::filesystem::recursive_directory_iterator(root))
    contents.push_back(
        std::filesystem::relative(item.path(), root).generic_string());
  std::sort(contents.begin(), contents.end());
  return contents;
}

void SetDirectorySize(std::string* archive, uint32_t directorySize) {
  WriteLittleEndian32(reinterpret_cast<unsigned char*>(&(*archive)[24]),
                      directorySize);
}

}  // namespace

TEST(FffToolTest, CreateListCheckAndExtractRoundTrip) {
  TempDir dir;
  const std::string binary("\x00\xFF\x10\x00zz", 6);
  dir.Write("src/game.exe", "hello");
  dir.Write("src/empty.txt", "");
  dir.Write("src/data/levels.bin", binary);

  CommandResult created =
      Fff({"create", "patch.fff", "-C", "src", "/Gravelhorn_d3d.exe=game.exe",
           "empty.txt", "data/levels.bin"},
          dir.path());
  ASSERT_EQ(0, created.exitCode) << created.err;
  EXPECT_EQ("", created.out);
  EXPECT_EQ("", created.err);

  // Header text, then exactly the layout the installer reads.
  const std::string archive = ReadFileBytes(dir.path() + "/patch.fff");
  EXPECT_EQ(std::string("FFF archive") + std::string(13, '\0'),
            archive.substr(0, 24));
  EXPECT_EQ(BuildFffArchive({{"/Gravelhorn_d3d.exe", "hello"},
                             {"empty.txt", ""},
                             {"data/levels.bin", binary}})
                .substr(24),
            archive.substr(24));

  CommandResult listed = Fff({"list", "patch.fff"}, dir.path());
  EXPECT_EQ(0, listed.exitCode);
  EXPECT_EQ(
      "436\t5\t/Gravelhorn_d3d.exe\n"
      "441\t0\tempty.txt\n"
      "441\t6\tdata/levels.bin\n",
      listed.out);
  EXPECT_EQ("", listed.err);

  CommandResult checked = Fff({"check", "patch.fff"}, dir.path());
  EXPECT_EQ(0, checked.exitCode);
  EXPECT_EQ("patch.fff: OK, 3 members, 447 bytes\n", checked.out);
  EXPECT_EQ("", checked.err);

  // Everything, into a folder that does not exist yet; the leading "/" of a
  // patch archive's name is dropped.
  CommandResult extracted =
      Fff({"extract", "patch.fff", "-C", "out"}, dir.path());
  EXPECT_EQ(0, extracted.exitCode) << extracted.err;
  EXPECT_EQ("", extracted.err);
  EXPECT_EQ((std::vector<std::string>{"Gravelhorn_d3d.exe", "data",
                                      "data/levels.bin", "empty.txt"}),
            FolderContents(dir.path() + "/out"));
  EXPECT_EQ("hello", ReadFileBytes(dir.path() + "/out/Gravelhorn_d3d.exe"));
  EXPECT_EQ("", ReadFileBytes(dir.path() + "/out/empty.txt"));
  EXPECT_EQ(binary, ReadFileBytes(dir.path() + "/out/data/levels.bin"));

  // One member, named in another case, into the current folder: it is found
  // the way the installer finds it and written under the archive's spelling.
  MakeFolders(dir.path() + "/here");
  CommandResult one =
      Fff({"extract", dir.path() + "/patch.fff", "/GRAVELHORN_D3D.EXE"},
          dir.path() + "/here");
  EXPECT_EQ(0, one.exitCode) << one.err;
  EXPECT_EQ(std::vector<std::string>{"Gravelhorn_d3d.exe"},
            FolderContents(dir.path() + "/here"));
  EXPECT_EQ("hello", ReadFileBytes(dir.path() + "/here/Gravelhorn_d3d.exe"));
}

TEST(FffToolTest, CreateNamesMembersByTheirPathWithForwardSlashes) {
  TempDir dir;
  // On Linux a backslash is an ordinary file name byte, which lets this test
  // see the conversion a Windows path gets.
  dir.Write("maps\\town.map", "town");
  dir.Write("readme.txt", "read me");
  const std::string name127(127, 'n');
  CommandResult created =
      Fff({"create", "a.fff", "maps\\town.map", name127 + "=readme.txt"},
          dir.path());
  ASSERT_EQ(0, created.exitCode) << created.err;
  EXPECT_EQ("300\t4\tmaps/town.map\n304\t7\t" + name127 + "\n",
            Fff({"list", "a.fff"}, dir.path()).out);
}

TEST(FffToolTest, CreateRefusesMembersTheInstallerCouldNotFind) {
  TempDir dir;
  dir.Write("x.txt", "x");
  dir.Write("y.txt", "y");
  const std::string name128(128, 'n');
  struct Case {
    std::vector<std::string> members;
    std::string message;
  } cases[] = {
      {{"=x.txt"},
       "fff: a.fff: member '': the name given in '=x.txt' is "
       "empty\n"},
      {{name128 + "=x.txt"},
       "fff: a.fff: member '" + name128 +
           "': the name is 128 bytes long; it must be shorter than 128\n"},
      {{"Data/X.txt=x.txt", "data/x.TXT=y.txt"},
       "fff: a.fff: member 'data/x.TXT': the same name as member "
       "'Data/X.txt' regardless of case\n"},
      {{"x.txt", "missing.txt"},
       "fff: a.fff: member 'missing.txt': cannot read 'missing.txt': No "
       "such file or directory\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {"create", "a.fff"};
    arguments.insert(arguments.end(), c.members.begin(), c.members.end());
    CommandResult result = Fff(arguments, dir.path());
    EXPECT_EQ(1, result.exitCode) << c.message;
    EXPECT_EQ(c.message, result.err);
    EXPECT_EQ((std::vector<std::string>{"x.txt", "y.txt"}),
              FolderContents(dir.path()))
        << c.message;
  }
}

TEST(FffToolTest, CreateRefusesFilesPastTheReachOf32BitOffsets) {
  TempDir dir;
  dir.Write("small.txt", "s");
  // Sparse, so it costs no disk space.
  dir.Write("big.bin", "");
  std::filesystem::resize_file(dir.path() + "/big.bin", 0xFFFFFFFFull - 300);
  CommandResult result =
      Fff({"create", "a.fff", "big.bin", "small.txt"}, dir.path());
  EXPECT_EQ(1, result.exitCode);
  EXPECT_EQ(
      "fff: a.fff: member 'small.txt': the archive would end at byte "
      "4294967296, past the 4 GiB that its 32-bit offsets reach\n",
      result.err);
  EXPECT_FALSE(FileExists(dir.path() + "/a.fff"));
}

TEST(FffToolTest, FailedCreateLeavesNoArchiveAndNoTemporaryFile) {
  TempDir dir;
  dir.Write("x.txt", "x");
  dir.Write("a.fff", "the old archive");
  CommandResult missing =
      Fff({"create", "a.fff", "x.txt", "gone.txt"}, dir.path());
  EXPECT_EQ(1, missing.exitCode);
  EXPECT_EQ("the old archive", ReadFileBytes(dir.path() + "/a.fff"));
  EXPECT_EQ((std::vector<std::string>{"a.fff", "x.txt"}),
            FolderContents(dir.path()));

  // A folder in the archive's place makes the final rename fail after the
  // whole archive was written beside it.
  dir.Write("b.fff/keep", "k");
  CommandResult blocked = Fff({"create", "b.fff", "x.txt"}, dir.path());
  EXPECT_EQ(1, blocked.exitCode);
  EXPECT_NE(std::string::npos, blocked.err.find("fff: b.fff: cannot rename"))
      << blocked.err;
  EXPECT_EQ((std::vector<std::string>{"a.fff", "b.fff", "b.fff/keep", "x.txt"}),
            FolderContents(dir.path()));
}

TEST(FffToolTest, ExtractRefusesNamesThatLeaveTheFolder) {
  const std::string badNames[] = {"../evil",  "sub/../../evil", "/../evil",
                                  "//evil",   "C:/evil",        "C:evil",
                                  "..\\evil", "sub//evil",      "./evil",
                                  ".. /evil", "sub./evil"};
  for (const std::string& badName : badNames) {
    TempDir dir;
    WriteFileBytes(dir.path() + "/a.fff",
                   BuildFffArchive({{"good.txt", "ok"}, {badName, "bad"}}));
    MakeFolders(dir.path() + "/inner/out");
    for (const std::vector<std::string>& members :
         {std::vector<std::string>{}, std::vector<std::string>{badName}}) {
      std::vector<std::string> arguments = {"extract", "../a.fff", "-C", "out"};
      arguments.insert(arguments.end(), members.begin(), members.end());
      CommandResult result = Fff(arguments, dir.path() + "/inner");
      EXPECT_EQ(1, result.exitCode) << badName;
      EXPECT_EQ("fff: ../a.fff: refusing entry 2 '" + badName +
                    "': the name could lead outside the folder (it has an "
                    "empty part, a "
                    "part ending in '.' or ' ', a '\\' or a ':')\n",
                result.err);
      // Nothing at all is written, not even the harmless member.
      EXPECT_EQ((std::vector<std::string>{"a.fff", "inner", "inner/out"}),
                FolderContents(dir.path()))
          << badName;
    }
  }
}

TEST(FffToolTest, ExtractWritesWhatTheInstallerWouldFind) {
  TempDir dir;
  WriteFileBytes(dir.path() + "/dup.fff",
                 BuildFffArchive({{"Text/Read.me", "first"},
                                  {"text/READ.ME", "hidden"},
                                  {"other", "o"}}));
  CommandResult all = Fff({"extract", "dup.fff", "-C", "all"}, dir.path());
  EXPECT_EQ(0, all.exitCode);
  EXPECT_EQ(
      "fff: dup.fff: skipping entry 2 'text/READ.ME': the installer finds "
      "entry 1 'Text/Read.me' under that name\n",
      all.err);
  EXPECT_EQ((std::vector<std::string>{"Text", "Text/Read.me", "other"}),
            FolderContents(dir.path() + "/all"));
  EXPECT_EQ("first", ReadFileBytes(dir.path() + "/all/Text/Read.me"));

  CommandResult named =
      Fff({"extract", "dup.fff", "-C", "named", "TEXT/read.me"}, dir.path());
  EXPECT_EQ(0, named.exitCode);
  EXPECT_EQ("first", ReadFileBytes(dir.path() + "/named/Text/Read.me"));

  // A name the archive lacks fails the whole command before anything lands.
  CommandResult missing = Fff(
      {"extract", "dup.fff", "-C", "missing", "other", "nothing"}, dir.path());
  EXPECT_EQ(1, missing.exitCode);
  EXPECT_EQ("fff: dup.fff: member 'nothing': not in the archive\n",
            missing.err);
  EXPECT_FALSE(FileExists(dir.path() + "/missing"));
}

TEST(FffToolTest, ExtractRefusesMembersItCannotWriteFaithfully) {
  TempDir dir;
  std::string truncated = BuildFffArchive({{"a.txt", "abc"}});
  truncated.pop_back();
  const std::string name128(128, 'x');
  struct Case {
    std::string archive;
    std::string message;
  } cases[] = {
      {truncated,
       "refusing entry 1 'a.txt': its data runs past the end of the file"},
      {BuildFffArchive({{name128, "x"}}),
       "refusing entry 1 '" + name128 +
           "': the name has no terminating zero within its 128 bytes"},
      {BuildFffArchive({{"", "x"}}), "refusing entry 1 '': the name is empty"},
      // Different names to the installer, one file on disk.
      {BuildFffArchive({{"/setup.ini", "1"}, {"SETUP.INI", "2"}}),
       "refusing entry 2 'SETUP.INI': it would land on the same file as "
       "entry 1 '/setup.ini'"},
  };
  for (const Case& c : cases) {
    WriteFileBytes(dir.path() + "/a.fff", c.archive);
    CommandResult result = Fff({"extract", "a.fff", "-C", "out"}, dir.path());
    EXPECT_EQ(1, result.exitCode) << c.message;
    EXPECT_EQ("fff: a.fff: " + c.message + "\n", result.err);
    EXPECT_FALSE(FileExists(dir.path() + "/out")) << c.message;
  }
}

TEST(FffToolTest, ExtractThatCannotWriteAMemberLeavesWhatWasThere) {
  TempDir dir;
  WriteFileBytes(dir.path() + "/a.fff", BuildFffArchive({{"a.txt", "new"}}));
  MakeFolders(dir.path() + "/out/a.txt");
  CommandResult result = Fff({"extract", "a.fff", "-C", "out"}, dir.path());
  EXPECT_EQ(1, result.exitCode);
  EXPECT_EQ(
      "fff: a.fff: member 'a.txt': extracting to 'out/a.txt': cannot create "
      "it\n",
      result.err);
  EXPECT_EQ((std::vector<std::string>{"a.txt"}),
            FolderContents(dir.path() + "/out"));

  // An archive holding a member of its own name, extracted beside itself.
  const std::string selfNamed = BuildFffArchive({{"self.fff", "tiny"}});
  WriteFileBytes(dir.path() + "/self.fff", selfNamed);
  CommandResult self = Fff({"extract", "self.fff"}, dir.path());
  EXPECT_EQ(1, self.exitCode);
  EXPECT_EQ(
      "fff: self.fff: member 'self.fff': extracting to './self.fff' would "
      "overwrite the archive\n",
      self.err);
  EXPECT_EQ(selfNamed, ReadFileBytes(dir.path() + "/self.fff"));
}

TEST(FffToolTest, CheckReportsEveryKindOfDamage) {
  std::string pastEnd = BuildFffArchive({{"a.txt", "abc"}});
  pastEnd.pop_back();
  // offset + size overflows 32 bits; only 64-bit arithmetic sees it.
  std::string wrapping = BuildFffArchive({{"wrap", "abc"}});
  WriteLittleEndian32(reinterpret_cast<unsigned char*>(&wrapping[28 + 128]),
                      0xFFFFFFF0u);
  WriteLittleEndian32(reinterpret_cast<unsigned char*>(&wrapping[28 + 132]),
                      0x20u);
  std::string ragged = BuildFffArchive({{"a", "1"}});
  SetDirectorySize(&ragged, 137);
  std::string tooLong = BuildFffArchive({{"", "1"}});
  SetDirectorySize(&tooLong, 136 * 100);
  std::string duplicatePastEnd = BuildFffArchive({{"b", "22"}, {"B", "3"}});
  duplicatePastEnd.pop_back();
  const std::string name128(128, 'x');
  struct Case {
    std::string archive;
    std::vector<std::string> problems;
  } cases[] = {
      {pastEnd,
       {"entry 1 'a.txt': its data (offset 164, size 3) runs past the end of "
        "the file (166 bytes)"}},
      {wrapping,
       {"entry 1 'wrap': its data (offset 4294967280, size 32) runs past the "
        "end of the file (167 bytes)"}},
      {BuildFffArchive({{name128, "x"}}),
       {"entry 1 '" + name128 +
        "': the name has no terminating zero within its 128 bytes"}},
      {BuildFffArchive({{"ok", "1"}, {"", "2"}}),
       {"entry 2 '': the name is empty"}},
      {BuildFffArchive(
           {{"Sound/Hit.wav", "1"}, {"x", "2"}, {"sound/hit.WAV", "3"}}),
       {"entry 3 'sound/hit.WAV': the same name as entry 1 'Sound/Hit.wav' "
        "regardless of case; the installer never finds it"}},
      {ragged, {"the directory size 137 is not a multiple of 136"}},
      // The entries that are in the file are still checked, and every
      // problem is listed, not just the first.
      {tooLong,
       {"the directory (13600 bytes from offset 28) runs past the end of the "
        "file (165 bytes)",
        "entry 1 '': the name is empty"}},
      {duplicatePastEnd,
       {"entry 2 'B': the same name as entry 1 'b' regardless of case; the "
        "installer never finds it",
        "entry 2 'B': its data (offset 302, size 1) runs past the end of the "
        "file (302 bytes)"}},
      {std::string(27, '\0'),
       {"the file is 27 bytes long, shorter than the 28-byte header"}},
      {"", {"the file is 0 bytes long, shorter than the 28-byte header"}},
  };
  TempDir dir;
  for (const Case& c : cases) {
    WriteFileBytes(dir.path() + "/a.fff", c.archive);
    std::string expected;
    for (const std::string& problem : c.problems)
      expected += "fff: a.fff: " + problem + "\n";
    CommandResult result = Fff({"check", "a.fff"}, dir.path());
    EXPECT_EQ(1, result.exitCode) << expected;
    EXPECT_EQ("", result.out);
    EXPECT_EQ(expected, result.err);
  }

  CommandResult absent = Fff({"check", "absent.fff"}, dir.path());
  EXPECT_EQ(1, absent.exitCode);
  EXPECT_EQ(
      "fff: absent.fff: cannot read the archive: No such file or directory\n",
      absent.err);
}

TEST(FffToolTest, ListAndExtractRefuseADamagedDirectory) {
  TempDir dir;
  std::string tooLong = BuildFffArchive({{"a", "1"}});
  SetDirectorySize(&tooLong, 136 * 1000000);
  WriteFileBytes(dir.path() + "/long.fff", tooLong);
  WriteFileBytes(dir.path() + "/short.fff", "FFF");
  const std::string longMessage =
      "fff: long.fff: the directory (136000000 bytes from offset 28) runs "
      "past the end of the file (165 bytes)\n";
  const std::string shortMessage =
      "fff: short.fff: the file is 3 bytes long, shorter than the 28-byte "
      "header\n";
  struct Case {
    std::vector<std::string> arguments;
    std::string message;
  } cases[] = {
      {{"list", "long.fff"}, longMessage},
      {{"extract", "long.fff", "-C", "out"}, longMessage},
      {{"list", "short.fff"}, shortMessage},
      {{"extract", "short.fff", "-C", "out"}, shortMessage},
      {{"list", "absent.fff"},
       "fff: absent.fff: cannot read the archive: No such file or "
       "directory\n"},
  };
  for (const Case& c : cases) {
    CommandResult result = Fff(c.arguments, dir.path());
    EXPECT_EQ(1, result.exitCode) << c.message;
    EXPECT_EQ("", result.out);
    EXPECT_EQ(c.message, result.err);
    EXPECT_FALSE(FileExists(dir.path() + "/out"));
  }
}

TEST(FffToolTest, UsageErrorsExitWithTwoAndChangeNothing) {
  TempDir dir;
  dir.Write("x.txt", "x");
  const std::vector<std::string> badCommandLines[] = {
      {},
      {"pack", "a.fff"},
      {"create"},
      {"create", "a.fff"},
      {"create", "a.fff", "-C"},
      {"create", "a.fff", "-C", "", "x.txt"},
      {"create", "a.fff", "--level=9", "x.txt"},
      {"list"},
      {"list", "a.fff", "extra"},
      {"list", "-C", ".", "a.fff"},
      {"check", "a.fff", "extra"},
      {"extract", "a.fff", "-C", "one", "-C", "two"},
  };
  for (const std::vector<std::string>& arguments : badCommandLines) {
    CommandResult result = Fff(arguments, dir.path());
    const std::string shown = ::testing::PrintToString(arguments);
    EXPECT_EQ(2, result.exitCode) << shown;
    EXPECT_EQ("", result.out) << shown;
    EXPECT_EQ(0u, result.err.find(arguments.empty() ? "usage: fff" : "fff: "))
        << shown << result.err;
    EXPECT_EQ(std::vector<std::string>{"x.txt"}, FolderContents(dir.path()))
        << shown;
  }

  for (const char* help : {"--help", "help"}) {
    CommandResult result = Fff({help}, dir.path());
    EXPECT_EQ(0, result.exitCode);
    EXPECT_EQ(0u, result.out.find("usage: fff create ARCHIVE [-C DIR] "
                                  "[NAME=]FILE...\n"));
    EXPECT_EQ("", result.err);
  }
}
