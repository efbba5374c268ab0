// The fff archive tool, run as patch publishers and support people run it,
// and held against the installer's own mount and lookup.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "filesystem/archive_table.h"
#include "installer/messages.h"
#include "installer/settings.h"
#include "platform/code_page.h"
#include "programs/fff/member_name.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using std::string_literals::operator""s;
using Strings = std::vector<std::string>;

const std::string kDevice =
    "' is a device on Windows (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0 to COM9 and LPT0 to LPT9, "
    "also with a superscript 1, 2 or 3), not a file";

// Runs the built fff in folder; the C locale gives code page 1252. With
// faults, its test build, whose calls fail as they say.
CommandResult Fff(Strings arguments, const std::string& folder, const std::string& faults = "") {
  arguments.insert(arguments.begin(), faults.empty() ? FffToolPath() : FffFaultsPath());
  return RunCommand(arguments, folder, {"LC_ALL=C", "GRAVELHORN_FAULTS=" + faults});
}

void ExpectRun(const CommandResult& result, int exitCode, const std::string& out,
               const std::string& err) {
  EXPECT_EQ(std::tuple(exitCode, out, err), std::tuple(result.exitCode, result.out, result.err));
}

// Standard error for problems with archive; a problem that starts "fff: "
// is a whole text of its own.
std::string Complaints(const std::string& archive, const Strings& problems) {
  std::string text;
  for (const std::string& problem : problems)
    text += problem.rfind("fff: ", 0) == 0 ? problem : "fff: " + archive + ": " + problem + "\n";
  return text;
}

// archive with the 32-bit field at offset set to value.
std::string With32(std::string archive, size_t offset, uint32_t value) {
  WriteLittleEndian32(reinterpret_cast<unsigned char*>(&archive[offset]), value);
  return archive;
}

// more, and a.fff holding members.
FolderFiles Archive(const std::vector<ArchiveMember>& members, FolderFiles more = {}) {
  more["a.fff"] = BuildFffArchive(members);
  return more;
}

// files with every folder on their paths.
FolderFiles WithFolders(FolderFiles files) {
  for (const auto& file : FolderFiles(files))
    for (size_t slash = file.first.find('/'); slash != std::string::npos;
         slash = file.first.find('/', slash + 1))
      files[file.first.substr(0, slash)] = kFolderEntry;
  return files;
}

// What is at path as FolderTree shows it, a link itself, "<socket>", a
// folder whose permissions are not those the umask leaves of 0777, or
// "nothing".
std::string EntryKind(const std::string& path) {
  struct stat info;
  const mode_t mask = umask(0);
  umask(mask);
  if (lstat(path.c_str(), &info) != 0) return "nothing";
  if (S_ISLNK(info.st_mode)) return "<link to " + fs::read_symlink(path).string() + ">";
  if (S_ISREG(info.st_mode)) return ReadFileBytes(path);
  if (S_ISDIR(info.st_mode))
    return (info.st_mode & 07777) == (0777 & ~mask) ? kFolderEntry : "<other permissions>";
  return S_ISFIFO(info.st_mode) ? kFifoEntry : "<socket>";
}

// Makes at path what EntryKind shows as what, or a "<hard link to NAME>"
// beside it, and the folders on its way; returns 0, or the errno of the
// failure.
int MakeEntry(const std::string& path, const std::string& what) {
  const fs::path folder = fs::path(path).parent_path();
  MakeFolders(what == kFolderEntry ? path : folder.string());
  int failed = 0;
  if (what.rfind("<link to ", 0) == 0)
    failed = symlink(what.substr(9, what.size() - 10).c_str(), path.c_str());
  else if (what.rfind("<hard link to ", 0) == 0)
    failed = link((folder / what.substr(14, what.size() - 15)).c_str(), path.c_str());
  else if (what == kFifoEntry || what == "<socket>")
    failed = mknod(path.c_str(), (what == kFifoEntry ? S_IFIFO : S_IFSOCK) | 0666, 0);
  else if (what != kFolderEntry)
    WriteFileBytes(path, what);
  return failed == 0 ? 0 : errno;
}

// fff run in a fresh folder laid out with files as EntryKind shows them
// (made by MakeEntry): its exit code, its output, its Complaints about the
// archive (the second argument) on standard error, and the folder
// afterwards: files with made laid over them (kGone: removed), every folder
// an ordinary one.
const char kGone[] = "<gone>";
struct FffRun {
  FolderFiles files;
  Strings arguments;
  int exitCode;
  std::string out;
  Strings problems;
  FolderFiles made = {};
  std::string faults = "";  // GRAVELHORN_FAULTS for fff's test build
};

void ExpectFffRuns(const std::vector<FffRun>& runs) {
  for (const FffRun& run : runs) {
    SCOPED_TRACE(::testing::PrintToString(run.arguments));
    TempDir dir;
    for (const auto& [name, what] : run.files)
      ASSERT_EQ(0, MakeEntry(dir.path() + "/" + name, what));
    ExpectRun(Fff(run.arguments, dir.path(), run.faults), run.exitCode, run.out,
              Complaints(run.arguments.size() > 1 ? run.arguments[1] : "", run.problems));
    FolderFiles after = run.files;
    for (const auto& [name, what] : run.made) after[name] = what;
    std::erase_if(after, [](const auto& entry) { return entry.second == kGone; });
    FolderFiles tree;  // as FolderTree gives it, with EntryKind's names
    for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
      tree[entry.path().lexically_relative(dir.path()).generic_string()] = EntryKind(entry.path());
    EXPECT_EQ(WithFolders(after), tree);
  }
}

