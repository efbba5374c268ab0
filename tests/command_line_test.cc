// The Linux program's command line, and --list over a fake home folder
// with a prefix in each launcher's layout.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "filesystem/fff_format.h"
#include "tests/support/scenarios.h"

namespace {

const char kUsage[] =
    "Usage: patch_installer [--prefix DIR]\n"
    "       patch_installer --list | --help | --version\n";

// <a> is a prefix that Steam keeps for Proton, <a-app> its compatdata
// folder; <b> is a plain prefix in a folder of its own, <b-parent>. Both
// hold the v1.1 game; the run starts in <a>'s patch folder, and a run that
// patches patches <a>.
TEST(CommandLine, NamesThePrefixOrAsksForNothingElse) {
  const struct {
    std::vector<std::string> arguments;
    const char* wineprefix;  // nullptr: not set
    int exitCode;
    std::string out, err;  // exactly, but out only its start for --help
    bool patched = false;
  } rows[] = {
      // clang-format off
      {{"--help"}, "<a>", 0, kUsage, ""},
      {{"--version"}, "<a>", 0, "patch_installer (Gravelhorn Patch Installer) 1.2\n", ""},
      {{"--verbose"}, "<a>", 2, "", "patch_installer: unknown argument: --verbose\n"},
      {{"C:\\Games\\GHR"}, "<a>", 2, "", "patch_installer: unknown argument: C:\\Games\\GHR\n"},
      {{"--prefix"}, "<a>", 2, "", "patch_installer: --prefix needs a folder: --prefix\n"},
      {{"--prefix="}, "<a>", 2, "", "patch_installer: --prefix needs a folder: --prefix=\n"},
      {{"--version", "--help"}, "<a>", 2, "", "patch_installer: one command at a time: --help\n"},
      {{"--prefix", "<b>", "--prefix=<a>"}, nullptr, 2, "",
       "patch_installer: one prefix, and only for patching: --prefix=<a>\n"},
      {{"--prefix", "<b>", "--list"}, nullptr, 2, "",
       "patch_installer: one command at a time: --list\n"},
      // What the program echoes is shown escaped: C0, DEL, C1, bytes that
      // are not UTF-8.
      {{"\x1b]0;owned\x07\x1b[2J\n--x\x7f\xc2\x9b\xff"}, "<a>", 2, "",
       "patch_installer: unknown argument: \\x1B]0;owned\\x07\\x1B[2J\\x0A--x\\x7F\\x9B\\xFF\n"},
      {{"--prefix", "<b-parent>/\x1b[2J\r\nfolder"}, nullptr, 255, "",
       "ERROR\nGravelhorn not found or the registry not correct!\n"
       "patch_installer: Wine prefix: <b-parent>/\\x1B[2J\\x0D\\x0Afolder (from --prefix)\n"
       "patch_installer: cannot open the prefix <b-parent>/\\x1B[2J\\x0D\\x0Afolder: No such file "
       "or directory\n"
       "patch_installer: no prefix that patch_installer --list looks through holds the game's "
       "key\n"},
      {{"--prefix", "../.././"}, "<b>", 0, "",
       "patch_installer: Wine prefix: <a> (from --prefix)\n", true},
      {{"--prefix=<a-app>"}, "<b>", 0, "",
       "patch_installer: Wine prefix: <a> (from --prefix; Proton keeps it in pfx)\n", true},
      // A pfx folder outside Steam's compatdata is not taken for granted.
      {{"--prefix", "<b-parent>"}, nullptr, 255, "",
       "ERROR\nGravelhorn not found or the registry not correct!\n"
       "patch_installer: Wine prefix: <b-parent> (from --prefix)\n"
       "patch_installer: <b-parent> has no system.reg: it is not a Wine prefix\n"
       "patch_installer: <b-parent>/pfx has one: patch_installer --prefix '<b-parent>/pfx'\n"
       "patch_installer: no prefix that patch_installer --list looks through holds the game's "
       "key\n"}};
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE(CommandLine(row.arguments));
    FakePrefix a("steamapps/compatdata/4711/pfx"), b("b/pfx");
    TempDir home;
    auto fill = [&](std::string text) {
      for (const auto& [name, path] :
           {std::pair{"<a-app>", a.root() + "/steamapps/compatdata/4711"},
            {"<b-parent>", b.root() + "/b"},
            {"<a>", a.path()},
            {"<b>", b.path()}})
        for (size_t at; (at = text.find(name)) != std::string::npos;)
          text.replace(at, strlen(name), path);
      return text;
    };
    const Scenario game{.name = "CommandLine"};
    FolderFiles before[2];
    for (int i : {0, 1}) {
      FakePrefix& prefix = i == 0 ? a : b;
      before[i] = LayOutScenario(game, prefix.DriveC());
      prefix.WriteGameKey({{"Installpath", game.installPath}, {"Language", "eng"}});
    }
    std::vector<std::string> argv = {PatchInstallerPath()};
    for (const std::string& argument : row.arguments) argv.push_back(fill(argument));
    const CommandResult result = RunCommand(
        argv, a.DriveC() + "/Patch",
        {"LC_ALL=C.UTF-8", "HOME=" + home.path(), "XDG_DATA_HOME",
         row.wineprefix != nullptr ? "WINEPREFIX=" + fill(row.wineprefix) : "WINEPREFIX"});
    EXPECT_EQ(row.exitCode, result.exitCode);
    const std::string out = row.patched ? PrintedBox("Gravelhorn Patch Installer",
                                                     EnglishSummary("C:\\Games\\GHR\\", "v1.1"))
                                        : fill(row.out);
    EXPECT_EQ(out, row.arguments[0] == "--help" ? result.out.substr(0, out.size()) : result.out);
    EXPECT_EQ(fill(row.err) + (row.exitCode == 2 ? kUsage : ""), result.err);
    EXPECT_EQ(row.patched ? ExpectedGameFiles(game, before[0]) : before[0],
              FolderTree(a.DriveC() + "/Games/GHR"));
    EXPECT_EQ(before[1], FolderTree(b.DriveC() + "/Games/GHR"));
  }
}

