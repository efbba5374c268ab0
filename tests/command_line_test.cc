// The Linux program's command line, and --list over a fake home folder
// with a prefix in each launcher's layout.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/scenarios.h"

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

const char kUsage[] =
    "Usage: patch_installer [--prefix DIR]\n"
    "       patch_installer --list | --help | --version\n";

// <a> is a prefix that Steam keeps for Proton, with the v1.1 game, <a-app>
// its compatdata folder; <b> is a plain prefix without the game, whose
// folder is the home folder. The run starts in <a>'s patch folder, and a
// run that patches patches <a> (a run on <b> would fail).
TEST(CommandLine, NamesThePrefixOrAsksForNothingElse) {
  const std::string patched = PrintedBox(kTitle, EnglishSummary());
  const std::string help = kUsage + std::string("Patches Gravelhorn (Kieselfuchs) v1.0 or v1.1");
  const std::string me = "patch_installer: ", twoCommands = me + "one command at a time: ";
  const std::string onePrefix = me + "one prefix, and only for patching: ";
  const std::string fromPrefix = me + "Wine prefix: <a> (from --prefix";
  const std::string hostile = "\x1b]0;owned\x07\x1b[2J\n--x\x7f\xc2\x9b\xff",
                    shown = "\\x1B]0;owned\\x07\\x1B[2J\\x0A--x\\x7F\\x9B\\xFF";
  const std::string notFound = "ERROR\nGravelhorn not found or the registry not correct!\n";
  const std::string noPrefixHolds =
      me + "no prefix that <program> --list looks through holds the game's key\n";
  const std::string root = notFound + me + "Wine prefix: / (from WINEPREFIX)\n" + me +
                           "/ has no system.reg: it is not a Wine prefix\n" + noPrefixHolds;
  // The arguments, WINEPREFIX (nullptr: not set), the exit code, standard
  // output (exactly, but only its start for --help; patched: <a> is
  // patched) and standard error.
  const std::tuple<std::vector<std::string>, const char*, int, std::string, std::string> rows[] = {
      {{"--help"}, "<a>", 0, help, ""},
      {{"-h"}, "<a>", 0, help, ""},
      {{"--version"}, "<a>", 0, "patch_installer (Gravelhorn Patch Installer) 1.2\n", ""},
      {{"--prefix"}, "<a>", 2, "", me + "--prefix needs a folder: --prefix\n"},
      {{"--prefix="}, "<a>", 2, "", me + "--prefix needs a folder: --prefix=\n"},
      {{"--version", "--help"}, "<a>", 2, "", twoCommands + "--help\n"},
      {{"--prefix", "<b>", "--prefix=<a>"}, nullptr, 2, "", onePrefix + "--prefix=<a>\n"},
      {{"--prefix", "<b>", "--list"}, nullptr, 2, "", twoCommands + "--list\n"},
      // What the program echoes is shown escaped: C0, DEL, C1, bytes that
      // are not UTF-8.
      {{hostile}, "<a>", 2, "", me + "unknown argument: " + shown + "\n"},
      // A prefix given as "//" is the root, shown as "/".
      {{}, "//", 255, "", root},
      {{"--prefix", "../.././"}, "<b>", 0, patched, fromPrefix + ")\n"},
      {{"--prefix=<a-app>"}, "<b>", 0, patched, fromPrefix + "; Proton keeps it in pfx)\n"},
      // A compatdata folder whose pfx is a file is no Proton folder.
      {{"--prefix=<c-app>"},
       "<b>",
       255,
       "",
       notFound + me + "Wine prefix: <c-app> (from --prefix)\n" + me +
           "<c-app> has no system.reg: it is not a Wine prefix\n" + noPrefixHolds},
  };
  for (const auto& [arguments, wineprefix, exitCode, out, err] : rows) {
    SCOPED_TRACE(CommandLine(arguments));
    FakePrefix a("steamapps/compatdata/4711/pfx"), b("b/pfx");
    WriteFileBytes(b.root() + "/steamapps/compatdata/4712/pfx", "");
    auto fill = [&](const std::string& text) {
      return WithPaths(text, {{"<program>", fs::canonical(PatchInstallerPath()).string()},
                              {"<a-app>", a.root() + "/steamapps/compatdata/4711"},
                              {"<c-app>", b.root() + "/steamapps/compatdata/4712"},
                              {"<a>", a.path()},
                              {"<b>", b.path()}});
    };
    const Scenario game{.name = "CommandLine"};
    const FolderFiles before = LayOutScenario(game, a.DriveC());
    a.WriteGameKey({{"Installpath", game.installPath}, {"Language", "eng"}});
    std::vector<std::string> argv = {PatchInstallerPath()};
    for (const std::string& argument : arguments) argv.push_back(fill(argument));
    const CommandResult result =
        RunCommand(argv, a.DriveC() + "/Patch",
                   {"LC_ALL=C.UTF-8", "HOME=" + b.root(), "XDG_DATA_HOME",
                    wineprefix != nullptr ? "WINEPREFIX=" + fill(wineprefix) : "WINEPREFIX"});
    EXPECT_EQ(exitCode, result.exitCode);
    EXPECT_EQ(out, out.starts_with(kUsage) ? result.out.substr(0, out.size()) : result.out);
    EXPECT_EQ(fill(err) + (exitCode == 2 ? kUsage : ""), result.err);
    EXPECT_EQ(out == patched ? ExpectedGameFiles(game, before) : before,
              FolderTree(a.DriveC() + "/Games/GHR"));
  }
}