// check --patch judges a Patch.dat as the run's own check and version
// detection would, for the catalogue's languages or the codes given:
// a whole one passes, and each file a run would miss, find cut short or
// patch again with is named.
TEST(FffToolTest, CheckPatchPassesAPatchDatThatPatchesEachLanguageAskedFor) {
  const std::string v12 = BuildFffArchive({{"Cfg/Menu.cfg", "[Version]\r\nversion=v1.2\r\n"}});
  const std::vector<ArchiveMember> standard = {{"/Gravelhorn_d3d.exe", "MZ 1"},
                                               {"/Gravelhorn_glide.exe", "MZ 2"},
                                               {"/Gravelhorn_gl.exe", "MZ 3"},
                                               {"/Patch_eng.cod", v12}},
                                   german = {{"/Kieselfuchs_d3d.exe", "MZ 4"},
                                             {"/Kieselfuchs_glide.exe", "MZ 5"},
                                             {"/Kieselfuchs_gl.exe", "MZ 6"},
                                             {"/Patch_ger.cod", v12}};
  // A language archive for every language of the catalogue: its list,
  // and the runs of the international edition's languages.
  std::vector<ArchiveMember> whole = standard;
  whole.insert(whole.end(), german.begin(), german.end());
  std::string out, all, international;
  Strings missing;
  const std::string gone = ", which the archive does not hold";
  for (const CatalogueLanguage& language : MessageCatalogue) {
    const std::string code = language.code, archive = "/Patch_" + code + ".cod";
    if (code != "eng" && code != "ger") whole.push_back({archive, v12});
    out += "p.dat: " + archive + ": its Cfg/Menu.cfg reads 'v1.2'\n";
    all += (all.empty() ? "" : ", ") + code;
    if (code == "ger") continue;
    international += (international.empty() ? "" : ", ") + code;
    missing.push_back("a run for " + code + " copies " + archive + gone);
  }
  Strings germanOnly;  // without --languages
  for (const char* name : {"/Gravelhorn_d3d.exe", "/Gravelhorn_glide.exe", "/Gravelhorn_gl.exe"})
    germanOnly.push_back("a run for " + international + " copies " + name + gone);
  germanOnly.insert(germanOnly.end(), missing.begin(), missing.end());
  const std::string wholeSize = std::to_string(whole.size()) + " members, " +
                                std::to_string(BuildFffArchive(whole).size()) + " bytes";
  auto patch = [](std::vector<ArchiveMember> members) {
    return FolderFiles{{"p.dat", BuildFffArchive(members)}};
  };
  auto with = [&](std::vector<ArchiveMember> members, size_t at, const ArchiveMember& member,
                  const std::vector<ArchiveMember>& more = {}) {
    members.at(at) = member;
    members.insert(members.end(), more.begin(), more.end());
    return patch(members);
  };
  const std::string cut = BuildFffArchive(standard);
  const Strings checkAll = {"check", "p.dat", "--patch"};
  auto check = [&](const char* codes) {
    Strings arguments = checkAll;
    arguments.insert(arguments.end(), {"--languages", codes});
    return arguments;
  };
  // A check that finds the patch faulty, for English alone: exit code 1.
  auto refuses = [&](FolderFiles files, Strings problems) {
    return FffRun{files, check("eng"), 1, "", problems};
  };
  const std::string menu = "/Patch_eng.cod: its Cfg/Menu.cfg ", language = "/Patch_eng.cod";
  const std::string again = "every run patches the game again";
  ExpectFffRuns({
      {patch(whole),
       checkAll,
       0,
       out + "p.dat: OK, a patch for " + all + ": " + wholeSize + "\n",
       {}},
      {patch(german),
       check("ger"),
       0,
       "p.dat: /Patch_ger.cod: its Cfg/Menu.cfg reads 'v1.2'\n"
       "p.dat: OK, a patch for ger: 4 members, 773 bytes\n",
       {}},
      // Without --languages, every language of the catalogue.
      {patch(german), checkAll, 1, "", germanOnly},
      // Stored without the leading '/' (fff create without NAME=).
      refuses(with(standard, 0, {"Gravelhorn_d3d.exe", "MZ 1"}),
              {"a run for eng copies /Gravelhorn_d3d.exe" + gone +
               "; entry 1 'Gravelhorn_d3d.exe' lacks the leading '/': store it as "
               "/Gravelhorn_d3d.exe=FILE"}),
      // An executable missing, a file no run copies (a warning only, but for
      // one the plain check names as hidden); "GER" is the international
      // edition's, whose archive is found in any case.
      {with(standard, 0, {"/readme.txt", "r"}, {{"/PATCH_ENG.COD", "x"}}),
       check("GER"),
       1,
       "",
       {"entry 5 '/PATCH_ENG.COD': the installer finds entry 4 '/Patch_eng.cod' under this "
        "name, never this one",
        "a run for GER copies /Gravelhorn_d3d.exe" + gone,
        "a run for GER copies /Patch_GER.cod" + gone,
        "warning: entry 1 '/readme.txt' is copied by no run for GER",
        "warning: entry 4 '/Patch_eng.cod' is copied by no run for GER"}},
      // A language archive whose menu a second run would patch again, one
      // without a menu, and one cut short.
      refuses(
          with(standard, 3,
               {language, BuildFffArchive({{"cfg/menu.CFG",
                                            "[Version]\r\nversion=\r\nVersion=v1.1 final\r\n"}})}),
          {menu + "reads 'v1.1 final', a version this patch upgrades, so " + again}),
      refuses(with(standard, 3, {language, BuildFffArchive({{"Text/eng.txt", "t"}})}),
              {language + ": it holds no Cfg/Menu.cfg, so the patched game's version is read from "
                          "its older archives and every run patches it again"}),
      refuses(with(standard, 3, {language, cut.substr(0, 27)}),
              {language + ": a game cannot mount it as Patch12.cod (\"file header error!\")"}),
      refuses(with(standard, 3, {language, v12.substr(0, v12.size() - 1)}),
              {menu + "runs past the end of this archive"}),
      refuses({{"p.dat", With32(cut, 28 + 3 * 136 + 132, 0x80000000)}},
              {"entry 4 '/Patch_eng.cod': its data (offset 584, size 2147483648) runs past the "
               "end of the file (773 bytes)",
               "a run for eng copies /Patch_eng.cod of 2 GiB or more, which it cannot copy"}),
      refuses({{"p.dat", cut.substr(0, cut.size() - 1)}},
              {"entry 4 '/Patch_eng.cod': its data (offset 584, size 189) runs past the end of "
               "the file (772 bytes)"}),
  });
}