// A home folder with prefixes where Wine and each launcher keep them; the
// game's key in some. --list names exactly those, and writes nothing.
TEST(CommandLine, ListsThePrefixesThatHoldTheGame) {
  TempDir root;
  const std::string home = root.path() + "/home";
  const std::string steam = home + "/.local/share/Steam/steamapps/compatdata/";
  const std::string library = root.path() + "/SteamLibrary";
  const std::string withGame[] = {
      home + "/.wine",
      steam + "100/pfx",
      library + "/steamapps/compatdata/300/pfx",
      home + "/.var/app/com.valvesoftware.Steam/.local/share/Steam/steamapps/compatdata/400/pfx",
      home + "/Games/gravelhorn",
      home + "/Games/Heroic/Prefixes/default/Gravelhorn",
      home + "/.local/share/bottles/bottles/Gravelhorn",
      home + "/.var/app/com.usebottles.bottles/data/bottles/bottles/GHR",
      home + "/.PlayOnLinux/wineprefix/Gravelhorn",
  };
  for (const std::string& prefix : withGame)
    WriteGameKeyTo(prefix, {{"Installpath", "C:\\Games\\GHR"}, {"Language", "hun"}});
  // Prefixes without the key.
  for (const char* other : {"home/.local/share/Steam/steamapps/compatdata/200/pfx",
                            "home/Games/other", "home/Games/Heroic/Prefixes/Other"})
    root.Write(other + std::string("/system.reg"), "WINE REGISTRY Version 2\n\n#arch=win64\n");
  // Steam's other names for its folder, and a library elsewhere.
  MakeFolders(home + "/.steam");
  ASSERT_EQ(0, symlink("../.local/share/Steam", (home + "/.steam/steam").c_str()));
  root.Write("home/.local/share/Steam/steamapps/libraryfolders.vdf",
             "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + library + "\"\n\t}\n}\n");
  LayOutScenario(Scenario{.name = "List"}, home + "/.wine/drive_c");
  LayOutScenario(Scenario{.name = "Patched", .menu = "[Version]\r\nversion=v1.2\r\n"},
                 home + "/Games/gravelhorn/drive_c");
  const FolderFiles before = FolderTree(root.path());

  const CommandResult result = RunCommand({PatchInstallerPath(), "--list"}, root.path(),
                                          {"LC_ALL=C.UTF-8", "HOME=" + home, "XDG_DATA_HOME"});
  EXPECT_EQ(0, result.exitCode);
  EXPECT_EQ("", result.err);
  std::vector<std::string> listed;
  for (size_t at = 0, end; (end = result.out.find('\n', at)) != std::string::npos; at = end + 1)
    if (result.out[at] == '/') listed.push_back(result.out.substr(at, end - at));
  std::vector<std::string> expected(std::begin(withGame), std::end(withGame));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, listed);
  const std::string wine = home + "/.wine";
  EXPECT_NE(std::string::npos, result.out.find(wine +
                                               "\n  folder:   C:\\Games\\GHR\n  language: hun\n"
                                               "  version:  v1.1 (the patch applies)\n"
                                               "  patch it: patch_installer --prefix '" +
                                               wine + "'\n\n"))
      << result.out;
  EXPECT_NE(std::string::npos,
            result.out.find("/gravelhorn\n  folder:   C:\\Games\\GHR\n  language: "
                            "hun\n  version:  v1.2 (not one this patch "
                            "upgrades)\n"))
      << result.out;
  EXPECT_NE(std::string::npos,
            result.out.find(steam + "100/pfx\n  folder:   C:\\Games\\GHR\n  language: hun\n"
                                    "  version:  unknown (Cfg\\Menu.cfg is in none of the "
                                    "game's archives)\n"))
      << result.out;
  EXPECT_EQ(before, FolderTree(root.path()));

  // Nowhere: exit code 1.
  const CommandResult none = RunCommand({PatchInstallerPath(), "--list"}, root.path(),
                                        {"LC_ALL=C.UTF-8", "HOME=" + root.path() + "/nobody"});
  EXPECT_EQ(1, none.exitCode);
  EXPECT_EQ(
      "No Wine prefix in the places where Wine and the launchers keep them holds the "
      "game's registry key (HKEY_LOCAL_MACHINE\\Software\\Quillfern\\GHR).\n",
      none.out);
}

