// The Linux program's command line, and --list over a fake home folder
// with a prefix in each launcher's layout.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

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

}  // namespace