// Calls that fail through the test build's seam, as on a file system that
// cannot exchange two names in one step, a disk that fails, a name another
// program takes: every file and link is as the message says, and that
// message is true.
TEST(FffToolTest, FailedCallsLeaveEveryFileAsTheMessageSays) {
  const FolderFiles linked = {{"t.fff", BuildFffArchive({{"a/x.txt", "x"}, {"b/y.txt", "y"}})},
                              {"out/a", "<link to ../outside/A>"},
                              {"out/b", "<link to ../outside/B>"},
                              {"outside/A/keep", "A"},
                              {"outside/B/keep", "B"}};
  const FolderFiles extracted = {
      {"out/a", kFolderEntry}, {"out/a/x.txt", "x"}, {"out/b", kFolderEntry}, {"out/b/y.txt", "y"}};
  const Strings extract = {"extract", "t.fff", "-C", "out"}, create = {"create", "a.fff", "x.txt"};
  const std::string notB =
      "cannot put a folder in the place of the link 'out/b': Input/output error";
  const std::string archive =
      "FFF archive" + std::string(13, '\0') + BuildFffArchive({{"x.txt", "x"}}).substr(24);
  ExpectFffRuns({
      // Without RENAME_EXCHANGE: three renames through a name aside.
      {linked, extract, 0, "", {}, extracted, "renameat2#1+=EINVAL"},
      // The second swap fails after the first succeeded, in one step or in
      // the second of three renames: the first is undone.
      {linked, extract, 1, "", {notB + "; no file was changed"}, {}, "renameat2#2=EIO"},
      {linked,
       extract,
       1,
       "",
       {notB + "; no file was changed"},
       {},
       "renameat2#1+=EINVAL,renameat#5=EIO"},
      // The folder extract made cannot be opened: it goes again.
      {{{"t.fff", BuildFffArchive({{"x.txt", "x"}})}},
       extract,
       1,
       "",
       {"cannot open the folder 'out': Input/output error"},
       {},
       "open#2=EIO"},
      // create's rename finds a name that was not there when it looked, and
      // looks again; without RENAME_EXCHANGE it renames plainly.
      {{{"x.txt", "x"}}, create, 0, "", {}, {{"a.fff", archive}}, "renameat2#1=EEXIST"},
      {{{"x.txt", "x"}}, create, 0, "", {}, {{"a.fff", archive}}, "renameat2#1+=EINVAL"},
  });
  // The file that create replaces turns into a folder just before the
  // swap: the folder is put back, the message says so, the new archive goes.
  TempDir swapped;
  swapped.Write("x.txt", "x");
  swapped.Write("a.fff", "old");
  const CommandResult folder = Fff(create, swapped.path(), "renameat2#1=folder");
  EXPECT_EQ(1, folder.exitCode);
  EXPECT_TRUE(folder.err.starts_with("fff: a.fff: cannot rename 'a.fff.tmp") &&
              folder.err.ends_with("' into place: it is a folder, not a file\n"))
      << folder.err;
  EXPECT_EQ((FolderFiles{{"a.fff", kFolderEntry}, {"x.txt", "x"}}), FolderTree(swapped.path()));
  // A temporary name that another program takes meanwhile is passed over,
  // for a new file and for a folder in a link's place: what took it stays.
  const FolderFiles plain = {{"t.fff", BuildFffArchive({{"x.txt", "x"}})}};
  for (const auto& [faults, files, expected] :
       {std::tuple<std::string, FolderFiles, FolderFiles>{
            "openat#1=taken", plain, {{"x.txt", "x"}}},
        {"mkdirat#1=taken",
         linked,
         {{"a", kFolderEntry}, {"a/x.txt", "x"}, {"b", kFolderEntry}, {"b/y.txt", "y"}}}}) {
    SCOPED_TRACE(faults);
    TempDir dir;
    for (const auto& [name, what] : files) ASSERT_EQ(0, MakeEntry(dir.path() + "/" + name, what));
    ExpectRun(Fff(extract, dir.path(), faults), 0, "", "");
    FolderFiles tree = FolderTree(dir.path() + "/out");
    EXPECT_EQ(
        1, std::erase_if(tree, [](const auto& entry) { return entry.first.starts_with(".fff"); }));
    EXPECT_EQ(expected, tree);
  }
  // A new archive has the mode that umask 022 leaves of 0666; with standard
  // input closed, a file that opens as descriptor 0 is written all the same.
  TempDir dir;
  dir.Write("x.txt", "x");
  for (const char* command :
       {"umask 022; exec \"$0\" create a.fff x.txt <&-", "exec \"$0\" extract a.fff -C out <&-"})
    ExpectRun(RunCommand({"/bin/sh", "-c", command, FffToolPath()}, dir.path(), {"LC_ALL=C"}), 0,
              "", "");
  struct stat info;
  ASSERT_EQ(0, stat((dir.path() + "/a.fff").c_str(), &info));
  EXPECT_EQ(0644u, info.st_mode & 07777);
  EXPECT_EQ(
      (FolderFiles{{"a.fff", archive}, {"out", kFolderEntry}, {"out/x.txt", "x"}, {"x.txt", "x"}}),
      FolderTree(dir.path()));
  // Each member's file is opened and closed again to be read back: twenty
  // members need no more than a dozen descriptors.
  TempDir many;
  for (int i = 0; i < 20; ++i) many.Write("m" + std::to_string(i), "m");
  ExpectRun(
      RunCommand({"/bin/sh", "-c", "ulimit -n 12; exec \"$0\" create a.fff m*", FffToolPath()},
                 many.path(), {"LC_ALL=C"}),
      0, "", "");
}

// The archive holds exactly the layout the installer reads (FileSystem's
// tests look its names up), behind the header's free bytes.
TEST(FffToolTest, CreateStoresNamesTheInstallerFindsAndExtractGivesThemBack) {
  TempDir dir;
  const std::string binary("\x00\xFF\x10\x00zz", 6), n127(127, 'n');
  // How create is given each file (FILE holds the bytes), the member, its
  // bytes, and the file extract makes of it. "maps\town.map" is a Windows
  // path, read on Linux; "-C" comes after "--": a file, not the option.
  const std::tuple<std::string, std::string, std::string, std::string> rows[] = {
      {"/Gravelhorn_d3d.exe=game.exe", "/Gravelhorn_d3d.exe", "game.exe", "Gravelhorn_d3d.exe"},
      {"empty.txt", "empty.txt", "", "empty.txt"},
      {"=a=b.txt", "a=b.txt", "a=b.txt", "a=b.txt"},
      {"Data\\Levels.bin=data/levels.bin", "Data/Levels.bin", binary, "Data/Levels.bin"},
      {"maps\\town.map", "maps/town.map", "town", "maps/town.map"},
      {"-C", "-C", "-C", "-C"},
      {"Menü.cfg=menü.txt", "Men\xFC.cfg", "menü.txt", "Menü.cfg"},
      {"a=./b.txt", "a", "b.txt", "a"},
      {n127 + "=b.txt", n127, "b.txt", n127}};
  Strings arguments = {"create", "patch.fff", "-C", "src"};
  std::vector<ArchiveMember> stored;
  FolderFiles extracted;
  for (const auto& [operand, name, data, extractedAs] : rows) {
    dir.Write("src/" + operand.substr(operand.find('=') + 1), data);
    if (operand == "-C") arguments.push_back("--");
    arguments.push_back(operand);
    stored.push_back({name, data});
    extracted[extractedAs] = data;
  }
  ExpectRun(Fff(arguments, dir.path()), 0, "", "");
  EXPECT_EQ("FFF archive" + std::string(13, '\0') + BuildFffArchive(stored).substr(24),
            ReadFileBytes(dir.path() + "/patch.fff"));
  ExpectRun(Fff({"extract", "patch.fff", "-C", "out/new"}, dir.path()), 0, "", "");
  EXPECT_EQ(WithFolders(extracted), FolderTree(dir.path() + "/out/new"));
}