// Started as ./patch_installer in the folder it was downloaded to, beside
// Patch.dat, the program prints commands that patch the game when sh runs
// them as printed in that folder: --list's, and the hint's that names each
// of two prefixes holding the game (a run with no prefix named patches
// neither).
TEST(CommandLine, PrintsCommandsThatRunAsPrinted) {
  FakePrefix prefix("home/Games/gravelhorn");
  const Scenario game{.name = "g"};
  const FolderFiles before = LayOutScenario(game, prefix.DriveC());
  prefix.WriteGameKey({{"Installpath", game.installPath}, {"Language", "eng"}});
  WriteGameKeyTo(prefix.root() + "/home/Games/other", {{"Installpath", "C:\\Games\\GHR"}});
  const std::string downloads = prefix.root() + "/home/Downloads";
  MakeFolders(downloads);
  fs::copy_file(prefix.DriveC() + "/Patch/Patch.dat", downloads + "/Patch.dat");
  fs::create_symlink(PatchInstallerPath(), downloads + "/patch_installer");
  const std::vector<std::string> environment = {"LC_ALL=C.UTF-8", "HOME=" + prefix.root() + "/home",
                                                "XDG_DATA_HOME", "WINEPREFIX"};
  const std::string command = "./patch_installer --prefix '" + prefix.path() + "'";
  for (const auto& [argv, printed] :
       {std::pair<Strings, std::string>{{"./patch_installer", "--list"},
                                        "\n  patch it: " + command + "\n"},
        {{"./patch_installer"}, "in the prefix " + prefix.path() + ": " + command + "\n"}}) {
    SCOPED_TRACE(CommandLine(argv));
    RestoreFolderFiles(prefix.DriveC() + "/Games/GHR", before);
    const CommandResult result = RunCommand(argv, downloads, environment);
    EXPECT_NE(std::string::npos, (result.out + result.err).find(printed))
        << result.out << result.err;
    EXPECT_EQ(before, FolderTree(prefix.DriveC() + "/Games/GHR"));
    ExpectPrinted(RunCommand({"/bin/sh", "-c", command}, downloads, environment), 0,
                  PrintedBox(kTitle, EnglishSummary()));
    EXPECT_EQ(ExpectedGameFiles(game, before), FolderTree(prefix.DriveC() + "/Games/GHR"));
  }
}