// --list gives each prefix the verdict a run on it gives, from the run's
// own version detection, and never waits at a file of another kind. Each
// row holds one prefix with the game (below the root, <root>), laid out by
// the row's game, and says what --list shows of it and what a run shows.
TEST(CommandLine, ListGivesTheVerdictOfARun) {
  const std::string nameWithControls =
      "home/Games/evil\x1b]0;owned\x07\x1b[2J\nfolder:   fake\xc2\x9b\xff";
  const std::string shownWithControls =
      "/home/Games/evil\\x1B]0;owned\\x07\\x1B[2J\\x0Afolder:   fake\\x9B\\xFF";
  const std::string label300 = std::string(296, 'x') + "v1.1";
  const char kNoMenu[] = "File not found:\tCfg\\Menu.cfg\n\nUnable to update the files. \n";
  const struct {
    const char* name;
    std::string prefix;
    Scenario game;
    std::string folder, version;   // as --list shows them
    std::string caption, text;     // the run's box
    bool fromEnvironment = false;  // WINEPREFIX names the prefix
    void (*prepare)(const std::string& root) = nullptr;
    bool bindMounted = false;  // a library listed twice, one path a bind mount of the other
  } rows[] = {
      // clang-format off
      // The whole label is searched; the summary shows its first 255 bytes.
      {"WinePrefixNamedAndALabelOf300Bytes", "elsewhere/pfx",
       {.name = "g", .menu = "[Version]\r\nversion=" + label300 + "\r\n"}, "C:\\Games\\GHR",
       label300.substr(0, 255) + " (the patch applies)", kTitle,
       EnglishSummary("C:\\Games\\GHR\\", label300.substr(0, 255)), true},
      // A menu in Patch12.cod that runs past the archive's end is read to
      // that end, and wins over Game.cod's.
      {"MenuPastItsArchivesEnd", "home/.wine", {.name = "g", .patch12Menu = "[Version]\r\nversion=v1.2\r\n",
       .prepare = [](const std::string& game) {
         std::string bytes = ReadFileBytes(game + "/Patch12.cod");
         WriteLittleEndian32(reinterpret_cast<unsigned char*>(&bytes[28 + 136 + 132]), 0x7FFFFFFF);
         WriteFileBytes(game + "/Patch12.cod", bytes);
       }}, "C:\\Games\\GHR", "v1.2 (not one this patch upgrades)", "ERROR", kTooOldText},
      // Neither a game archive nor Steam's list is waited for.
      {"FifoArchiveAndEndlessLibraryList", "home/.wine", {.name = "g", .prepare = [](const std::string& game) {
         std::filesystem::remove(game + "/Game.cod");
         mkfifo((game + "/Game.cod").c_str(), 0644);
       }}, "C:\\Games\\GHR", "unknown (Cfg\\Menu.cfg is in none of the game's archives)", kTitle, kNoMenu,
       false, [](const std::string& root) {
         MakeFolders(root + "/home/.local/share/Steam/steamapps");
         symlink("/dev/zero", (root + "/home/.local/share/Steam/steamapps/libraryfolders.vdf").c_str());
       }},
      // Names and values are shown escaped, and no line is forged.
      {"ControlsInNames", nameWithControls,
       {.name = "g", .installPath = "C:\\Games\\GHR\x07\xc2\x81", .gameFolder = "Games/GHR\x07\xc2\x81"},
       "C:\\Games\\GHR\\x07\\x81", "v1.1 (the patch applies)", kTitle,
       EnglishSummary("C:\\Games\\GHR\x07\x81\\", "v1.1")},
      // Last: a row that cannot mount here ends the test.
      {"LibraryReachedByTwoPaths", "library/steamapps/compatdata/300/pfx", {.name = "g"},
       "C:\\Games\\GHR", "v1.1 (the patch applies)", kTitle,
       EnglishSummary("C:\\Games\\GHR\\", "v1.1"), false, [](const std::string& root) {
         MakeFolders(root + "/mounted");
         MakeFolders(root + "/home/.local/share/Steam/steamapps");
         WriteFileBytes(root + "/home/.local/share/Steam/steamapps/libraryfolders.vdf",
                        "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + root +
                            "/library\"\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" + root +
                            "/mounted\"\n\t}\n}\n");
       }, true},
      // clang-format on
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir root;
    const std::string prefix = root.path() + "/" + row.prefix;
    const FolderFiles before = LayOutScenario(row.game, prefix + "/drive_c");
    WriteGameKeyTo(prefix, {{"Installpath", row.game.installPath}, {"Language", "eng"}});
    if (row.prepare != nullptr) row.prepare(root.path());
    std::vector<std::string> argv = {PatchInstallerPath(), "--list"};
    if (row.bindMounted)
      argv.insert(
          argv.begin(),
          {"/usr/bin/unshare", getuid() == 0 ? "-m" : "-rm", "--propagation", "private", "/bin/sh",
           "-c", "mount --bind \"$0/library\" \"$0/mounted\" || exit 99; exec \"$@\"",
           root.path()});
    const std::vector<std::string> environment = {
        "LC_ALL=C.UTF-8", "HOME=" + root.path() + "/home", "XDG_DATA_HOME",
        row.fromEnvironment ? "WINEPREFIX=" + prefix : "WINEPREFIX"};
    const CommandResult list = RunCommand(argv, root.path(), environment, 20);
    if (row.bindMounted && list.exitCode == 99)
      GTEST_SKIP() << "no bind mounts in a private mount namespace here: " << list.err;
    const std::string shown =
        row.prefix == nameWithControls ? root.path() + shownWithControls : prefix;
    EXPECT_EQ(0, list.exitCode) << list.err;
    EXPECT_EQ("", list.err);
    EXPECT_EQ(shown + "\n  folder:   " + row.folder + "\n  language: eng\n  version:  " +
                  row.version + "\n  patch it: patch_installer --prefix '" + shown +
                  "'\n\nRun the command in the folder that holds Patch.dat.\n",
              list.out);

    const CommandResult run =
        RunCommand({PatchInstallerPath(), "--prefix", prefix}, prefix + "/drive_c/Patch",
                   {"LC_ALL=C.UTF-8", "HOME=" + root.path() + "/home", "WINEPREFIX"}, 20);
    const bool patched = row.caption == kTitle && row.text != kNoMenu;
    ExpectPrinted(run, patched ? 0 : 255, PrintedBox(row.caption, row.text), std::nullopt, prefix,
                  "");
  }
}

}  // namespace