// Each command answers as its row says, and leaves the folder so.
// create writes a new file or over a regular one, and nothing else: what is
// in the archive's place is looked at without following a link, and left
// as it was; so is /dev/null itself. A second link to a replaced file
// keeps its bytes, and no file is left beside the archive.
// Every name and argument fff echoes, in listings, messages and usage
// errors, shows its control characters (ESC, BEL, line feed, C1) and bytes
// that are not UTF-8 as \xHH: none can drive the terminal or forge a line.
// A usage error exits with 2, and fff alone shows help's text on standard
// error.
TEST(FffToolTest, CommandsAnswerAndLeaveTheirFolderAsTheirRowSays) {
  const Strings kExtract = {"extract", "a.fff", "-C", "out"}, create = {"create", "a.fff", "x.txt"};
  const std::vector<ArchiveMember> hidden = {{"Doc/Read.me", "1"}, {"doc/READ.ME", "2"}, {"o", ""}};
  // A € is one byte of code page 1252 and three of UTF-8.
  auto euros = [](size_t n) { return NarrowToHost(std::string(n, '\x80')); };
  // fits is 255 bytes in UTF-8.
  const std::string fits(85, '\x80'), hint = "; name the member with NAME=FILE";
  const std::string sharing = With32(
      With32(BuildFffArchive(
                 {{"a", "0123456789"}, {"shared", "abcdefghij"}, {"empty", ""}, {fits, "e"}}),
             28 + 136 + 128, 572),
      28 + 2 * 136 + 128, 0);
  const std::string tooLong = "extract on Linux cannot create it: a part is ",
                    linux =
                        " bytes long in UTF-8, longer than the 255 bytes Linux allows for one name";
  const std::vector<ArchiveMember> selectable = {
      {"/b.bin", "b"}, {"Cfg/Menu.cfg", "menu"}, {"Men\xFC.txt", "u"}, {"c\x1F\x7F\x81\x9D", "c"}};
  const std::string listed = "572\t1\t/b.bin\n573\t4\tCfg/Menu.cfg\n577\t1\tMenü.txt\n";
  const std::string archive =
      "FFF archive" + std::string(13, '\0') + BuildFffArchive({{"x.txt", "x"}}).substr(24);
  const std::string hostile = "\x1B]0;owned\x07\x1B[2J\n\xFF\xC2\x85";
  const std::string shown = "\\x1B]0;owned\\x07\\x1B[2J\\x0A\\xFF\\x85";
  auto usage = [](const std::string& problem, const std::string& command) {
    return "fff: " + problem + "\nusage: fff " + command + "\nTry 'fff --help' for more.\n";
  };
  const std::string createUsage = "create ARCHIVE [-C DIR] [NAME=]FILE...",
                    listUsage = "list ARCHIVE [MEMBER...]", noDir = "-C needs one non-empty DIR",
                    checkUsage = "check [--patch [--languages CODE,...]] ARCHIVE",
                    badCode = "a language CODE is 1 to 15 characters: ";
  std::string deep = "ex/.fff00000001.tmp/";  // 64 folders below: its files go
  while (deep.size() < 20 + 2 * 64) deep += "d/";
  // Sparse, so it costs no disk space: it fills the archive up to the last
  // byte that 32-bit offsets reach, and y behind it goes past.
  TempDir sparse;
  const std::string big = sparse.Write("big.bin", ""), absolute = sparse.Write("x.txt", "x");
  fs::resize_file(big, 0xFFFFFFFFull - 28 - 136 * 13 - 3);  // x.txt thrice
  // A run that refuses with exit code 1, and one that writes files.
  auto refuses = [](FolderFiles files, Strings arguments, Strings problems) {
    return FffRun{files, arguments, 1, "", problems};
  };
  auto writes = [](FolderFiles files, Strings arguments, FolderFiles made) {
    return FffRun{files, arguments, 0, "", {}, made};
  };
  std::vector<FffRun> runs = {
      writes({{"x.txt", "x"}, {"a.fff", "old"}, {"hard", "<hard link to a.fff>"}}, create,
             {{"a.fff", archive}, {"hard", "old"}}),
      // create refuses every mistake, and what check would refuse, and
      // writes nothing; and it reads every member back: a source holding
      // more than the size it gave (a /proc file says 0) fails the command.
      refuses(
          {{"x.txt", "x"}, {"a=b.txt", "x"}, {"b.txt", "x"}, {"fifo", kFifoEntry}},
          {"create", "a.fff", "x.txt", "./x.txt", absolute, "a=b.txt", "name=", "fifo",
           "n=/dev/null", "x.txt", "X.TXT=x.txt", hostile + "=x.txt", "nul.t\x7F=x.txt",
           "big=" + big, "y=x.txt"},
          {"member './x.txt': it has a '.' part" + hint,
           "member '" + absolute + "': the name is an absolute path" + hint,
           "'a=b.txt' is a file, and also reads as NAME=FILE (member 'a' from file 'b.txt'): write "
           "'=a=b.txt' to store the file under its own name, or 'a=./b.txt' for the other",
           "member 'name': no FILE after '=' in 'name='",
           "member 'fifo': cannot read 'fifo': it is a pipe, not a file",
           "member 'n': cannot read '/dev/null': it is a device, not a file",
           "member 'x.txt': given twice",
           "member 'X.TXT': the same name as member 'x.txt' but "
           "for letter case; the installer would only ever find that one",
           "member '" + shown +
               "': the name has a character that is not in code page 1252, in which "
               "the installer reads names",
           "member 'nul.t\\x7F': extract on Windows cannot create it: 'nul.t\\x7F" + kDevice,
           "member 'y': the archive would end at byte 4294967296, past the 4 GiB that its 32-bit "
           "offsets reach"}),
      refuses(
          {{"x.txt", "x"}}, {"create", "a.fff", "É.txt=x.txt", "é.txt=x.txt"},
          {"member "
           "'é.txt': Windows takes it for the same file as member 'É.txt', so extract there could "
           "write only one"}),
      refuses({}, {"create", "a.fff", "p=/proc/self/stat"},
              {"member 'p': '/proc/self/stat' holds more than the 0 bytes stored: it changed "
               "meanwhile"}),
      // Extract checks every member and the folder before it writes.
      refuses(Archive({{"first.txt", "1"},
                       {"a/b", "2"},
                       {"A/B/c", "3"},
                       {"/setup.ini", "4"},
                       {"SETUP.INI", "5"},
                       {"z.txt", "6"}}),
              kExtract,
              {"refusing entry 5 'SETUP.INI': it "
               "would land on the same file as entry 4 '/setup.ini'",
               "refusing entry 3 'A/B/c': it needs "
               "'A/B' as a folder, but entry 2 'a/b' is a file"}),
      refuses(Archive({{"other", "1"}, {"d/x", "2"}, {"e", "3"}},
                      {{"out/other/keep", ""}, {"out/d", ""}}),
              kExtract,
              {"refusing entry 1 'other': 'out/other' is a folder; a file cannot replace "
               "it",
               "refusing entry 2 'd/x': 'out/d' is a file, and the member needs a folder there"}),
      refuses({{"a.fff", With32(BuildFffArchive({{"a", "1"}, {"b", "2"}}), 28 + 132, 3)}}, kExtract,
              {"refusing entry 1 'a': its data runs past the end of the file"}),
      refuses(Archive({{"a.fff", "tiny"}}), {"extract", "a.fff"},
              {"refusing entry 1 'a.fff': extracting to './a.fff' would overwrite the archive"}),
      // Links in the way are replaced, never followed.
      writes(Archive(
                 {{"victim.txt", "new"}, {"dir/f.txt", "f"}, {"old.txt", "new"}, {"dangling", "d"}},
                 {{"outside/victim.txt", "original"},
                  {"ex/old.txt", "old"},
                  {"ex/victim.txt", "<link to ../outside/victim.txt>"},
                  {"ex/dir", "<link to ../outside>"},
                  {"ex/dangling", "<link to ../outside/new>"}}),
             {"extract", "a.fff", "-C", "ex"},
             {{"ex/victim.txt", "new"},
              {"ex/dir/f.txt", "f"},
              {"ex/old.txt", "new"},
              {"ex/dangling", "d"}}),
      // What a killed extract left beside its files, temporary files and
      // stand-in folders, goes, a link without what it points to; names
      // like them stay, and so does a tree deeper than member names go.
      writes(
          Archive({{"new.txt", "n"}, {"d/x", "x"}}, {{"ex/.fff0000abcd.tmp", "left"},
                                                     {"ex/.fff00000000.tmp/in/x", "left"},
                                                     {"ex/d/.fffffffffff.tmp", "left"},
                                                     {"ex/.fff99999999.tmp", "<link to ../keep>"},
                                                     {"keep", "k"},
                                                     {"ex/.fff0000abc.tmp", "1"},
                                                     {"ex/.fff0000abcg.tmp", "2"},
                                                     {"ex/.fff0000ABCD.tmp", "3"},
                                                     {"ex/.fff0000abcd.tmpx", "4"},
                                                     {"ex/.fff0000abcd_tmp", "5"},
                                                     {"ex/_fff0000abcd.tmp", "6"},
                                                     {deep + "y", "y"},
                                                     {deep + "d/x", "x"}}),
          {"extract", "a.fff", "-C", "ex"},
          {{"ex/new.txt", "n"},
           {"ex/d/x", "x"},
           {"ex/.fff0000abcd.tmp", kGone},
           {"ex/.fff00000000.tmp/in/x", kGone},
           {"ex/d/.fffffffffff.tmp", kGone},
           {"ex/.fff99999999.tmp", kGone},
           {deep + "y", kGone}}),
      // A name that an earlier entry hides: check reports it, extract skips it.
      refuses(Archive(hidden), {"check", "a.fff"},
              {"entry 2 'doc/READ.ME': the installer finds "
               "entry 1 'Doc/Read.me' under this name, never this one"}),
      {Archive(hidden),
       {"extract", "a.fff", "-C", "all"},
       0,
       "",
       {"skipping entry 2 "
        "'doc/READ.ME': the installer finds entry 1 'Doc/Read.me' under that name"},
       {{"all/Doc/Read.me", "1"}, {"all/o", ""}}},
      // Members sharing bytes, named in a report that shows the archive's
      // name escaped.
      {{{"o" + hostile + ".fff", sharing}},
       {"check", "o" + hostile + ".fff"},
       0,
       "o" + shown + ".fff: entry 2 'shared' shares its bytes with entry 1 'a'\no" + shown +
           ".fff: OK, 4 "
           "members, 593 bytes\n",
       {}},
      // Members are selected as the installer finds them; control characters
      // (C0, DEL, C1) are listed escaped. A name the archive lacks fails the
      // whole command before anything lands.
      {Archive(selectable),
       {"list", "a.fff", "B.BIN", "\\b.bin", "cfg\\MENU.CFG", "/Cfg/Menu.cfg", "MENü.TXT"},
       0,
       listed,
       {}},
      {Archive(selectable), {"list", "a.fff"}, 0, listed + "578\t1\tc\\x1F\\x7F\\x81\\x9D\n", {}},
      writes(Archive(selectable), {"extract", "a.fff", "Cfg\\Menu.cfg", "b.bin"},
             {{"Cfg/Menu.cfg", "menu"}, {"b.bin", "b"}}),
      refuses(Archive(selectable), {"extract", "a.fff", "-C", "out", "b.bin", "b.bin/"},
              {"member 'b.bin/': not in the archive"}),
      // Arguments shown escaped; usage errors.
      refuses(Archive(selectable), {"list", "a.fff", hostile},
              {"member '" + shown +
               "': not in "
               "the archive"}),
      refuses({{"x.txt", "x"}, {"n" + hostile, "<link to x.txt>"}},
              {"create", "n" + hostile, "x.txt"},
              {"fff: n" + shown + ": refusing to replace 'n" + shown +
               "': it is a link, not a file; "
               "create writes only a new file or over a regular file\n"}),
      {{},
       {hostile},
       2,
       "",
       {"fff: unknown command '" + shown + "'\nTry 'fff --help' for more.\n"}},
  };
  // Usage errors: the problem, then the usage of the command.
  const std::tuple<Strings, std::string, std::string> usageErrors[] = {
      {{"list", "-" + hostile}, "unknown option '-" + shown + "'", listUsage},
      {{"list", "-C", ".", "a.fff"}, "unknown option '-C'", listUsage},
      {{"create"}, "no ARCHIVE given", createUsage},
      {{"create", "a.fff"}, "no FILE given", createUsage},
      {{"create", "a.fff", "-C"}, noDir, createUsage},
      {{"create", "a.fff", "-C", "", "x.txt"}, noDir, createUsage},
      {{"check", "a.fff", "extra"}, "too many operands", checkUsage},
      {{"check", "-C", ".", "a.fff"}, "unknown option '-C'", checkUsage},
      {{"check", "a.fff", "--languages", "ger"}, "--languages goes with --patch", checkUsage},
      {{"check", "a.fff", "--patch", "--languages", "eng,"}, badCode + "''", checkUsage},
      {{"check", "a.fff", "--patch", "--languages", "eng,0123456789abcdef"},
       badCode + "'0123456789abcdef'",
       checkUsage},
      {{"extract", "a.fff", "-C", "1", "-C", "2"}, noDir, "extract ARCHIVE [-C DIR] [MEMBER...]"},
  };
  for (const auto& [arguments, problem, command] : usageErrors)
    runs.push_back({{}, arguments, 2, "", {usage(problem, command)}});
  // Names one system or the other cannot write (extract on Linux refuses
  // those Linux cannot create; 0x9D is no character of code page 1252),
  // then names that break the rule: check reports each, extract refuses
  // each.
  std::vector<ArchiveMember> members = {{fits + "a", "1"},
                                        {"d/" + std::string(125, '\x80'), "2"},
                                        {"COM\xB9", "3"},
                                        {"x/conout$.txt", "4"},
                                        {"\xC9.txt", "5"},
                                        {"\xE9.txt", "6"},
                                        {"\xC9", "7"},
                                        {"/\xE9/x", "8"},
                                        {"e\x1B[2J\x07\n\x9D", "9"}};
  Strings refused = {"refusing entry 1 '" + euros(85) + "a': a part is 256" + linux,
                     "refusing entry 2 'd/" + euros(125) + "': a part is 375" + linux},
          checked;
  const std::string emptyPart = "it has an empty part (a '//', or a '/' at its end)";
  const std::vector<std::pair<std::string, std::string>> badNames = {
      {"", "the name is empty"},
      {std::string(128, 'x'), "the name is 128 bytes long; it must be shorter than 128"},
      {"Cfg\\Menu.cfg",
       "it holds a '\\', a name the installer never looks up (it turns every '\\' "
       "into '/')"},
      {"C:evil", "it holds a ':' (a drive such as 'C:', or a Windows stream)"},
      {"/../evil", "it has a '..' part"},
      {"./evil", "it has a '.' part"},
      {"//evil", emptyPart},
      {"sub//evil", emptyPart},
      {"dir/", emptyPart},
      {".. /evil",
       "a part ends in ' ', which "
       "Windows drops"},
      {"sub./evil", "a part ends in '.', which Windows drops"}};
  for (const auto& [name, problem] : badNames) {
    members.push_back({name, "bad"});
    checked.push_back("entry " + std::to_string(members.size()) + " '" + name + "': " + problem);
    refused.push_back("refusing " + checked.back());
  }
  checked.insert(
      checked.end(),
      {"entry 1 '" + euros(85) + "a': " + tooLong + "256" + linux,
       "entry 2 'd/" + euros(125) + "': " + tooLong + "375" + linux,
       "entry 3 'COM¹': extract on Windows cannot create it: 'COM¹" + kDevice,
       "entry 4 'x/conout$.txt': extract on Windows cannot create it: 'conout$.txt" + kDevice,
       "entry 9 'e\\x1B[2J\\x07\\x0A\\x9D': extract on Windows cannot create it: it holds a "
       "control "
       "character, which Windows does not allow in file names",
       "entry 6 'é.txt': Windows takes "
       "it for the same file as entry 5 'É.txt', so extract there could write only one",
       "entry 8 '/é/x': it needs 'é' as a folder, but entry 7 'É' is a file of that name (as "
       "Windows compares names)"});
  runs.push_back({Archive(members), {"check", "a.fff"}, 1, "", checked});
  runs.push_back({Archive(members), kExtract, 1, "", refused});
  // An archive that is not there, or a fifo (never waited at for a
  // writer), is refused at once; extract makes no folder. A lone "-" is an
  // operand, not an option.
  for (const Strings& command : {Strings{"check", "a.fff"}, Strings{"list", "-"}, kExtract})
    runs.push_back({{}, command, 1, "", {"cannot read the archive: No such file or directory"}});
  runs.push_back({{{"a.fff", kFifoEntry}},
                  kExtract,
                  1,
                  "",
                  {"cannot read the archive: it is a "
                   "pipe, not a file"}});
  for (const auto& [what, kind] :
       std::vector<std::pair<std::string, std::string>>{{kFolderEntry, "folder"},
                                                        {kFifoEntry, "pipe"},
                                                        {"<socket>", "socket"},
                                                        {"<link to x.txt>", "link"},
                                                        {"<link to /dev/null>", "link"}})
    runs.push_back({{{"x.txt", "x"}, {"a.fff", what}},
                    create,
                    1,
                    "",
                    {"refusing to replace "
                     "'a.fff': it is a " +
                     kind +
                     ", not a file; create writes only a new file or over a "
                     "regular file"}});
  ExpectFffRuns(runs);
  const CommandResult help = Fff({"help"}, TempDir().path());
  EXPECT_EQ(0u, help.out.find("usage: fff create ARCHIVE [-C DIR] [NAME=]FILE...\n"
                              "       fff list ARCHIVE [MEMBER...]\n"
                              "       fff extract ARCHIVE [-C DIR] [MEMBER...]\n"
                              "       fff check [--patch [--languages CODE,...]] ARCHIVE\n"
                              "       fff help | --version\n\n"
                              "  create   writes ARCHIVE from the FILEs, in that order, or "
                              "writes nothing\n           when any"));
  EXPECT_NE(std::string::npos, help.out.find("(here 1252)"));
  EXPECT_NE(std::string::npos,
            help.out.find("--patch checks the\ninstaller's " + CatalogueCodeList() + ".\n"));
  ExpectRun(Fff({"--help"}, "/"), 0, help.out, "");
  ExpectRun(Fff({"-h"}, "/"), 0, help.out, "");
  ExpectRun(Fff({"--version"}, "/"), 0, "fff (Gravelhorn Patch Installer) 1.2\n", "");
  ExpectRun(Fff({}, "/"), 2, "", help.out);
  // An extract waits while another holds its folder (here the shell holds
  // it, and lets go once fff has said that it waits): nothing is written
  // meanwhile.
  TempDir held;
  held.Write("a.fff", BuildFffArchive({{"new.txt", "n"}}));
  held.Write("out/old.txt", "o");
  const char holdAndExtract[] =
      "command -v flock >/dev/null || exit 77; exec 9<out && flock -x 9 || exit 1; "
      "\"$0\" extract a.fff -C out 2>&1 9<&- | "
      "{ read -r line; echo \"$line\"; ls out; flock -u 9; cat; }; ls out";
  const CommandResult waited =
      RunCommand({"/bin/sh", "-c", holdAndExtract, FffToolPath()}, held.path());
  const char waiting[] = "fff: a.fff: waiting while another fff extract works in 'out'\n";
  if (waited.exitCode != 77) ExpectRun(waited, 0, waiting + "old.txt\nnew.txt\nold.txt\n"s, "");
  // A listing that cannot be written fails.
  ExpectRun(
      RunCommand({"/bin/sh", "-c", "\"$0\" list a.fff >/dev/full", FffToolPath()}, held.path()), 1,
      "", "fff: a.fff: cannot write the listing\n");
  // Another program's lease on the archive (a file server's) is no reason
  // to wait: the archive cannot be read, at once.
  signal(SIGIO, SIG_IGN);  // the lease's break
  const int leased = open((held.path() + "/a.fff").c_str(), O_RDONLY | O_CLOEXEC);
  if (fcntl(leased, F_SETLEASE, F_WRLCK) == 0)
    ExpectRun(Fff({"check", "a.fff"}, held.path()), 1, "",
              "fff: a.fff: cannot read the archive: Resource temporarily unavailable\n");
  close(leased);
}