// Where no one reads a terminal and a desktop session is there, each box is
// also a dialog, with the hints after its text: zenity's, else kdialog's
// (stand-ins here, which record their arguments half a second after they
// start: a run that did not wait for its dialog would end first), started
// without a shell.
// No display, or a terminal on any standard stream: no dialog.
TEST(CommandLine, ShowsADialogWhereThereIsNoTerminal) {
  const std::string prefixLine = "patch_installer: Wine prefix: <a> (from WINEPREFIX)\n";
  const std::string summary = EnglishSummary() + "\n\n" + prefixLine;
  std::string doubled;  // zenity reads "\\" as one backslash
  for (char c : summary) doubled += c == '\\' ? std::string(2, c) : std::string(1, c);
  const struct {
    Strings standIns, environment;
    bool terminal, withKey;
    Strings recorded;  // the stand-in's name and arguments; none: no dialog
  } rows[] = {
      {{"zenity", "kdialog"},
       {"DISPLAY=:9"},
       false,
       true,
       {"zenity", "--info", "--no-markup", "--title", kTitle, "--text", doubled}},
      {{"zenity"},
       {"WAYLAND_DISPLAY=wayland-0"},
       false,
       false,
       {"zenity", "--error", "--no-markup", "--title", "ERROR", "--text",
        "Gravelhorn not found or the registry not correct!\n\n" + prefixLine +
            "patch_installer: no prefix that " + fs::canonical(PatchInstallerPath()).string() +
            " --list looks through holds the game's key\n"}},
      {{"kdialog"},
       {"DISPLAY=:9"},
       false,
       true,
       {"kdialog", "--title", kTitle, "--msgbox", summary}},
      {{"zenity"}, {}, false, true, {}},
      {{"zenity"}, {"DISPLAY=:9"}, true, true, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(CommandLine(row.standIns) + " " + CommandLine(row.environment));
    FakePrefix a;
    const FolderFiles before = LayOutScenario(Scenario{.name = "g"}, a.DriveC());
    a.WriteGameKey(row.withKey
                       ? RegistryValues{{"Installpath", "C:\\Games\\GHR"}, {"Language", "eng"}}
                       : RegistryValues{});
    TempDir standIns;
    for (const std::string& name : row.standIns) {
      standIns.Write(
          name,
          "#!/bin/sh\n/bin/sleep 0.5\nfor a in \"$0\" \"$@\"; do printf '%s\\0' \"$a\"; done "
          "> \"$RECORD\"\n");
      chmod((standIns.path() + "/" + name).c_str(), 0755);
    }
    Strings environment = {"WINEPREFIX=" + a.path(), "HOME=" + a.root(), "XDG_DATA_HOME",
                           "PATH=" + standIns.path(), "RECORD=" + standIns.path() + "/recorded"};
    environment.insert(environment.end(), row.environment.begin(), row.environment.end());
    // A terminal as standard error: the child side of a pseudo-terminal.
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
    TempDir outputs;
    ChildProcess run({PatchInstallerPath()}, a.DriveC() + "/Patch", environment,
                     outputs.path() + "/out",
                     row.terminal ? ptsname(terminal) : outputs.path() + "/err");
    int exitCode = -1;
    EXPECT_TRUE(run.WaitForEnd(20, &exitCode));
    close(terminal);
    EXPECT_EQ(row.withKey ? 0 : 255, exitCode);
    // The hints go to standard error too, for a launcher's log.
    if (!row.terminal) {
      EXPECT_NE(
          std::string::npos,
          ReadFileBytes(outputs.path() + "/err").find(WithPaths(prefixLine, {{"<a>", a.path()}})));
    }
    Strings recorded;
    const std::string record = standIns.path() + "/recorded";
    if (FileExists(record)) {
      const std::string all = ReadFileBytes(record);
      for (size_t start = 0, end; (end = all.find('\0', start)) != std::string::npos;
           start = end + 1)
        recorded.push_back(all.substr(start, end - start));
    }
    if (!recorded.empty()) recorded[0] = fs::path(recorded[0]).filename().string();
    Strings expected = row.recorded;
    for (std::string& argument : expected) argument = WithPaths(argument, {{"<a>", a.path()}});
    EXPECT_EQ(expected, recorded);
  }
}

// --list over a home folder with prefixes where Wine and each launcher
// keep them, prefixes without the game's key among them, Steam's other name
// for its folder, and Steam's list of libraries (<root>/library and
// <root>/mounted). Each row holds one prefix with the game (below the root),
// laid out by the row's game: --list names exactly that prefix with the
// verdict a run on it gives, from the run's own version detection, never
// waits at a file of another kind, and writes nothing.
const char kLibraries[] = "/home/.local/share/Steam/steamapps/libraryfolders.vdf";

TEST(CommandLine, ListNamesEachPrefixWithTheGameAndTheVerdictOfARun) {
  const std::string nameWithControls =
      "home/Games/evil\x1b]0;owned\x07\x1b[2J\nfolder:   fake\xc2\x9b\xff";
  const std::string shownWithControls =
      "/home/Games/evil\\x1B]0;owned\\x07\\x1B[2J\\x0Afolder:   fake\\x9B\\xFF";
  const std::string label300 = std::string(296, 'x') + "v1.1", ghr = "C:\\Games\\GHR\\";
  const std::string e15(15, 'e');
  // Started by its path, the commands name it by its full path.
  const std::string program = fs::canonical(PatchInstallerPath()).string();
  const std::string kFails = "v1.1 (the patch upgrades it, but a run from this folder fails: ";
  const std::string kCannotWritePatch12 =
      "Unable to open the following file for writing : C:\\Games\\GHR\\\\Patch12.cod";
  const struct {
    std::string prefix = "home/.wine";
    Scenario game = {.name = "g"};
    // As --list shows them (<p>: the prefix as shown; steam: Steam's name
    // for the game), and the run's box.
    std::string steam = "", folder = "C:\\Games\\GHR (<p>/drive_c/Games/GHR)", language = "eng";
    std::string version = "v1.1 (the patch applies)";
    std::string caption = kTitle, text = EnglishSummary();
    std::string error = "";        // the run's error box: caption "ERROR", this text
    bool fromEnvironment = false;  // WINEPREFIX names the prefix
    bool steamDir = false;         // STEAM_DIR names <root>/steamdir
    void (*prepare)(const std::string& root) = nullptr;
    bool bindMounted = false;  // <root>/mounted is <root>/library
  } rows[] = {
      {},
      // Steam's name for the game, from the library that holds its prefix.
      {.prefix = "home/.local/share/Steam/steamapps/compatdata/100/pfx",
       .steam = "Gravelhorn (Steam app 100)",
       .prepare =
           [](const std::string& root) {
             WriteFileBytes(
                 root + "/home/.local/share/Steam/steamapps/appmanifest_100.acf",
                 "\"AppState\"\n{\n\t\"appid\"\t\t\"100\"\n\"name\" \"Gravelhorn\"\n}\n");
           }},
      {.prefix = "home/snap/steam/common/.local/share/Steam/steamapps/compatdata/500/pfx"},
      {.prefix = "steamdir/steamapps/compatdata/600/pfx", .steamDir = true},
      {.prefix = "library/steamapps/compatdata/300/pfx"},
      {.prefix =
           "home/.var/app/com.valvesoftware.Steam/.local/share/Steam/steamapps/compatdata/400/pfx"},
      {.prefix = "home/Games/gravelhorn"},
      {.prefix = "home/Games/Heroic/Prefixes/default/Gravelhorn"},
      {.prefix = "home/.local/share/bottles/bottles/Gravelhorn"},
      {.prefix = "home/.var/app/com.usebottles.bottles/data/bottles/bottles/GHR"},
      {.prefix = "home/.PlayOnLinux/wineprefix/Gravelhorn"},
      // The whole label is searched; the summary shows its first 255 bytes.
      {.prefix = "elsewhere/pfx",
       .game = {.name = "g", .menu = "[Version]\r\nversion=" + label300 + "\r\n"},
       .version = label300.substr(0, 255) + " (the patch applies)",
       .text = EnglishSummary(ghr, label300.substr(0, 255)),
       .fromEnvironment = true},
      // A menu in Patch12.cod that runs past the archive's end is read to
      // that end, and wins over Game.cod's.
      {.game = {.name = "g",
                .patch12Menu = "[Version]\r\nversion=v1.2\r\n",
                .prepare =
                    [](const std::string& game) {
                      WriteFileBytes(
                          game + "/Patch12.cod",
                          With32(ReadFileBytes(game + "/Patch12.cod"), 28 + 136 + 132, 0x7FFFFFFF));
                    }},
       .version = "v1.2 (not one this patch upgrades)",
       .error = kTooOldText},
      // Neither a game archive nor Steam's list is waited for.
      // A version of one letter, which the patch does not upgrade; a menu on
      // the disk of the folder --list runs in, which the run reads first.
      {.game = {.name = "g", .menu = "[Version]\r\nversion=x\r\n"},
       .version = "x (not one this patch upgrades)",
       .error = kTooOldText},
      {.game = {.name = "g",
                .prepare =
                    [](const std::string& game) {
                      WriteFileBytes(game + "/../../Patch/Cfg/Menu.cfg",
                                     "[Version]\r\nversion=v1.0 on disk\r\n");
                    }},
       .version = "v1.0 on disk (the patch applies)",
       .text = EnglishSummary(ghr, "v1.0 on disk")},
      // A folder the registry names that is not there.
      {.game = {.name = "g", .installPath = "C:\\Games\\Gone"},
       .folder = "C:\\Games\\Gone (<p>/drive_c/Games/Gone, missing)",
       .version = "unknown (Cfg\\Menu.cfg is in none of the game's archives)",
       .text = kNoMenu},
      {.game = {.name = "g", .prepare = [](const std::string& game) { Fifo(game + "/Game.cod"); }},
       .version = "unknown (Cfg\\Menu.cfg is in none of the game's archives)",
       .text = kNoMenu,
       .prepare =
           [](const std::string& root) {
             std::filesystem::remove(root + kLibraries);
             symlink("/dev/zero", (root + kLibraries).c_str());
           }},
      // 15 characters fill the run's LanguageValue with its zero; 16 do not fit.
      // The verdict counts the Patch.dat of the folder --list runs in, as the
      // run does: one without the language's archive, none at all, one cut
      // short; and a game file the run cannot replace.
      {.language = e15,
       .version = kFails + "Patch.dat has no /Patch_" + e15 + ".cod)",
       .error = "File not found: \\Patch_" + e15 + ".cod"},
      {.game = {.name = "g", .workingFolder = "Elsewhere"},
       .version = kFails + "this folder holds no Patch.dat that can be read)",
       .error = "File not found: \\Gravelhorn_d3d.exe"},
      {.game = {.name = "g", .patchDat = [](std::string p) { return p.substr(0, 27); }},
       .version = kFails + "Patch.dat: REGISTER_FFF: file header error! (Patch.dat))",
       .text = "REGISTER_FFF: file header error! (Patch.dat)"},
      {.game = {.name = "g", .patchDat = [](std::string p) { return p.substr(0, 2400); }},
       .version =
           kFails +
           "Patch.dat is cut short: /Patch_eng.cod ends at byte 2654, the file holds 2400 bytes)",
       .error = "Unable to update the files.  \\Patch_eng.cod"},
      {.game = {.name = "g",
                .prepare =
                    [](const std::string& game) { chmod((game + "/Patch12.cod").c_str(), 0444); }},
       .version = kFails + "\"" + kCannotWritePatch12 + "\")",
       .error = kCannotWritePatch12},
      {.language = e15 + "e",
       .version = "unknown (a value of the game's key is longer than the patch reads)",
       .error = "The registry not correct!"},
      // 255 bytes of Installpath are the run's, 256 are refused as it refuses them.
      {.game = {.name = "g", .installPath = "C:\\" + std::string(253, 'x')},
       .folder = "",
       .version = "unknown (a value of the game's key is longer than the patch reads)",
       .error = "Gravelhorn not found or the registry not correct!"},
      // Steam's older list names each library by a number.
      {.prefix = "library/steamapps/compatdata/300/pfx",
       .prepare =
           [](const std::string& root) {
             WriteFileBytes(root + kLibraries,
                            "\"LibraryFolders\"\n{\n\t\"1\"\t\t\"" + root + "/library\"\n}\n");
           }},
      // Steam's list is read up to 1 MiB.
      {.prefix = "library/steamapps/compatdata/300/pfx",
       .prepare =
           [](const std::string& root) {
             WriteFileBytes(
                 root + kLibraries,
                 ReadFileBytes(root + kLibraries).append(1 << 20, ' ').substr(0, 1 << 20));
           }},
      // Names and values are shown escaped, and no line is forged.
      {.prefix = nameWithControls,
       .game = {.name = "g",
                .installPath = "C:\\Games\\GHR\x07\xc2\x81",
                .gameFolder = "Games/GHR\x07\xc2\x81"},
       .folder = "C:\\Games\\GHR\\x07\\x81 (<p>/drive_c/Games/GHR\\x07\\x81)",
       .text = EnglishSummary("C:\\Games\\GHR\x07\x81\\")},
      // Last: a row that cannot mount here ends the test.
      {.prefix = "library/steamapps/compatdata/300/pfx", .bindMounted = true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.prefix);
    TempDir root;
    const std::string prefix = root.path() + "/" + row.prefix;
    const FolderFiles before = LayOutScenario(row.game, prefix + "/drive_c");
    WriteGameKeyTo(prefix, {{"Installpath", row.game.installPath}, {"Language", row.language}});
    for (const char* other : {"home/.local/share/Steam/steamapps/compatdata/200/pfx",
                              "home/Games/other", "home/Games/Heroic/Prefixes/Other"})
      root.Write(other + std::string("/system.reg"), "WINE REGISTRY Version 2\n\n#arch=win64\n");
    MakeFolders(root.path() + "/home/.steam");
    ASSERT_EQ(0, symlink("../.local/share/Steam", (root.path() + "/home/.steam/steam").c_str()));
    const std::string home = root.path() + "/home",
                      library = "\t{\n\t\t\"path\"\t\t\"" + root.path();
    root.Write(kLibraries + 1, "\"libraryfolders\"\n{\n\t\"0\"\n" + library +
                                   "/library\"\n\t}\n\t\"1\"\n" + library + "/mounted\"\n\t}\n}\n");
    MakeFolders(root.path() + "/mounted");
    if (row.prepare != nullptr) row.prepare(root.path());
    std::vector<std::string> argv = {PatchInstallerPath(), "--list"};
    if (row.bindMounted)
      argv.insert(
          argv.begin(),
          {"/usr/bin/unshare", getuid() == 0 ? "-m" : "-rm", "--propagation", "private", "/bin/sh",
           "-c", "mount --bind \"$0/library\" \"$0/mounted\" || exit 99; exec \"$@\"",
           root.path()});
    const FolderFiles all = FolderTree(root.path());
    const std::string wineprefix = row.fromEnvironment ? "WINEPREFIX=" + prefix : "WINEPREFIX";
    const std::string working = prefix + "/drive_c/" + row.game.workingFolder;
    const std::string steamDir =
        row.steamDir ? "STEAM_DIR=" + root.path() + "/steamdir" : "STEAM_DIR";
    const CommandResult list =
        RunCommand(argv, working,
                   {"LC_ALL=C.UTF-8", "HOME=" + home, "XDG_DATA_HOME", wineprefix, steamDir}, 20);
    if (row.bindMounted && list.exitCode == 99)
      GTEST_SKIP() << "no bind mounts in a private mount namespace here: " << list.err;
    const std::string shown =
        row.prefix == nameWithControls ? root.path() + shownWithControls : prefix;
    EXPECT_EQ(0, list.exitCode) << list.err;
    EXPECT_EQ("", list.err);
    EXPECT_EQ(shown + (row.steam.empty() ? "" : "\n  game:     " + row.steam) + "\n  folder:   " +
                  WithPaths(row.folder, {{"<p>", shown}}) + "\n  language: " + row.language +
                  "\n  version:  " + row.version + "\n  patch it: " + program + " --prefix '" +
                  shown + "'\n\nRun the command in the folder that holds Patch.dat.\n",
              list.out);
    EXPECT_EQ(all, FolderTree(root.path()));

    const CommandResult run = RunCommand({PatchInstallerPath(), "--prefix", prefix}, working,
                                         {"LC_ALL=C.UTF-8", "HOME=" + home, "WINEPREFIX"}, 20);
    const bool patched = row.text.ends_with(" Installed.\n") && row.error.empty();
    const std::string box =
        row.error.empty() ? PrintedBox(row.caption, row.text) : PrintedBox("ERROR", row.error);
    ExpectPrinted(run, patched ? 0 : 255, box, std::nullopt, prefix, "");
  }
  // Nowhere: exit code 1.
  TempDir nobody;
  auto list = [&] {
    return RunCommand(
        {PatchInstallerPath(), "--list"}, nobody.path(),
        {"LC_ALL=C.UTF-8", "HOME=" + nobody.path(), "WINEPREFIX", "XDG_DATA_HOME", "STEAM_DIR"});
  };
  const CommandResult none = list();
  EXPECT_EQ(1, none.exitCode);
  EXPECT_EQ("", none.out);
  std::string places;
  for (const char* place :
       {"/.wine", "/.local/share/Steam/steamapps/compatdata/*/pfx",
        "/.steam/steam/steamapps/compatdata/*/pfx", "/.steam/root/steamapps/compatdata/*/pfx",
        "/.var/app/com.valvesoftware.Steam/.local/share/Steam/steamapps/compatdata/*/pfx",
        "/.var/app/com.valvesoftware.Steam/data/Steam/steamapps/compatdata/*/pfx",
        "/snap/steam/common/.local/share/Steam/steamapps/compatdata/*/pfx", "/Games/*",
        "/Games/Heroic/Prefixes/*", "/Games/Heroic/Prefixes/default/*",
        "/.local/share/bottles/bottles/*",
        "/.var/app/com.usebottles.bottles/data/bottles/bottles/*", "/.PlayOnLinux/wineprefix/*"})
    places += "patch_installer:   " + nobody.path() + place + "\n";
  EXPECT_EQ(
      "patch_installer: no Wine prefix holds the game's registry key "
      "(HKEY_LOCAL_MACHINE\\Software\\Quillfern\\GHR); it looked through:\n" +
          places,
      none.err);
  // The players' guide names every place the program looks through.
  const std::string guide = ReadFileBytes(SOURCE_DIR "/docs/players.md");
  std::istringstream looked(none.err);
  for (std::string line; std::getline(looked, line);) {
    if (!line.starts_with("patch_installer:   ")) continue;
    std::string place = "~" + line.substr(19 + nobody.path().size());
    for (const std::string tail : {"/steamapps/compatdata/*/pfx", "/*"})
      if (place.ends_with(tail)) place.resize(place.size() - tail.size());
    EXPECT_TRUE(guide.find("`" + place + "`") != std::string::npos ||
                guide.find("`" + place + "/") != std::string::npos)
        << place << " is not in docs/players.md";
  }
  // Prefixes come in the order of their paths, whatever order the folder gives.
  // A line of Steam's list with a third, empty text names no library.
  for (const char* name : {"e", "c", "a", "d", "b", "steamapps/compatdata/1/pfx"})
    WriteGameKeyTo(nobody.path() + "/Games/" + name, {{"Installpath", "C:\\G"}, {"Language", "x"}});
  WriteFileBytes(nobody.path() + (kLibraries + 5), "\"1\" \"" + nobody.path() + "/Games\" \"\"");
  const std::string listed = list().out;
  size_t at = 0;
  for (const std::string name : {"a", "b", "c", "d", "e"})
    EXPECT_NE(std::string::npos, at = listed.find("/Games/" + name + "\n", at)) << name;
  EXPECT_EQ(std::string::npos, listed.find("/steamapps/")) << listed;
}

}  // namespace