// What fails once the whole new file is written changes no file and leaves
// no temporary file or new folder, so the message is true: a rename into
// place that fails (the archive's place is a mount point), and an extract
// on a disk that fills up (out, a tmpfs of 128 KiB), after which a link
// where a folder belongs stays a link to the same folder. Each runs in a
// mount namespace of its own; what the run leaves in out is copied to after.
TEST(FffToolTest, ExtractOnAFullDiskLeavesEveryFileAndLinkAsItWas) {
  auto withMounts = [](const std::string& folder, const std::string& mount, Strings arguments) {
    arguments.insert(arguments.begin(),
                     {"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c",
                      mount + " || exit 99; \"$@\"; status=$?; cp -a out after 2>/dev/null; "
                              "exit $status",
                      "sh", FffToolPath()});
    return RunCommand(arguments, folder, {"LC_ALL=C"});
  };
  TempDir dir;
  dir.Write("x.txt", "x");
  dir.Write("a.fff", "old");
  const CommandResult blocked =
      withMounts(dir.path(), "mount --bind x.txt a.fff", {"create", "a.fff", "x.txt"});
  if (blocked.exitCode == 99)
    GTEST_SKIP() << "no mounts in a private mount namespace here (needs root): " << blocked.err;
  EXPECT_EQ(1, blocked.exitCode);
  EXPECT_EQ(0u, blocked.err.find("fff: a.fff: cannot rename 'a.fff.tmp")) << blocked.err;
  EXPECT_NE(std::string::npos, blocked.err.find("' into place: Device or resource busy\n"));
  EXPECT_EQ((FolderFiles{{"a.fff", "old"}, {"x.txt", "x"}}), FolderTree(dir.path()));
  // The archive's last member fills the disk, or finds no inode left for
  // its file (a tmpfs of 9 inodes: the 6 of out, a.txt's new file, the
  // folder in place of the link sub and the file in it).
  const FolderFiles old = {{"a.txt", "old a"},
                           {"big.bin", "old big"},
                           {"elsewhere/keep.txt", "keep"},
                           {"sub", "<link to elsewhere>"}};
  for (const auto& [size, last, failed] :
       std::vector<std::tuple<std::string, std::string, std::string>>{
           {"size=128k", "big.bin", "writing 'out/big.bin' failed"},
           {"size=128k", "sub/big.bin", "writing 'out/sub/big.bin' failed"},
           {"nr_inodes=9", "big.bin", "cannot create a file in 'out'"}}) {
    TempDir dir;
    dir.Write("a.fff", BuildFffArchive({{"a.txt", "new a"},
                                        {"sub/new.txt", "new"},
                                        {last, std::string(200 * 1024, 'B')}}));
    for (const auto& [name, what] : old)
      ASSERT_EQ(0, MakeEntry(dir.path() + "/stash/" + name, what));
    const std::string mount = "mkdir out && mount -t tmpfs -o " + size + " tmpfs out";
    ExpectRun(
        withMounts(dir.path(), mount + " && cp -a stash/. out", {"extract", "a.fff", "-C", "out"}),
        1, "",
        "fff: a.fff: member '" + last + "': " + failed +
            ": No space left on device; no file was changed\n");
    EXPECT_EQ(WithFolders(old), FolderTree(dir.path() + "/after"));
  }
}

// Every archive the installer refuses to mount, fff refuses in list and
// check (and extract, which opens it alike), in the words of the
// installer's box; every archive it mounts, list reads whole.
TEST(FffToolTest, ReadsWhatTheInstallerMountsAndRefusesTheRestAlike) {
  // one leaves 137 bytes of room.
  const std::string one = BuildFffArchive({{"a", "1"}}), pastEnd = " runs past the end of the file";
  const std::string two = BuildFffArchive({{"a", "x"}, {"b", "y"}}), header = "file header error!";
  const std::string empty(28, '\0'),
      entries = "file entries error",
      partial =
          " is not a multiple of 136: it ends in a partial entry, which the installer ignores";
  // The archive, the installer's words and check's, or "" when they accept.
  const std::tuple<std::string, std::string, std::string> rows[] = {
      {empty.substr(1), header, "the file holds only 27 of the header's 28 bytes"},
      {empty, "", ""},
      {With32(empty, 24, 1), entries, "the directory size 1" + pastEnd + " (28 bytes)"},
      {With32(empty, 24, 0xFFFFFFFFu), entries,
       "the directory size 4294967295" + pastEnd + " (28 bytes)"},
      {one, "", ""},
      {With32(one, 24, 135), "", "the directory size 135" + partial},
      {With32(one, 24, 137), "", "the directory size 137" + partial},
      {With32(one, 24, 138), entries, "the directory size 138" + pastEnd + " (165 bytes)"},
      {With32(one, 28 + 132, 2), "",
       "entry 1 'a': its data (offset 164, size 2)" + pastEnd + " (165 bytes)"},
      // offset + size wraps around 32 bits, which only 64 bits see.
      {With32(With32(one, 28 + 128, 0xFFFFFFF0u), 28 + 132, 32), "",
       "entry 1 'a': its data (offset 4294967280, size 32)" + pastEnd + " (165 bytes)"},
      // Data over the directory's last byte, or into the next member's: the
      // installer copies such bytes all the same.
      {With32(one, 28 + 128, 163), "",
       "entry 1 'a': its data (offset 163, size 1) overlaps the header and directory, bytes 0 "
       "to 163"},
      {With32(two, 28 + 132, 2), "",
       "entry 2 'b': its data (offset 301, size 1) overlaps the data "
       "of entry 1 'a' (offset 300, size 2)"}};
  for (const auto& [archive, refusal, problem] : rows) {
    SCOPED_TRACE(problem);
    TempDir dir;
    dir.Write("Data/a.cod", archive);
    ScopedCurrentDirectory cwd(dir.path());
    LanguageIndex = 0;
    ResetArchives();
    const EndedRun mount = RunToEnd([] { MountArchive("Data/a.cod"); });
    const int members = Archives.slots[0].entryCount;
    CloseAllArchives();
    const bool refused = !refusal.empty(), accepted = problem.empty();
    const std::string refusedAs =
        refused ? "the installer refuses it with \"" + refusal + "\": " : "";
    const std::string complaint = accepted ? "" : Complaints("Data/a.cod", {refusedAs + problem});
    const std::string ok = "Data/a.cod: OK, " + std::to_string(members) + " members, " +
                           std::to_string(archive.size()) + " bytes\n";
    ExpectRun(Fff({"check", "Data/a.cod"}, dir.path()), accepted ? 0 : 1, accepted ? ok : "",
              complaint);
    const CommandResult list = Fff({"list", "Data/a.cod"}, dir.path());
    EXPECT_EQ(
        std::tuple(refused ? 1 : 0, refused ? 0 : members, refused ? complaint : ""),
        std::tuple(list.exitCode, std::count(list.out.begin(), list.out.end(), '\n'), list.err));
    if (refused) ExpectFileSystemFatal(mount, "REGISTER_FFF: " + refusal + " (Data\\a.cod)");
    EXPECT_EQ(refused, mount.ended);
  }
}

TEST(WindowsFileNameProblem, RefusesDevicesAndCharactersWindowsCannotCreate) {
  // Code page 1252: 0xB9, 0xB2 and 0xB3 are the superscript digits.
  for (const char* name : {"ok.txt", "CONSOLE", "COM10", "lpt", "a b/x\x7F", "COM\xB4", "CONIN",
                           "conout$$", "LPT\xB9\xB9"})
    EXPECT_EQ("", WindowsFileNameProblem(name)) << name;
  // Each name, and its part that is a device.
  const char* devices[][2] = {{"nul.txt", "nul.txt"},    {"x/Con .txt", "Con .txt"},
                              {"/AUX", "AUX"},           {"prn.tar.gz", "prn.tar.gz"},
                              {"com0", "com0"},          {"LPT9/x", "LPT9"},
                              {"conin$", "conin$"},      {"CONOUT$.log", "CONOUT$.log"},
                              {"a/com\xB2.x", "com².x"}, {"LPT\xB3", "LPT³"}};
  for (const auto& row : devices)
    EXPECT_EQ("'" + std::string(row[1]) + kDevice, WindowsFileNameProblem(row[0]));
  for (char c : std::string("<>\"|?*\x01\x1F"))
    EXPECT_EQ("it holds " + (c < ' ' ? "a control character" : "a '" + std::string(1, c) + "'") +
                  ", which Windows does not allow in file names",
              WindowsFileNameProblem(std::string("a") + c));
}

TEST(MemberNames, InUtf8CountAndCompareAsTheHostWritesThem) {
  // kk_KZ has code page 65001, UTF-8. A byte that is no character there is
  // U+FFFD, three bytes in a Linux name, U+FFFF is three too and U+10000
  // four: 81 of the first, U+FFFF, U+10000, a letter and U+103FF (surrogate
  // pairs whose low halves are the first and the last, one at the very end)
  // are 255 bytes, one letter more is too long.
  // U+1000 and U+9000, U+0800 and U+1800, U+00E9 and U+00EB, U+D7FF (no
  // surrogate) and U+FFFD are two names on Windows; U+0080 is two bytes in
  // UTF-8, so 128 of them are too long.
  const std::string locales = CompiledLocale("kk_KZ.UTF-8");
  if (locales.empty()) GTEST_SKIP() << "localedef cannot compile kk_KZ.UTF-8 (package locales)";
  ScopedEnvironment locpath("LOCPATH", locales.c_str()), lcAll("LC_ALL", "kk_KZ.UTF-8");
  const std::string fits =
      std::string(81, '\xFF') + "\xEF\xBF\xBF\xF0\x90\x80\x80" + "a" + "\xF0\x90\x8F\xBF";
  EXPECT_EQ("", LinuxFileNameProblem(fits));
  EXPECT_NE("", LinuxFileNameProblem(fits + "a"));
  for (const auto& [a, b] : {std::pair{"\xE1\x80\x80", "\xE9\x80\x80"},
                             {"\xE0\xA0\x80", "\xE1\xA0\x80"},
                             {"\xC3\xA9", "\xC3\xAB"},
                             {"\xED\x9F\xBF", "\xEF\xBF\xBD"}})
    EXPECT_NE(WindowsNameKey(a), WindowsNameKey(b)) << a;
  std::string controls;
  while (controls.size() < 256) controls += "\xC2\x80";
  EXPECT_EQ("a part is 256 bytes long in UTF-8", LinuxFileNameProblem(controls).substr(0, 33));
}

}  // namespace
